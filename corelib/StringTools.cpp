#include "corelib/StringTools.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Numbers.h"

namespace VemoraCorelib::StringTools {

namespace {

// The runtime converts a double to at most 17 significant digits and rounds
// that digit string half up to the precision asked (so 1e-20 prints as
// 1.000000000000000e-020, not 9.999999999999999e-021); it prints at least
// three exponent digits.
struct Decimal {
  bool negative = false;
  std::string digits;  // significant digits, the first one not 0
  int exponent = 0;    // of the first digit
};

Decimal toDecimal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.16e", value);
  Decimal d;
  const char* p = buffer;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; *p != 'e'; ++p) {
    if (*p != '.') d.digits += *p;
  }
  d.exponent = std::atoi(p + 1);
  return d;
}

// Rounds to `count` significant digits (half up); may raise the exponent.
void roundTo(Decimal& d, int count) {
  if (count < 0) {
    d.digits = "0";
    return;
  }
  if (static_cast<std::size_t>(count) >= d.digits.size()) {
    d.digits.append(static_cast<std::size_t>(count) - d.digits.size(), '0');
    return;
  }
  const bool up = d.digits[static_cast<std::size_t>(count)] >= '5';
  d.digits.resize(static_cast<std::size_t>(count));
  if (!up) return;
  int i = count - 1;
  for (; i >= 0; --i) {
    if (d.digits[static_cast<std::size_t>(i)] != '9') {
      ++d.digits[static_cast<std::size_t>(i)];
      break;
    }
    d.digits[static_cast<std::size_t>(i)] = '0';
  }
  if (i < 0) {
    d.digits.insert(d.digits.begin(), '1');
    d.digits.pop_back();
    ++d.exponent;
  }
}

std::string exponentForm(double value, int decimals) {
  Decimal d = toDecimal(value);
  roundTo(d, decimals + 1);
  std::string text = d.negative ? "-" : "";
  text += d.digits.substr(0, 1) + "." + d.digits.substr(1);
  char exponent[16];
  std::snprintf(exponent, sizeof exponent, "e%c%03d", d.exponent < 0 ? '-' : '+',
                d.exponent < 0 ? -d.exponent : d.exponent);
  return text + exponent;
}

std::string fixedForm(double value, int decimals) {
  Decimal d = toDecimal(value);
  const int wanted = d.exponent + 1 + decimals;  // significant digits down to the last decimal
  if (wanted < 0) {
    d.digits.clear();
  } else if (wanted == 0) {
    // Only the rounding can reach the last decimal place.
    d.digits = d.digits[0] >= '5' ? "1" : "";
    d.exponent = -decimals;
  } else {
    roundTo(d, wanted);
  }
  std::string text = d.negative ? "-" : "";
  for (int position = std::max(d.exponent, 0); position >= -decimals; --position) {
    const int index = d.exponent - position;
    const bool held = index >= 0 && static_cast<std::size_t>(index) < d.digits.size();
    text += held ? d.digits[static_cast<std::size_t>(index)] : '0';
    if (position == 0) text += '.';
  }
  return text;
}

// Whether `c` is cut by a trim: one of `set`, or a blank or control code.
template <typename String>
bool trimmable(typename String::value_type c, bool useSet, const String& set, bool signedNarrow) {
  if (useSet) return set.find(c) != String::npos;
  if (signedNarrow) return static_cast<signed char>(c) <= 32;
  return (static_cast<uint32_t>(c) & 0xFFFFu) <= 32;
}

template <typename String>
String& trimLeftImpl(String& text, bool useSet, const String& set, bool signedNarrow) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = text[i];
    if (!trimmable(c, useSet, set, signedNarrow)) break;
    ++i;
  }
  text.erase(0, i);
  return text;
}

template <typename String>
String& trimRightImpl(String& text, bool useSet, const String& set, bool signedNarrow) {
  std::size_t n = text.size();
  while (n > 0) {
    const auto c = text[n - 1];
    if (!trimmable(c, useSet, set, signedNarrow)) break;
    --n;
  }
  text.erase(n);
  return text;
}

template <typename String, typename Char>
String escapeImpl(const String& text, Char from, Char code, Char esc) {
  String out;
  out.reserve(text.size());
  for (Char c : text) {
    if (c == esc) {
      out += esc;
      out += esc;
    } else if (c == from) {
      out += esc;
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

template <typename String, typename Char>
String unescapeImpl(const String& text, Char code, Char to, Char esc) {
  String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Char c = text[i];
    if (c != esc || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    const Char next = text[i + 1];
    if (next == code) {
      out += to;
    } else if (next == esc) {
      out += esc;
    } else {
      out += c;
      out += next;
    }
    ++i;
  }
  return out;
}

template <typename String, typename Char>
String escapeSetImpl(const String& text, const String& chars, const String& codes, Char esc) {
  String out;
  out.reserve(text.size());
  for (Char c : text) {
    if (c == esc) {
      out += esc;
      out += esc;
      continue;
    }
    const std::size_t i = chars.find(c);
    if (i != String::npos && i < codes.size()) {
      out += esc;
      out += codes[i];
    } else {
      out += c;
    }
  }
  return out;
}

template <typename String, typename Char>
String unescapeSetImpl(const String& text, const String& codes, const String& chars, Char esc) {
  String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Char c = text[i];
    if (c != esc || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    const Char next = text[i + 1];
    const std::size_t k = codes.find(next);
    if (next == esc) {
      out += esc;
    } else if (k != String::npos && k < chars.size()) {
      out += chars[k];
    } else {
      out += c;
      out += next;
    }
    ++i;
  }
  return out;
}

template <typename Container>
Container splitImpl(const std::string& text, char separator, unsigned maxParts, bool skipEmpty) {
  Container parts;
  if (text.empty()) return parts;
  std::size_t begin = 0;
  while (true) {
    // maxParts - 1 computed unsigned: 0 means no limit.
    if (parts.size() >= static_cast<unsigned>(maxParts - 1u)) break;
    const std::size_t cut = text.find(separator, begin);
    if (cut == std::string::npos) break;
    if (!(skipEmpty && cut == begin)) parts.push_back(text.substr(begin, cut - begin));
    begin = cut + 1;
  }
  if (begin < text.size()) parts.push_back(text.substr(begin));
  return parts;
}

}  // namespace

const std::string& whitespace() {
  static const std::string set(" \r\n\t\v\b\f");
  return set;
}

const std::wstring& wideWhitespace() {
  static const std::wstring set(L" \r\n\t\v\b\f");
  return set;
}

wchar_t convert(char c) {
  return static_cast<wchar_t>(static_cast<unsigned char>(c));
}

char convert(wchar_t c) {
  const uint32_t unit = static_cast<uint32_t>(c) & 0xFFFFu;
  if (unit <= 0xFFu) return static_cast<char>(unit);
  std::printf("StringTools::convert(%i) -> size=%i\n", static_cast<int>(unit), -1);
  return 0;
}

std::wstring convert(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (char c : text) out += convert(c);
  return out;
}

std::string convert(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out += convert(c);
  return out;
}

std::string toString(bool value) {
  return value ? "1" : "0";
}
std::string toString(int16_t value) {
  return std::to_string(static_cast<int>(value));
}
std::string toString(uint16_t value) {
  return std::to_string(static_cast<unsigned>(value));
}
std::string toString(int32_t value) {
  return std::to_string(value);
}
std::string toString(uint32_t value) {
  return std::to_string(value);
}
std::string toString(int64_t value) {
  return std::to_string(value);
}

std::string toString(uint64_t value) {
  if (value == 0) return "0";
  std::string digits;
  while (value > 0) {
    digits += static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return std::string(digits.rbegin(), digits.rend());
}

std::string toString(double value) {
  if (value == 0.0) return "0";
  const double magnitude = std::fabs(value);
  if (std::isnan(value) || std::isinf(value)) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15e", value);
    return buffer;
  }
  if (magnitude > 1e15 || magnitude < 1e-15) return exponentForm(value, 15);
  std::string text = fixedForm(value, 14);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  return text;
}

bool toBool(const std::string& text) {
  return !(text.empty() || text == "0");
}

int32_t toInt32(const std::string& text) {
  return platform::strtol32(text.c_str(), nullptr, 10);
}

uint32_t toUInt32(const std::string& text) {
  return platform::strtoul32(text.c_str(), nullptr, 10);
}

namespace {
// Accumulated unsigned, so an overflow wraps modulo 2^64 without undefined
// behaviour.
uint64_t digitRun(const std::string& text, std::size_t from) {
  uint64_t value = 0;
  for (std::size_t i = from; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint64_t>(text[i] - '0');
  }
  return value;
}
}  // namespace

int64_t toInt64(const std::string& text) {
  if (text.empty()) return 0;
  const bool negative = text[0] == '-';
  uint64_t value = digitRun(text, negative ? 1 : 0);
  if (negative) value = 0u - value;
  return static_cast<int64_t>(value);
}

uint64_t toUInt64(const std::string& text) {
  return digitRun(text, 0);
}

double toDouble(const std::string& text) {
  const double value = std::atof(text.c_str());
  if (std::isinf(value) && value > 0) return DBL_MAX;
  return value;
}

std::string& trimLeft(std::string& text, bool useWhitespaceSet) {
  return trimLeftImpl(text, useWhitespaceSet, whitespace(), true);
}
std::string& trimRight(std::string& text, bool useWhitespaceSet) {
  return trimRightImpl(text, useWhitespaceSet, whitespace(), true);
}
std::wstring& trimLeft(std::wstring& text, bool useWhitespaceSet) {
  return trimLeftImpl(text, useWhitespaceSet, wideWhitespace(), false);
}
std::wstring& trimRight(std::wstring& text, bool useWhitespaceSet) {
  return trimRightImpl(text, useWhitespaceSet, wideWhitespace(), false);
}

std::string& toLower(std::string& text) {
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') c = static_cast<char>(u - 'A' + 'a');
  }
  return text;
}

std::wstring& toLower(std::wstring& text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

std::string& replaceChar(std::string& text, char from, char to) {
  for (char& c : text) {
    if (c == from) c = to;
  }
  return text;
}

std::string& replaceAll(std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;  // would never advance past an empty match
  std::size_t pos = text.find(what, 0);
  while (pos != std::string::npos) {
    text.erase(pos, what.size());
    text.insert(pos, with);
    pos = text.find(what, pos + with.size());
  }
  return text;
}

std::string& unquote(std::string& text) {
  if (text.size() >= 2 && text.front() == text.back() &&
      (text.front() == '\'' || text.front() == '"')) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

std::string& reverse(std::string& text, std::size_t start, std::size_t count) {
  if (start >= text.size()) return text;
  const std::size_t n = std::min(count, text.size() - start);
  std::reverse(text.begin() + static_cast<std::ptrdiff_t>(start),
               text.begin() + static_cast<std::ptrdiff_t>(start + n));
  return text;
}

std::string& padLeft(std::string& text, std::size_t width, char fill) {
  if (text.size() < width) text.insert(0, width - text.size(), fill);
  return text;
}

std::string& padRight(std::string& text, std::size_t width, char fill) {
  if (text.size() < width) text.append(width - text.size(), fill);
  return text;
}

std::string cutFirstToken(std::string& text, char separator) {
  const std::size_t cut = text.find(separator);
  std::string token;
  if (cut == std::string::npos) {
    token.swap(text);
    return token;
  }
  token = text.substr(0, cut);
  text.erase(0, cut + 1);
  return token;
}

std::string cutLastToken(std::string& text, char separator) {
  const std::size_t cut = text.rfind(separator);
  std::string token;
  if (cut == std::string::npos) {
    token.swap(text);
    return token;
  }
  token = text.substr(cut + 1);
  text.erase(cut);
  return token;
}

int compareAt(const std::string& text, std::size_t index, const std::string& other) {
  if (index >= text.size()) return -1;
  for (std::size_t i = 0; i < other.size(); ++i) {
    const std::size_t at = index + i;
    const signed char mine = at < text.size() ? static_cast<signed char>(text[at]) : 0;
    const signed char theirs = static_cast<signed char>(other[i]);
    if (mine < theirs) return -1;
    if (mine > theirs) return 1;
  }
  return 0;
}

std::list<std::string> split(const std::string& text, char separator, unsigned maxParts,
                             bool skipEmpty) {
  return splitImpl<std::list<std::string>>(text, separator, maxParts, skipEmpty);
}

std::vector<std::string> splitToVector(const std::string& text, char separator, unsigned maxParts,
                                       bool skipEmpty) {
  return splitImpl<std::vector<std::string>>(text, separator, maxParts, skipEmpty);
}

std::string escape(const std::string& text, char from, char code, char escapeChar) {
  return escapeImpl(text, from, code, escapeChar);
}
std::wstring escape(const std::wstring& text, wchar_t from, wchar_t code, wchar_t escapeChar) {
  return escapeImpl(text, from, code, escapeChar);
}
std::string unescape(const std::string& text, char code, char to, char escapeChar) {
  return unescapeImpl(text, code, to, escapeChar);
}
std::wstring unescape(const std::wstring& text, wchar_t code, wchar_t to, wchar_t escapeChar) {
  return unescapeImpl(text, code, to, escapeChar);
}
std::string escapeSet(const std::string& text, const std::string& chars, const std::string& codes,
                      char escapeChar) {
  return escapeSetImpl(text, chars, codes, escapeChar);
}
std::wstring escapeSet(const std::wstring& text, const std::wstring& chars,
                       const std::wstring& codes, wchar_t escapeChar) {
  return escapeSetImpl(text, chars, codes, escapeChar);
}
std::string unescapeSet(const std::string& text, const std::string& codes, const std::string& chars,
                        char escapeChar) {
  return unescapeSetImpl(text, codes, chars, escapeChar);
}
std::wstring unescapeSet(const std::wstring& text, const std::wstring& codes,
                         const std::wstring& chars, wchar_t escapeChar) {
  return unescapeSetImpl(text, codes, chars, escapeChar);
}

}  // namespace VemoraCorelib::StringTools
