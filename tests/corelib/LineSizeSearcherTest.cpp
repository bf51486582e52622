#include <gtest/gtest.h>

#include <string>

#include "corelib/LineSizeSearcher.h"

namespace {

using VemoraCorelib::StringTools::LineSizeSearcher;

struct Case {
  const char* text;
  std::size_t start;
  std::size_t count;
  bool found;
  std::size_t breakPos;
  std::size_t skip;
};

TEST(LineSizeSearcherTest, BreakPositions) {
  const LineSizeSearcher searcher(10);
  const std::size_t all = std::string::npos;
  const Case cases[] = {
      {"short", 0, all, true, 5, 0},
      {"exactly 10", 0, all, true, 10, 0},
      {"hello world again", 0, all, true, 5, 1},   // blank dropped
      {"ab-cdefghijkl", 0, all, true, 3, 0},       // hyphen kept on the line
      {"abc\ndefghijklmnop", 0, all, true, 3, 1},  // line feed first
      {"abcdefghijklmnop", 0, all, true, 10, 0},   // no break character
      {"abcdefghij\nk", 0, all, true, 10, 1},      // LF right behind the line
      {"abcdefghij klmno", 0, all, true, 10, 1},   // blank at the line end
      {"xx hello world again", 3, all, true, 8, 1},
      {"hello world again", 0, 8, true, 8, 0},  // count limits the rest
      {"abc", 3, all, false, 0, 0},
  };
  for (const Case& c : cases) {
    std::size_t breakPos = 0;
    std::size_t skip = 0;
    EXPECT_EQ(searcher.search(breakPos, skip, std::string(c.text), c.start, c.count), c.found)
        << c.text;
    if (!c.found) continue;
    EXPECT_EQ(breakPos, c.breakPos) << c.text;
    EXPECT_EQ(skip, c.skip) << c.text;
    const std::string narrow(c.text);
    const std::wstring wide(narrow.begin(), narrow.end());
    std::size_t wideBreak = 0;
    std::size_t wideSkip = 0;
    ASSERT_TRUE(searcher.search(wideBreak, wideSkip, wide, c.start, c.count));
    EXPECT_EQ(wideBreak, c.breakPos) << c.text;
    EXPECT_EQ(wideSkip, c.skip) << c.text;
  }
}

TEST(LineSizeSearcherTest, ZeroLineSizeFindsNothing) {
  const LineSizeSearcher searcher(0);
  std::size_t breakPos = 0;
  std::size_t skip = 0;
  EXPECT_FALSE(searcher.search(breakPos, skip, std::string("abc"), 0, std::string::npos));
}

}  // namespace
