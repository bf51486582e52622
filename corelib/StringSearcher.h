// Abstract base of the string searchers of StringTools.
#pragma once

#include <cstddef>
#include <string>

namespace VemoraCorelib::StringTools {

class StringSearcher {
 public:
  virtual ~StringSearcher() = default;
  // Finds where the text from `start` (for `count` characters, npos = to the
  // end) should be cut. True with `breakPos` (end of the piece) and `skip`
  // (characters to drop after it) when a piece was found.
  virtual bool search(std::size_t& breakPos, std::size_t& skip, const std::wstring& text,
                      std::size_t start, std::size_t count) const = 0;
  virtual bool search(std::size_t& breakPos, std::size_t& skip, const std::string& text,
                      std::size_t start, std::size_t count) const = 0;
};

}  // namespace VemoraCorelib::StringTools
