#include "common/ConfSearcher.h"

#include <algorithm>

namespace Vemora {

namespace {

constexpr const char* kDelimiters = "=(){}\n";

bool isCommentStart(const std::string& text, size_t i, size_t end) {
  return i + 1 < end && text[i] == '/' && (text[i + 1] == '/' || text[i + 1] == '*');
}

// The end of a quoted token that begins at `start`: after the closing quote,
// or the end of the text.
size_t quotedEnd(const std::string& text, size_t start, size_t end) {
  const char quote = text[start];
  for (size_t i = start + 1; i < end; ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == quote) {
      return i + 1;
    }
  }
  return end;
}

size_t commentEnd(const std::string& text, size_t start, size_t end) {
  if (text[start + 1] == '/') {
    size_t lf = text.find('\n', start);
    if (lf == std::string::npos || lf > end) return end;
    if (lf > start + 2 && text[lf - 1] == '\r') --lf;
    return lf;
  }
  const size_t close = text.find("*/", start + 2);
  if (close == std::string::npos || close + 2 > end) return end;
  return close + 2;
}

}  // namespace

ConfSearcher::ConfSearcher() = default;
ConfSearcher::~ConfSearcher() = default;

bool ConfSearcher::isDelimiter(char c) {
  for (const char* d = kDelimiters; *d != '\0'; ++d) {
    if (*d == c) return true;
  }
  return false;
}

size_t ConfSearcher::skipBlanks(const std::string& text, size_t& count, size_t start,
                                size_t maxLength) const {
  size_t end = text.size();
  if (start < end && maxLength < end - start) end = start + maxLength;
  count = 0;
  for (size_t i = start; i < end; ++i) {
    if (!isBlank(text[i])) return i;
    ++count;
  }
  return std::string::npos;
}

size_t ConfSearcher::search(const std::string& text, uint8_t& kind, size_t start,
                            size_t maxLength) const {
  size_t end = text.size();
  if (start < end && maxLength < end - start) end = start + maxLength;
  if (start >= end) return std::string::npos;
  const char c0 = text[start];
  if (isBlank(c0)) {
    kind = 0;
    size_t i = start + 1;
    while (i < end && text[i] == c0) ++i;
    return i;
  }
  kind = 1;
  if (c0 == '#') {
    const size_t lf = text.find('\n', start);
    return lf == std::string::npos || lf > end ? end : lf;
  }
  for (size_t i = start; i < end; ++i) {
    const char c = text[i];
    if (c == '"' || c == '\'') {
      return i == start ? quotedEnd(text, start, end) : i;
    }
    if (isCommentStart(text, i, end)) {
      return i == start ? commentEnd(text, start, end) : i;
    }
    if (isDelimiter(c)) return i == start ? i + 1 : i;
    if (isBlank(c)) return i;
  }
  return end;
}

}  // namespace Vemora
