// The searcher of configuration files. Tokens: runs of one blank character
// (kind 0), comments ("#" or "//" to the end of the line, "/*" to "*/"),
// quoted strings with their quotes, the single delimiters = ( ) { } and line
// feed, and words. A blank is a byte whose signed value is 32 or less, except
// the line feed.
#pragma once
#include "common/StringSearcher.h"

namespace Vemora {

class ConfSearcher : public StringSearcher {
 public:
  ConfSearcher();
  ~ConfSearcher() override;
  size_t skipBlanks(const std::string& text, size_t& count, size_t start,
                    size_t maxLength) const override;
  size_t search(const std::string& text, uint8_t& kind, size_t start,
                size_t maxLength) const override;

  static bool isBlank(char c) { return static_cast<signed char>(c) <= 32 && c != '\n'; }
  static bool isDelimiter(char c);
};

}  // namespace Vemora
