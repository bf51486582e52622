#include "common/StringOps.h"

#include <cstdio>

#include "platform/Numbers.h"

namespace Vemora {

namespace {

bool isTrimmed(char c) {
  return static_cast<signed char>(c) <= 32;
}

char lowerByte(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Above this many cells the capture matcher's table would grow too large;
// such a match is refused rather than allocating without bound.
constexpr size_t kMaxMatchCells = size_t{1} << 24;

// Pattern normalisation of the plain matcher: "**" -> "*", "*?" -> "*",
// while a '*' after a '?' is kept.
std::string normaliseForMatch(const std::string& pattern) {
  std::string p;
  char last = 0;
  for (char c : pattern) {
    if (c == '*') {
      if (last == '*') continue;
      p += c;
      if (last != '?') last = c;
    } else if (c == '?' && last == '*') {
      continue;
    } else {
      p += c;
      last = c;
    }
  }
  return p;
}

// The scan of the plain matcher: the text index moves back at most one
// character after a mismatch behind a star.
bool scanMatch(const std::string& p, const std::string& t) {
  size_t pi = 0, ti = 0, sp = 0, rm = 0;
  bool star = false;
  // Each pass consumes text, so this bound is never reached by a correct
  // scan; it only guarantees the loop ends.
  size_t budget = (p.size() + 2) * (t.size() + 2) * 4;
  for (;;) {
    while (pi < p.size() && ti < t.size()) {
      if (--budget == 0) return false;
      if (p[pi] == '*') {
        star = true;
        sp = pi;
      } else if (p[pi] == '?') {
        ++ti;
      } else {
        const bool same = p[pi] == t[ti];
        ++ti;
        if (!same) {
          if (!star) return false;
          pi = sp;
          if (ti != rm) {
            rm = ti;
            --ti;
          }
        }
      }
      ++pi;
    }
    if (ti == t.size()) return pi == p.size() || (pi + 1 == p.size() && p[pi] == '*');
    if (p.back() == '*') return true;
    if (!star) return false;
    pi = sp + 1;
  }
}

// Pattern normalisation of the capturing matcher: each run of wildcards
// holding a '*' becomes its '?'s followed by one '*'.
std::string normaliseForCapture(const std::string& pattern) {
  std::string p;
  char last = 0;
  for (char c : pattern) {
    if (c == '*') {
      if (last == '*') continue;
      p += c;
      last = c;
    } else if (c == '?') {
      if (last == '*') {
        p.back() = '?';
        p += '*';
      } else {
        p += c;
      }
    } else {
      p += c;
      last = c;
    }
  }
  return p;
}

// A pattern of literals and '?' only: one item per run of '?', appended as
// soon as the literal after it (or the pattern's end) is reached.
bool captureFixed(const std::string& p, const std::string& t, std::vector<std::string>& items) {
  if (p.size() != t.size()) return false;
  std::string run;
  bool inRun = false;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '?') {
      run += t[i];
      inRun = true;
      continue;
    }
    if (p[i] != t[i]) return false;
    if (inRun) {
      items.push_back(run);
      run.clear();
      inRun = false;
    }
  }
  if (inRun) items.push_back(run);
  return true;
}

// Any other pattern: a table of which (pattern, text) positions can still
// reach a full match, then a walk in which each '*' takes as little as it
// can. Polynomial, whatever the pattern.
bool captureGeneral(const std::string& p, const std::string& t, std::vector<std::string>& items) {
  const size_t rows = p.size() + 1, cols = t.size() + 1;
  if (rows * cols > kMaxMatchCells) return false;
  std::vector<char> can(rows * cols, 0);
  auto at = [&](size_t pi, size_t ti) -> char& { return can[pi * cols + ti]; };
  at(p.size(), t.size()) = 1;
  for (size_t pi = p.size(); pi-- > 0;) {
    for (size_t ti = cols; ti-- > 0;) {
      if (p[pi] == '*') {
        at(pi, ti) = at(pi + 1, ti) || (ti < t.size() && at(pi, ti + 1));
      } else if (ti < t.size() && (p[pi] == '?' || p[pi] == t[ti])) {
        at(pi, ti) = at(pi + 1, ti + 1);
      }
    }
  }
  if (!at(0, 0)) return false;
  size_t pi = 0, ti = 0;
  std::string run;
  bool inRun = false;
  while (pi < p.size()) {
    if (p[pi] == '?') {
      run += t[ti++];
      inRun = true;
    } else if (p[pi] == '*') {
      while (!at(pi + 1, ti)) run += t[ti++];
      inRun = true;
    } else {
      if (inRun) items.push_back(run);
      run.clear();
      inRun = false;
      ++ti;
    }
    ++pi;
  }
  if (inRun) items.push_back(run);
  return true;
}

}  // namespace

size_t StringOps::countChar(char c, const std::string& text, size_t position, size_t length) {
  if (position >= text.size()) return 0;
  const size_t end = length >= text.size() - position ? text.size() : position + length;
  size_t count = 0;
  for (size_t i = position; i < end; ++i) count += text[i] == c ? 1 : 0;
  return count;
}

size_t StringOps::trimLeft(std::string& text) {
  size_t n = 0;
  while (n < text.size() && isTrimmed(text[n])) ++n;
  text.erase(0, n);
  return n;
}

size_t StringOps::trimRight(std::string& text) {
  size_t n = 0;
  while (n < text.size() && isTrimmed(text[text.size() - 1 - n])) ++n;
  text.erase(text.size() - n);
  return n;
}

size_t StringOps::trim(std::string& text) {
  const size_t right = trimRight(text);
  return right + trimLeft(text);
}

void StringOps::unquote(std::string& text) {
  if (text.empty() || (text[0] != '"' && text[0] != '\'') || text.back() != text[0]) return;
  text.pop_back();
  if (!text.empty()) text.erase(0, 1);
}

size_t StringOps::replaceChar(std::string& text, char from, char to) {
  size_t count = 0;
  for (char& c : text) {
    if (c == from) {
      c = to;
      ++count;
    }
  }
  return count;
}

size_t StringOps::replaceAll(std::string& text, const std::string& search,
                             const std::string& replacement) {
  if (search.empty()) return 0;
  size_t count = 0;
  for (size_t at = text.find(search); at != std::string::npos;
       at = text.find(search, at + replacement.size())) {
    text.replace(at, search.size(), replacement);
    ++count;
  }
  return count;
}

void StringOps::padRight(std::string& text, size_t width, char fill) {
  if (text.size() < width) text.append(width - text.size(), fill);
}

void StringOps::padLeft(std::string& text, size_t width, char fill) {
  if (text.size() < width) text.insert(0, width - text.size(), fill);
}

std::string StringOps::cutToken(std::string& text, char delimiter) {
  const size_t at = text.find(delimiter);
  std::string token;
  if (at == std::string::npos) {
    token.swap(text);
    return token;
  }
  token = text.substr(0, at);
  text.erase(0, at + 1);
  return token;
}

bool StringOps::matchesAt(const std::string& text, const std::string& part, size_t position) {
  if (position > text.size() || part.size() > text.size() - position) return false;
  return text.compare(position, part.size(), part) == 0;
}

std::string StringOps::fromInt(int32_t value) {
  return fromInt64(value);
}

std::string StringOps::fromUInt(uint32_t value) {
  return fromUInt64(value);
}

std::string StringOps::fromInt64(int64_t value) {
  if (value == 0) return "0";
  std::string digits;
  for (int64_t v = value; v != 0; v /= 10) {
    const int64_t r = v % 10;
    digits += static_cast<char>('0' + (r < 0 ? -r : r));
  }
  if (value < 0) digits += '-';
  return std::string(digits.rbegin(), digits.rend());
}

std::string StringOps::fromUInt64(uint64_t value) {
  if (value == 0) return "0";
  std::string digits;
  for (uint64_t v = value; v != 0; v /= 10) digits += static_cast<char>('0' + v % 10);
  return std::string(digits.rbegin(), digits.rend());
}

std::string StringOps::fromDouble(double value) {
  // Only the first 19 characters are kept, so a text cut off by the buffer's
  // end loses nothing of the result.
  char buffer[200];
  std::snprintf(buffer, sizeof buffer, "%.13f", value);
  std::string text(buffer);
  if (text.size() > 19) text.resize(19);
  trimNumber(text);
  return text;
}

uint32_t StringOps::toUInt(const std::string& text) {
  if (text.empty() || !isDigit(text[0])) return 0;
  char* end = nullptr;
  const uint32_t value = platform::strtoul32(text.c_str(), &end, 10);
  return end == text.c_str() + text.size() ? value : 0;
}

int64_t StringOps::toInt64(const std::string& text) {
  if (text.empty()) return 0;
  return platform::strtoi64(text.c_str(), nullptr, 10);
}

uint64_t StringOps::toUInt64(const std::string& text) {
  uint64_t value = 0;
  for (size_t i = 0; i < text.size() && isDigit(text[i]); ++i) {
    value = value * 10u + static_cast<uint64_t>(text[i] - '0');
  }
  return value;
}

void StringOps::trimNumber(std::string& text) {
  if (text == "." || text.find_first_not_of("0123456789.-") != std::string::npos) return;
  const size_t dot = text.rfind('.');
  if (dot == std::string::npos) return;
  if (dot + 1 == text.size()) {
    text.erase(dot);
    return;
  }
  const size_t lastKept = text.find_last_not_of('0');
  if (lastKept + 1 == text.size()) return;
  if (lastKept > dot) {
    text.erase(lastKept + 1);
  } else if (dot == 0) {
    text = "0";
  } else {
    text.erase(dot);
  }
}

uint32_t StringOps::hash(const std::string& text) {
  uint32_t h = 0;
  for (char c : text)
    h = h * 37u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h;
}

uint64_t StringOps::hash64(const std::string& text) {
  uint64_t h = 0;
  for (char c : text)
    h = h * 37u + static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(c)));
  return h;
}

void StringOps::toLower(std::string& text) {
  for (char& c : text) c = lowerByte(c);
}

std::string StringOps::lowerCopy(const std::string& text) {
  std::string copy = text;
  toLower(copy);
  return copy;
}

size_t StringOps::split(const std::string& text, char delimiter, std::vector<std::string>& out,
                        int32_t maxParts, bool skipEmpty) {
  out.clear();
  if (text.empty()) return 0;
  const uint32_t cuts = static_cast<uint32_t>(maxParts) - 1u;  // 0 parts: no limit
  size_t start = 0;
  for (size_t at = text.find(delimiter); at != std::string::npos;
       at = text.find(delimiter, start)) {
    if (out.size() >= cuts) break;
    if (!(skipEmpty && at == start)) out.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  if (start < text.size()) out.push_back(text.substr(start));
  return out.size();
}

void StringOps::parseKeyValues(const std::string& text, char pairSeparator, char keySeparator,
                               std::map<std::string, std::string>& out) {
  out.clear();
  std::string key, value;
  bool inValue = false;
  for (char c : text) {
    if (!inValue) {
      if (c == keySeparator) {
        inValue = true;
      } else {
        key += c;
      }
    } else if (c == pairSeparator) {
      if (!key.empty()) out[key] = value;
      key.clear();
      value.clear();
      inValue = false;
    } else {
      value += c;
    }
  }
  if (!key.empty()) out[key] = value;
}

bool StringOps::wildcardMatch(const std::string& pattern, const std::string& text) {
  if (pattern == "*") return true;
  if (pattern == "?") return text.size() == 1;
  if (text.empty()) return false;
  if (pattern == "?*") return true;
  if (pattern.empty()) return false;
  const std::string p = normaliseForMatch(pattern);
  return scanMatch(p, text);
}

bool StringOps::wildcardCapture(const std::string& pattern, const std::string& text,
                                std::vector<std::string>& captures) {
  if (pattern.empty()) return text.empty();
  const std::string p = normaliseForCapture(pattern);
  if (p == "*") {
    captures.push_back(text);
    return true;
  }
  if (p == "?") {
    if (text.size() != 1) return false;
    captures.push_back(text);
    return true;
  }
  if (text.empty()) return false;
  if (p == "?*" || p == "*?") {
    captures.push_back(text);
    return true;
  }
  const size_t stars = countChar('*', p, 0, p.size());
  const bool hasQuery = p.find('?') != std::string::npos;
  if (stars == 1 && !hasQuery && p.front() == '*') {
    const std::string suffix = p.substr(1);
    if (suffix.size() > text.size() ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) {
      return false;
    }
    captures.push_back(text.substr(0, text.size() - suffix.size()));
    return true;
  }
  if (stars == 1 && !hasQuery && p.back() == '*') {
    const std::string prefix = p.substr(0, p.size() - 1);
    if (!matchesAt(text, prefix, 0)) return false;
    captures.push_back(text.substr(prefix.size()));
    return true;
  }
  if (stars == 0) return captureFixed(p, text, captures);
  return captureGeneral(p, text, captures);
}

bool StringOps::wildcardMatchLower(std::string pattern, std::string text,
                                   std::vector<std::string>& captures) {
  toLower(pattern);
  toLower(text);
  return wildcardCapture(pattern, text, captures);
}

}  // namespace Vemora
