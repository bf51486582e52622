// Free string functions of the core library: narrow (system code page) and
// wide (UTF-16 units held in wchar_t) conversions, numbers to text and back,
// trimming, case, replacing, splitting and escaping. No state apart from the
// two white-space constants; every function may be called from any thread.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "corelib/LineSizeSearcher.h"

namespace VemoraCorelib::StringTools {

// Space, CR, LF, TAB, VT, BS, FF in this order.
const std::string& whitespace();
const std::wstring& wideWhitespace();

// Narrow <-> wide, one byte to one UTF-16 unit: 0x00-0xFF map one to one
// (the runtime's "C" locale); multibyte sequences are not assembled. A unit
// above 0xFF has no narrow form: the line
// "StringTools::convert(<unit>) -> size=-1\n" is printed on standard output
// and the result is 0.
wchar_t convert(char c);
char convert(wchar_t c);
std::wstring convert(const std::string& text);
std::string convert(const std::wstring& text);

// Numbers to text ("%d", "%u", decimal; doubles by the rule of toString).
std::string toString(bool value);
std::string toString(int16_t value);
std::string toString(uint16_t value);
std::string toString(int32_t value);
std::string toString(uint32_t value);
std::string toString(int64_t value);
std::string toString(uint64_t value);
inline std::string toString(long long value) {
  return toString(static_cast<int64_t>(value));
}
inline std::string toString(unsigned long long value) {
  return toString(static_cast<uint64_t>(value));
}
// 0 gives "0"; magnitudes above 1e15 or below 1e-15 "%.15e" with a
// three-digit exponent ("1.000000000000000e+020"); others "%.14f" without
// trailing zeros and without a trailing '.'.
std::string toString(double value);

// Text to numbers; the text is never changed.
bool toBool(const std::string& text);        // false for "" and "0" only
int32_t toInt32(const std::string& text);    // strtol, 32-bit, saturating
uint32_t toUInt32(const std::string& text);  // strtoul, 32-bit
int64_t toInt64(const std::string& text);    // [-]digits, wraps modulo 2^64
uint64_t toUInt64(const std::string& text);  // digits, wraps modulo 2^64
double toDouble(const std::string& text);    // atof; +inf becomes DBL_MAX

// In place; return the text. With useWhitespaceSet a character qualifies
// when it is in the white-space set; without it when its code is at most 32
// (narrow: as a signed char, so bytes 0x80-0xFF qualify too).
std::string& trimLeft(std::string& text, bool useWhitespaceSet);
std::string& trimRight(std::string& text, bool useWhitespaceSet);
std::wstring& trimLeft(std::wstring& text, bool useWhitespaceSet);
std::wstring& trimRight(std::wstring& text, bool useWhitespaceSet);

// ASCII letters only, as the runtime's "C" locale does.
std::string& toLower(std::string& text);
std::wstring& toLower(std::wstring& text);

std::string& replaceChar(std::string& text, char from, char to);
// Replaces every occurrence of `what`; inserted text is never searched
// again. An empty `what` changes nothing.
std::string& replaceAll(std::string& text, const std::string& what, const std::string& with);
// Removes a matching pair of '\'' or '"' around a text of 2 or more chars.
std::string& unquote(std::string& text);
// Reverses `count` characters from `start`, clipped to the text.
std::string& reverse(std::string& text, std::size_t start, std::size_t count);
std::string& padLeft(std::string& text, std::size_t width, char fill);
std::string& padRight(std::string& text, std::size_t width, char fill);

// Returns the text before the first separator and erases it (and the
// separator) from `text`; without a separator, the whole text.
std::string cutFirstToken(std::string& text, char separator);
// Returns the text after the last separator and erases from that separator
// on; without a separator returns the whole text and empties `text`.
std::string cutLastToken(std::string& text, char separator);

// -1 when index is at or past the end; else compares `other` with the text
// from index as signed bytes (a missing text byte counts as 0): -1, 0 or 1.
int compareAt(const std::string& text, std::size_t index, const std::string& other);

// maxParts 0: no limit. The piece after the last cut is kept only when not
// empty; inner empty pieces are kept unless skipEmpty.
std::list<std::string> split(const std::string& text, char separator, unsigned maxParts,
                             bool skipEmpty);
std::vector<std::string> splitToVector(const std::string& text, char separator, unsigned maxParts,
                                       bool skipEmpty);

// One pair: `from` becomes escapeChar + code, escapeChar becomes two.
std::string escape(const std::string& text, char from, char code, char escapeChar);
std::wstring escape(const std::wstring& text, wchar_t from, wchar_t code, wchar_t escapeChar);
// Inverse: escapeChar + code becomes `to`, two escapeChars one; others kept.
std::string unescape(const std::string& text, char code, char to, char escapeChar);
std::wstring unescape(const std::wstring& text, wchar_t code, wchar_t to, wchar_t escapeChar);
// Tables: chars[i] <-> escapeChar + codes[i].
std::string escapeSet(const std::string& text, const std::string& chars, const std::string& codes,
                      char escapeChar);
std::wstring escapeSet(const std::wstring& text, const std::wstring& chars,
                       const std::wstring& codes, wchar_t escapeChar);
std::string unescapeSet(const std::string& text, const std::string& codes, const std::string& chars,
                        char escapeChar);
std::wstring unescapeSet(const std::wstring& text, const std::wstring& codes,
                         const std::wstring& chars, wchar_t escapeChar);

}  // namespace VemoraCorelib::StringTools
