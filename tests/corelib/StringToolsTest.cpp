#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <list>
#include <string>
#include <vector>

#include "corelib/StringTools.h"

namespace {

using namespace VemoraCorelib;

TEST(StringToolsTest, DoubleToText) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {0.1, "0.1"},
      {2.5, "2.5"},
      {2.0, "2"},
      {-3.0, "-3"},
      {1e15, "1000000000000000"},
      {1e-15, "0"},
      {1e20, "1.000000000000000e+020"},
      {1e-20, "1.000000000000000e-020"},
      {-1e300, "-1.000000000000000e+300"},
      {123.456, "123.456"},
  };
  for (const auto& c : cases) EXPECT_EQ(StringTools::toString(c.value), c.text) << c.value;
}

TEST(StringToolsTest, IntegersToText) {
  EXPECT_EQ(StringTools::toString(true), "1");
  EXPECT_EQ(StringTools::toString(false), "0");
  EXPECT_EQ(StringTools::toString(static_cast<int16_t>(-7)), "-7");
  EXPECT_EQ(StringTools::toString(static_cast<uint16_t>(65535)), "65535");
  EXPECT_EQ(StringTools::toString(std::numeric_limits<int32_t>::min()), "-2147483648");
  EXPECT_EQ(StringTools::toString(static_cast<uint32_t>(4294967295u)), "4294967295");
  EXPECT_EQ(StringTools::toString(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(StringTools::toString(static_cast<uint64_t>(0)), "0");
  EXPECT_EQ(StringTools::toString(std::numeric_limits<uint64_t>::max()), "18446744073709551615");
}

TEST(StringToolsTest, TextToNumbers) {
  EXPECT_FALSE(StringTools::toBool(""));
  EXPECT_FALSE(StringTools::toBool("0"));
  EXPECT_TRUE(StringTools::toBool("false"));
  EXPECT_TRUE(StringTools::toBool("00"));

  EXPECT_EQ(StringTools::toInt32(" -12x"), -12);
  EXPECT_EQ(StringTools::toInt32("99999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(StringTools::toInt32("-99999999999"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(StringTools::toUInt32("99999999999"), 4294967295u);

  const struct {
    const char* text;
    int64_t value;
  } signedCases[] = {
      {"", 0},
      {"-12ab", -12},
      {" 5", 0},
      {"+5", 0},
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
      // Wraps modulo 2^64 instead of overflowing.
      {"9223372036854775808", std::numeric_limits<int64_t>::min()},
      {"18446744073709551617", 1},
  };
  for (const auto& c : signedCases) EXPECT_EQ(StringTools::toInt64(c.text), c.value) << c.text;

  EXPECT_EQ(StringTools::toUInt64("-5"), 0u);
  EXPECT_EQ(StringTools::toUInt64("18446744073709551615"), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(StringTools::toUInt64("18446744073709551616"), 0u);
  EXPECT_EQ(StringTools::toUInt64("42abc"), 42u);

  EXPECT_DOUBLE_EQ(StringTools::toDouble("2.5"), 2.5);
  EXPECT_EQ(StringTools::toDouble("1e999"), DBL_MAX);
  EXPECT_EQ(StringTools::toDouble("-1e999"), -std::numeric_limits<double>::infinity());
}

TEST(StringToolsTest, NarrowWideConversionMapsBytesOneToOne) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  const std::wstring wide = StringTools::convert(all);
  ASSERT_EQ(wide.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(static_cast<uint32_t>(wide[i]), static_cast<uint32_t>(i));
  EXPECT_EQ(StringTools::convert(wide), all);
  EXPECT_EQ(StringTools::convert(static_cast<char>(0xE9)), static_cast<wchar_t>(0xE9));
}

TEST(StringToolsTest, UnitAboveFfHasNoNarrowForm) {
  testing::internal::CaptureStdout();
  const char c = StringTools::convert(static_cast<wchar_t>(0x20AC));
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(c, 0);
  EXPECT_EQ(printed, "StringTools::convert(8364) -> size=-1\n");
}

TEST(StringToolsTest, Trimming) {
  std::string text = "a \t\r\n";
  EXPECT_EQ(StringTools::trimRight(text, true), "a");
  text = "   ";
  EXPECT_EQ(StringTools::trimRight(text, true), "");
  text = "\v\b\f x ";
  EXPECT_EQ(StringTools::trimLeft(text, true), "x ");
  // Without the set, codes up to 32 qualify; narrow bytes 0x80-0xFF too.
  text = std::string("\x01\xE9y\x7F\x1F");
  EXPECT_EQ(StringTools::trimLeft(text, false), "y\x7F\x1F");
  EXPECT_EQ(StringTools::trimRight(text, false), "y\x7F");
  std::wstring wide = std::wstring(1, static_cast<wchar_t>(0xE9)) + L" z\n";
  EXPECT_EQ(StringTools::trimRight(wide, false),
            std::wstring(1, static_cast<wchar_t>(0xE9)) + L" z");
  EXPECT_EQ(StringTools::trimLeft(wide, false).size(), 3u);  // 0xE9 stays in wide text
  wide = L"\t w \r";
  EXPECT_EQ(StringTools::trimRight(StringTools::trimLeft(wide, true), true), L"w");
}

TEST(StringToolsTest, LowerCaseTouchesAsciiOnly) {
  std::string text = "AbC-\xC9\x80Z";
  EXPECT_EQ(StringTools::toLower(text), "abc-\xC9\x80z");
  std::wstring wide = L"XyZ";
  wide += static_cast<wchar_t>(0xC9);
  std::wstring expected = L"xyz";
  expected += static_cast<wchar_t>(0xC9);
  EXPECT_EQ(StringTools::toLower(wide), expected);
}

TEST(StringToolsTest, Replacing) {
  std::string text = "aaa";
  EXPECT_EQ(StringTools::replaceAll(text, "a", "aa"), "aaaaaa");
  text = "a.b.c";
  EXPECT_EQ(StringTools::replaceAll(text, ".", ""), "abc");
  text = "abc";
  EXPECT_EQ(StringTools::replaceAll(text, "", "x"), "abc");  // an empty pattern ends at once
  text = "a/b/c";
  EXPECT_EQ(StringTools::replaceChar(text, '/', '\\'), "a\\b\\c");
}

TEST(StringToolsTest, Unquote) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"'abc'", "abc"}, {"\"abc\"", "abc"}, {"''", ""}, {"'abc\"", "'abc\""},
      {"'", "'"},       {"xabcx", "xabcx"}, {"", ""},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(StringTools::unquote(text), c.out) << c.in;
  }
}

TEST(StringToolsTest, ReverseAndPad) {
  std::string text = "abcdef";
  EXPECT_EQ(StringTools::reverse(text, 1, 3), "adcbef");
  EXPECT_EQ(StringTools::reverse(text, 4, 100), "adcbfe");
  EXPECT_EQ(StringTools::reverse(text, 6, 1), "adcbfe");
  text = "7";
  EXPECT_EQ(StringTools::padLeft(text, 3, '0'), "007");
  EXPECT_EQ(StringTools::padRight(text, 5, '.'), "007..");
  EXPECT_EQ(StringTools::padRight(text, 2, '.'), "007..");
}

TEST(StringToolsTest, CuttingTokens) {
  std::string text = "a.b.c";
  EXPECT_EQ(StringTools::cutFirstToken(text, '.'), "a");
  EXPECT_EQ(text, "b.c");
  EXPECT_EQ(StringTools::cutLastToken(text, '.'), "c");
  EXPECT_EQ(text, "b");
  EXPECT_EQ(StringTools::cutFirstToken(text, '.'), "b");
  EXPECT_EQ(text, "");
  text = "xyz";
  EXPECT_EQ(StringTools::cutLastToken(text, '.'), "xyz");
  EXPECT_EQ(text, "");
}

TEST(StringToolsTest, CompareAt) {
  EXPECT_EQ(StringTools::compareAt("SOFTWARE\\Vemora", 0, "SOFTWARE"), 0);
  EXPECT_EQ(StringTools::compareAt("abc", 3, "x"), -1);
  EXPECT_EQ(StringTools::compareAt("abc", 1, ""), 0);
  EXPECT_EQ(StringTools::compareAt("abc", 1, "bd"), -1);
  EXPECT_EQ(StringTools::compareAt("abd", 1, "bc"), 1);
  EXPECT_EQ(StringTools::compareAt("ab", 0, "abc"), -1);
  // A missing byte counts as 0, which is above a signed byte of 0x80.
  EXPECT_EQ(StringTools::compareAt("ab", 0, "ab\x80"), 1);
}

TEST(StringToolsTest, Split) {
  using List = std::vector<std::string>;
  const struct {
    const char* text;
    unsigned maxParts;
    bool skipEmpty;
    List parts;
  } cases[] = {
      {"", 0, false, {}},
      {"a..b", 0, true, {"a", "b"}},
      {"a..b", 0, false, {"a", "", "b"}},
      {"a.b.c", 2, false, {"a", "b.c"}},
      {"a.b.c", 1, false, {"a.b.c"}},
      {"a.", 0, false, {"a"}},
      {".a", 0, false, {"", "a"}},
      {".a", 0, true, {"a"}},
      {"a..", 2, false, {"a", "."}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StringTools::splitToVector(c.text, '.', c.maxParts, c.skipEmpty), c.parts) << c.text;
    const std::list<std::string> list = StringTools::split(c.text, '.', c.maxParts, c.skipEmpty);
    EXPECT_EQ(List(list.begin(), list.end()), c.parts) << c.text;
  }
}

TEST(StringToolsTest, EscapeRoundTrips) {
  const std::string text = "line1\nback\\slash\n";
  const std::string escaped = StringTools::escape(text, '\n', 'n', '\\');
  EXPECT_EQ(escaped, "line1\\nback\\\\slash\\n");
  EXPECT_EQ(StringTools::unescape(escaped, 'n', '\n', '\\'), text);
  EXPECT_EQ(StringTools::unescape("a\\qb\\", 'n', '\n', '\\'), "a\\qb\\");

  const std::wstring wide = L"x\ny\\";
  EXPECT_EQ(
      StringTools::unescape(StringTools::escape(wide, L'\n', L'n', L'\\'), L'n', L'\n', L'\\'),
      wide);

  const std::string set = StringTools::escapeSet("a=b;c\\", "=;", "eq", '\\');
  EXPECT_EQ(set, "a\\eb\\qc\\\\");
  EXPECT_EQ(StringTools::unescapeSet(set, "eq", "=;", '\\'), "a=b;c\\");
  // A character without a code is copied.
  EXPECT_EQ(StringTools::escapeSet("a;b", "=;", "e", '\\'), "a;b");
  EXPECT_EQ(StringTools::unescapeSet(L"\\e\\z", L"e", L"=", L'\\'), L"=\\z");
}

TEST(StringToolsTest, WhitespaceSet) {
  EXPECT_EQ(StringTools::whitespace(), std::string(" \r\n\t\v\b\f"));
  EXPECT_EQ(StringTools::wideWhitespace(), std::wstring(L" \r\n\t\v\b\f"));
}

}  // namespace

namespace {

// The runtime's conversion keeps 17 significant digits before rounding.
TEST(StringToolsTest, DoubleToTextKeepsSeventeenDigits) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {123456789.123456789, "123456789.12345679"},
      {0.000123, "0.000123"},
      {1.0 / 3.0, "0.33333333333333"},
      {2.0 / 3.0, "0.66666666666667"},
      {999999999999999.9, "999999999999999.88"},
      {5e-15, "0.00000000000001"},
      {4e-15, "0"},
      {9.99999999999999999e14, "1000000000000000"},
      {1.5e16, "1.500000000000000e+016"},
      {9.9999999999999999e20, "1.000000000000000e+021"},
      {-2.5e-300, "-2.500000000000000e-300"},
  };
  for (const auto& c : cases) EXPECT_EQ(StringTools::toString(c.value), c.text) << c.value;
}

}  // namespace
