#include <gtest/gtest.h>

#include <string>

#include "corelib/WildcardMatch.h"

namespace {

using VemoraCorelib::WildcardMatch;

TEST(WildcardMatchTest, Table) {
  const struct {
    const char* text;
    const char* pattern;
    bool match;
  } cases[] = {
      {"abc", "a*c", true},
      {"abc", "a?c", true},
      {"abc", "a?", false},
      {"ab", "ab*", true},
      {"abc", "*b", false},
      {"abcb", "*b", true},
      {"abc", "", false},
      {"", "", true},
      {"", "*", true},
      {"", "**", false},
      {"abc", "**", true},
      {"x", "?*", true},
      {"Abc", "abc", false},
      {"abc", "abc", true},
      {"abc", "abcd", false},
      {"abc", "a**c", true},
      {"abc", "*", true},
      {"", "?", false},
      {"system", "sys*", true},
      {"query", "q?ery", true},
      {"abc", "*?", true},
      {"+01:00 (+01:00 3M5W6D2H-10M5W6D3H)", "???:?? (???:?? *M*W*D*H-*M*W*D*H)", true},
      {"+0100", "+????*", true},
      {"+010", "+????*", false},
      {"C:\\dir", "?*:\\*", true},
      {"\\\\srv\\share", "\\\\?*\\*", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
  }
}

TEST(WildcardMatchTest, PositionAndLength) {
  EXPECT_FALSE(WildcardMatch("abc", "abc", 0, 0));
  EXPECT_TRUE(WildcardMatch("xxabc", "abc", 2, std::string::npos));
  EXPECT_TRUE(WildcardMatch("abc", "*", 3, std::string::npos));
  EXPECT_FALSE(WildcardMatch("abc", "?", 3, std::string::npos));
}

}  // namespace
