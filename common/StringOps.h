// Free functions on std::string: trimming, unquoting, padding, replacing,
// cutting and splitting, number <-> text, hashes, key-value lists and glob
// matching with "*" and "?". Texts are bytes of the system code page; where a
// rule compares a byte with a number the byte is a signed char (0x80..0xFF
// count as negative). Nothing throws on its own and nothing keeps state, so
// every function is safe to call from any thread on texts it does not share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Vemora {

class StringOps {
 public:
  StringOps() = delete;

  // Occurrences of `c` in [position, position + length) (clipped to the end);
  // 0 for a position at or past the end.
  static size_t countChar(char c, const std::string& text, size_t position, size_t length);

  // Remove leading / trailing bytes whose signed value is 32 or less (blanks,
  // controls and every byte from 0x80 up; 0x7F stays). Return the count.
  static size_t trimLeft(std::string& text);
  static size_t trimRight(std::string& text);
  // trimRight, then trimLeft; the sum of both counts.
  static size_t trim(std::string& text);

  // Removes one surrounding pair of '"' or '\'' (same kind at both ends); a
  // text of one quote character becomes empty.
  static void unquote(std::string& text);

  // Replaces every `from` by `to`; the count.
  static size_t replaceChar(std::string& text, char from, char to);
  // Replaces every occurrence of `search` (never rescanning inserted text);
  // the count. An empty `search` replaces nothing.
  static size_t replaceAll(std::string& text, const std::string& search,
                           const std::string& replacement);

  // Append / insert in front `fill` until the text is `width` long.
  static void padRight(std::string& text, size_t width, char fill);
  static void padLeft(std::string& text, size_t width, char fill);

  // The part before the first `delimiter`; the text keeps what follows it.
  // Without a delimiter the whole text is returned and the text emptied.
  static std::string cutToken(std::string& text, char delimiter);

  // True when `text` holds `part` at `position` (false when it would reach
  // past the end; an empty part inside the text is true).
  static bool matchesAt(const std::string& text, const std::string& part, size_t position);

  // Decimal texts.
  static std::string fromInt(int32_t value);
  static std::string fromUInt(uint32_t value);
  static std::string fromInt64(int64_t value);
  static std::string fromUInt64(uint64_t value);
  // "%.13f", at most 19 characters kept, then trimNumber: 1.5 -> "1.5",
  // 2.0 -> "2", 1e20 -> "1000000000000000000". Any magnitude is safe.
  static std::string fromDouble(double value);

  // Strict: the whole text must be decimal digits (first one '0'..'9'); else
  // 0. Saturates at 4294967295.
  static uint32_t toUInt(const std::string& text);
  // Leading blanks, optional sign, digits; saturates at the 64-bit limits.
  static int64_t toInt64(const std::string& text);
  // The leading run of digits, wrapping modulo 2^64; no sign accepted.
  static uint64_t toUInt64(const std::string& text);

  // Removes the trailing zeros of a decimal fraction ("1.500" -> "1.5",
  // "2.000" -> "2", ".000" -> "0"); texts of other characters stay.
  static void trimNumber(std::string& text);

  // h = h * 37 + (signed char) c over every byte, wrapping.
  static uint32_t hash(const std::string& text);
  static uint64_t hash64(const std::string& text);

  // Byte-wise tolower (the "C" locale).
  static void toLower(std::string& text);
  static std::string lowerCopy(const std::string& text);

  // Clears `out` and fills it with the pieces between delimiters. At most
  // `maxParts` pieces (taken as unsigned; 0 means no limit, 1 the whole
  // text); `skipEmpty` drops empty pieces; a trailing empty piece is never
  // added. Returns out.size().
  static size_t split(const std::string& text, char delimiter, std::vector<std::string>& out,
                      int32_t maxParts, bool skipEmpty);

  // Clears `out` and reads "key<keySep>value<pairSep>..." into it; a pair
  // with an empty key is dropped, a repeated key overwritten.
  static void parseKeyValues(const std::string& text, char pairSeparator, char keySeparator,
                             std::map<std::string, std::string>& out);

  // Case-sensitive glob match: "*" any run, "?" one byte.
  static bool wildcardMatch(const std::string& pattern, const std::string& text);
  // Match with captures: one item per run of wildcards in the pattern (its
  // '?' bytes, then its '*' text), appended to `captures` (not cleared; a
  // failed match may leave items it appended). Where a pattern can match in
  // several ways each '*' takes as little as it can. A pattern with several
  // '*' or a '*' between literals is matched over a table of pattern x text
  // cells; beyond 16 Mi cells the match is refused (false).
  static bool wildcardCapture(const std::string& pattern, const std::string& text,
                              std::vector<std::string>& captures);
  // Lower-cases both copies, then wildcardCapture.
  static bool wildcardMatchLower(std::string pattern, std::string text,
                                 std::vector<std::string>& captures);
};

}  // namespace Vemora
