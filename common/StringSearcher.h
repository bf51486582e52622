// Abstract text searcher that cuts a text into tokens for a Tokenizer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace Vemora {

class StringSearcher {
 public:
  StringSearcher() = default;
  virtual ~StringSearcher();
  // The position of the first character at or after `start` that is no blank
  // or is a line feed (npos at the end); `count` gets the number skipped.
  virtual size_t skipBlanks(const std::string& text, size_t& count, size_t start,
                            size_t maxLength) const = 0;
  // The end of the token that begins at `start` (npos when there is none);
  // `kind` gets the token's kind.
  virtual size_t search(const std::string& text, uint8_t& kind, size_t start,
                        size_t maxLength) const = 0;

  char quote() const { return quote_; }

 protected:
  char quote_ = '"';
};

}  // namespace Vemora
