// Finds where to break a long text into lines of at most a given size,
// preferring a line feed, then white space (dropped) or '-' (kept).
#pragma once

#include <cstdint>
#include <string>

#include "corelib/StringSearcher.h"

namespace VemoraCorelib::StringTools {

class LineSizeSearcher : public StringSearcher {
 public:
  explicit LineSizeSearcher(uint8_t lineSize);

  // False when the line size is 0 or `start` is at or past the end. The
  // piece is [start, breakPos); `skip` characters follow it that belong to
  // neither line (0 or 1).
  bool search(std::size_t& breakPos, std::size_t& skip, const std::wstring& text, std::size_t start,
              std::size_t count) const override;
  bool search(std::size_t& breakPos, std::size_t& skip, const std::string& text, std::size_t start,
              std::size_t count) const override;

  uint8_t lineSize() const { return lineSize_; }

 private:
  uint8_t lineSize_;
  std::string breakChars_;
  std::wstring wideBreakChars_;
};

}  // namespace VemoraCorelib::StringTools
