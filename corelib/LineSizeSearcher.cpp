#include "corelib/LineSizeSearcher.h"

#include <algorithm>

#include "corelib/StringTools.h"

namespace VemoraCorelib::StringTools {

namespace {

template <typename String>
bool searchImpl(uint8_t lineSize, const String& breakChars, std::size_t& breakPos,
                std::size_t& skip, const String& text, std::size_t start, std::size_t count) {
  using Char = typename String::value_type;
  if (lineSize == 0 || start >= text.size()) return false;
  count = std::min(count, text.size() - start);
  if (count <= lineSize) {
    breakPos = start + count;
    skip = 0;
    return true;
  }
  const std::size_t end = start + lineSize;  // < text.size(), as count > lineSize
  const std::size_t lf = text.find(static_cast<Char>('\n'), start);
  breakPos = (lf != String::npos && lf < end) ? lf : end;
  if (end + 1 < text.size() && text[end + 1] == static_cast<Char>('\n')) {
    skip = 1;
    return true;
  }
  for (std::size_t i = breakPos; i > start; --i) {
    const Char c = text[i];
    if (breakChars.find(c) == String::npos) continue;
    if (c == static_cast<Char>('-')) {
      breakPos = i + 1;
      skip = 0;
    } else {
      breakPos = i;
      skip = 1;
    }
    return true;
  }
  skip = 0;
  return true;
}

}  // namespace

LineSizeSearcher::LineSizeSearcher(uint8_t lineSize)
    : lineSize_(lineSize),
      breakChars_(whitespace() + "-"),
      wideBreakChars_(wideWhitespace() + L"-") {}

bool LineSizeSearcher::search(std::size_t& breakPos, std::size_t& skip, const std::wstring& text,
                              std::size_t start, std::size_t count) const {
  return searchImpl(lineSize_, wideBreakChars_, breakPos, skip, text, start, count);
}

bool LineSizeSearcher::search(std::size_t& breakPos, std::size_t& skip, const std::string& text,
                              std::size_t start, std::size_t count) const {
  return searchImpl(lineSize_, breakChars_, breakPos, skip, text, start, count);
}

}  // namespace VemoraCorelib::StringTools
