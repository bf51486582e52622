#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "common/StringOps.h"

namespace {

using Vemora::StringOps;
using Items = std::vector<std::string>;

TEST(StringOpsTest, TrimRemovesSignedBytesUpToBlank) {
  const struct {
    std::string in, out;
    size_t removed;
  } cases[] = {
      {"\x85 abc \t", "abc", 4}, {"abc\x7f", "abc\x7f", 0}, {"", "", 0}, {"   ", "", 3},
      {"\x01x\xff", "x", 2},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(StringOps::trim(text), c.removed) << c.in;
    EXPECT_EQ(text, c.out);
  }
  std::string left = "  a ";
  EXPECT_EQ(StringOps::trimLeft(left), 2u);
  EXPECT_EQ(left, "a ");
  EXPECT_EQ(StringOps::trimRight(left), 1u);
  EXPECT_EQ(left, "a");
}

TEST(StringOpsTest, UnquoteNeedsTheSameQuoteAtBothEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"abc\"", "abc"},   {"'abc'", "abc"}, {"\"", ""},     {"''", ""},
      {"\"abc'", "\"abc'"}, {"abc", "abc"},   {"\"a", "\"a"}, {"", ""},
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    StringOps::unquote(text);
    EXPECT_EQ(text, out) << in;
  }
}

TEST(StringOpsTest, ReplaceCountPadCutAndMatchAt) {
  std::string text = "aaa";
  EXPECT_EQ(StringOps::replaceAll(text, "a", "aa"), 3u);  // inserted text is not rescanned
  EXPECT_EQ(text, "aaaaaa");
  EXPECT_EQ(StringOps::replaceAll(text, "", "x"), 0u);
  EXPECT_EQ(StringOps::replaceChar(text, 'a', 'b'), 6u);
  EXPECT_EQ(text, "bbbbbb");

  EXPECT_EQ(StringOps::countChar('a', "banana", 2, 100), 2u);
  EXPECT_EQ(StringOps::countChar('a', "banana", 0, 2), 1u);
  EXPECT_EQ(StringOps::countChar('a', "banana", 6, 1), 0u);
  EXPECT_EQ(StringOps::countChar('a', "banana", 1, SIZE_MAX), 3u);

  std::string pad = "7";
  StringOps::padLeft(pad, 3, '0');
  EXPECT_EQ(pad, "007");
  StringOps::padRight(pad, 5, ' ');
  EXPECT_EQ(pad, "007  ");
  StringOps::padRight(pad, 2, ' ');
  EXPECT_EQ(pad, "007  ");

  std::string cut = "a:b:c";
  EXPECT_EQ(StringOps::cutToken(cut, ':'), "a");
  EXPECT_EQ(cut, "b:c");
  cut = "abc";
  EXPECT_EQ(StringOps::cutToken(cut, ':'), "abc");
  EXPECT_EQ(cut, "");
  EXPECT_EQ(StringOps::cutToken(cut, ':'), "");

  EXPECT_TRUE(StringOps::matchesAt("hello", "llo", 2));
  EXPECT_FALSE(StringOps::matchesAt("hello", "llox", 2));
  EXPECT_FALSE(StringOps::matchesAt("hello", "", 6));
  EXPECT_TRUE(StringOps::matchesAt("hello", "", 4));
  EXPECT_FALSE(StringOps::matchesAt("hello", "o", SIZE_MAX));
}

TEST(StringOpsTest, NumbersToText) {
  EXPECT_EQ(StringOps::fromInt(-5), "-5");
  EXPECT_EQ(StringOps::fromInt(INT32_MIN), "-2147483648");
  EXPECT_EQ(StringOps::fromUInt(4294967295u), "4294967295");
  EXPECT_EQ(StringOps::fromInt64(0), "0");
  EXPECT_EQ(StringOps::fromInt64(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(StringOps::fromUInt64(UINT64_MAX), "18446744073709551615");
  const std::pair<double, std::string> doubles[] = {
      {1.5, "1.5"},
      {2.0, "2"},
      {-0.00000000000001, "-0"},
      {0.25, "0.25"},
      {1e20, "1000000000000000000"},
      {123456.125, "123456.125"},
      {1e300, "1000000000000000052"},  // wider than any fixed buffer: cut, never overflowed
      {-std::numeric_limits<double>::max(), "-179769313486231570"},
  };
  for (const auto& [value, text] : doubles) EXPECT_EQ(StringOps::fromDouble(value), text) << value;
}

TEST(StringOpsTest, TrimNumber) {
  const std::pair<std::string, std::string> cases[] = {
      {"1.500", "1.5"}, {"2.000", "2"}, {".000", "0"},    {"3.", "3"},       {"10", "10"},
      {"1.25", "1.25"}, {".", "."},     {"1e.0", "1e.0"}, {"-1.10", "-1.1"}, {"", ""},
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    StringOps::trimNumber(text);
    EXPECT_EQ(text, out) << in;
  }
}

TEST(StringOpsTest, TextToNumbers) {
  const std::pair<std::string, uint32_t> uints[] = {
      {"12", 12},
      {"12a", 0},
      {"+5", 0},
      {" 5", 0},
      {"", 0},
      {"99999999999", 4294967295u},
      {"4294967295", 4294967295u},
      {"0", 0},
  };
  for (const auto& [text, value] : uints) EXPECT_EQ(StringOps::toUInt(text), value) << text;
  EXPECT_EQ(StringOps::toInt64("-7"), -7);
  EXPECT_EQ(StringOps::toInt64("  42x"), 42);
  EXPECT_EQ(StringOps::toInt64(""), 0);
  EXPECT_EQ(StringOps::toInt64("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(StringOps::toUInt64("12ab"), 12u);
  EXPECT_EQ(StringOps::toUInt64("-1"), 0u);
  EXPECT_EQ(StringOps::toUInt64("18446744073709551616"), 0u);  // wraps
}

TEST(StringOpsTest, HashesUseSignedBytes) {
  EXPECT_EQ(StringOps::hash(""), 0u);
  EXPECT_EQ(StringOps::hash("a"), 97u);
  EXPECT_EQ(StringOps::hash("ab"), 3687u);
  EXPECT_EQ(StringOps::hash("\xe9"), static_cast<uint32_t>(-23));
  EXPECT_EQ(StringOps::hash("a\xe9"), 97u * 37u - 23u);
  EXPECT_EQ(StringOps::hash64("ab"), 3687u);
  EXPECT_EQ(StringOps::hash64("\xe9"), static_cast<uint64_t>(-23));
}

TEST(StringOpsTest, LowerCasesOnlyAsciiLetters) {
  EXPECT_EQ(StringOps::lowerCopy("AbC-Z\xc4\xff"), "abc-z\xc4\xff");
  std::string text = "HOST1";
  StringOps::toLower(text);
  EXPECT_EQ(text, "host1");
}

TEST(StringOpsTest, Split) {
  const struct {
    std::string text;
    int32_t max;
    bool skip;
    Items pieces;
  } cases[] = {
      {"a,,b,", 0, false, {"a", "", "b"}}, {"a,,b,", 0, true, {"a", "b"}},
      {"abc", 1, false, {"abc"}},          {"a,b,c", 1, false, {"a,b,c"}},
      {"a,b,c", 2, false, {"a", "b,c"}},   {",a", 2147483647, false, {"", "a"}},
      {"a,", 2147483647, false, {"a"}},    {"", 0, false, {}},
      {",,", 0, false, {"", ""}},          {",,", 0, true, {}},
  };
  for (const auto& c : cases) {
    Items out = {"stale"};
    EXPECT_EQ(StringOps::split(c.text, ',', out, c.max, c.skip), c.pieces.size());
    EXPECT_EQ(out, c.pieces) << c.text << " max " << c.max;
  }
}

TEST(StringOpsTest, ParseKeyValues) {
  const struct {
    std::string text;
    std::map<std::string, std::string> pairs;
  } cases[] = {
      {"method=checksum,data=42", {{"method", "checksum"}, {"data", "42"}}},
      {"a,b=c", {{"a,b", "c"}}},
      {"=x,a=1,a=2", {{"a", "2"}}},
      {"k=v=w", {{"k", "v=w"}}},
      {"k", {{"k", ""}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> out = {{"stale", "1"}};
    StringOps::parseKeyValues(c.text, ',', '=', out);
    EXPECT_EQ(out, c.pairs) << c.text;
  }
}

TEST(StringOpsTest, WildcardMatch) {
  const struct {
    const char* pattern;
    const char* text;
    bool match;
  } cases[] = {
      {"*", "", true},           {"**", "", false},       {"?", "x", true},
      {"?", "xy", false},        {"?*", "x", true},       {"?*", "", false},
      {"a*?", "a", true},        {"*aab", "aaab", false}, {"x*ab", "xaab", true},
      {"a*b", "axxb", true},     {"", "", false},         {"", "a", false},
      {"abc", "abc", true},      {"abc", "abd", false},   {"abc", "ABC", false},
      {"a?c", "abc", true},      {"a?c", "ac", false},    {"*.log", "x.log", true},
      {"*.log", "x.txt", false}, {"h*", "host", true},    {"*t", "host", true},
      {"?**", "ab", true},       {"*a*", "xyz", false},   {"a*", "b", false},
      {"*?*", "abc", true},      {"a**b", "ab", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StringOps::wildcardMatch(c.pattern, c.text), c.match)
        << "'" << c.pattern << "' vs '" << c.text << "'";
  }
}

TEST(StringOpsTest, WildcardMatchEndsOnLongHostileInput) {
  const std::string text(20000, 'a');
  EXPECT_FALSE(StringOps::wildcardMatch("*a*a*a*a*a*b", text));
  EXPECT_TRUE(StringOps::wildcardMatch("*a", text));
}

TEST(StringOpsTest, WildcardMatchLowerCaptures) {
  const struct {
    const char* pattern;
    const char* text;
    bool match;
    Items items;
  } cases[] = {
      {"*_agent", "Host1_Agent", true, {"host1"}},
      {"user*", "username", true, {"name"}},
      {"a?b??", "axbyz", true, {"x", "yz"}},
      {"abc", "abc", true, {}},
      {"abc", "abd", false, {}},
      {"", "", true, {}},
      {"", "x", false, {}},
      {"*", "", true, {""}},
      {"*", "Any", true, {"any"}},
      {"?", "Q", true, {"q"}},
      {"?", "", false, {}},
      {"*?", "xy", true, {"xy"}},
      {"*_agent", "agent", false, {}},
      {"user*", "use", false, {}},
      {"*??*x", "abcx", true, {"abc"}},
      {"a*b*c", "axxbyyc", true, {"xx", "yy"}},
      {"*_*", "a_b_c", true, {"a", "b_c"}},
      {"?*b", "abb", true, {"ab"}},
      {"a*b", "acd", false, {}},
  };
  for (const auto& c : cases) {
    Items items;
    EXPECT_EQ(StringOps::wildcardMatchLower(c.pattern, c.text, items), c.match)
        << "'" << c.pattern << "' vs '" << c.text << "'";
    if (c.match) {
      EXPECT_EQ(items, c.items) << c.pattern << " vs " << c.text;
    }
  }
}

TEST(StringOpsTest, CaptureAppendsAndKeepsEarlierItems) {
  Items items = {"old"};
  EXPECT_TRUE(StringOps::wildcardCapture("x?", "xy", items));
  EXPECT_EQ(items, (Items{"old", "y"}));
  // A failed fixed-length match keeps what it appended before the mismatch.
  items.clear();
  EXPECT_FALSE(StringOps::wildcardCapture("?a?b", "xaya", items));
  EXPECT_EQ(items, (Items{"x"}));
}

TEST(StringOpsTest, CaptureRefusesTablesBeyondItsBound) {
  Items items;
  // Both texts match the pattern; the table of the longer one (5 rows of 4Mi
  // and one columns) lies beyond the 16Mi cells allowed, the shorter one's
  // (15M cells) within.
  EXPECT_FALSE(StringOps::wildcardCapture("*a*a", std::string(1 << 22, 'a'), items));
  EXPECT_TRUE(items.empty());
  ASSERT_TRUE(StringOps::wildcardCapture("*a*a", std::string(3000000, 'a'), items));
  EXPECT_EQ(items, (Items{"", std::string(2999998, 'a')}));
  EXPECT_TRUE(StringOps::wildcardCapture("a*a", "a" + std::string(100, 'b') + "a", items));
}

}  // namespace
