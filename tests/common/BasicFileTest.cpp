#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "common/BasicFile.h"
#include "common/FileScratch.h"

namespace Vemora {
namespace {

using BasicFileTest = FileScratch;

TEST_F(BasicFileTest, OpenErrors) {
  BasicFile file;
  EXPECT_TRUE(file.isClosed());
  EXPECT_TRUE(file.open(win("x"), 0));
  EXPECT_TRUE(file.isClosed());
  EXPECT_FALSE(file.open(win("x"), 7));
  EXPECT_EQ(file.lastError(), 3);
  EXPECT_FALSE(file.open(win("missing"), 1));
  EXPECT_EQ(file.lastError(), 4);
  EXPECT_FALSE(file.open(win("missing"), 4));  // read and write needs the file
  EXPECT_EQ(file.lastError(), 4);
  put("ro", "kept");
  makeReadOnly("ro");
  EXPECT_FALSE(file.open(win("ro"), 2));
  EXPECT_EQ(file.lastError(), 4);
  EXPECT_EQ(get("ro"), "kept");
  put("a", "first");
  put("b", "second");
  ASSERT_TRUE(file.open(win("a"), 1));
  EXPECT_EQ(file.lastError(), 0);
  EXPECT_FALSE(file.open(win("b"), 1));
  EXPECT_EQ(file.lastError(), 2);
  EXPECT_EQ(file.path(), win("a"));
  std::string text;
  ASSERT_TRUE(file.read(text, 100));
  EXPECT_EQ(text, "first");
  file.close();
  EXPECT_TRUE(file.atEnd(BasicFile::kLast));
  EXPECT_EQ(file.size(), -1);
  EXPECT_EQ(file.lastError(), 1);
  EXPECT_EQ(file.tell(BasicFile::kRead), -1);
  EXPECT_EQ(file.lastError(), 1);
}

TEST_F(BasicFileTest, ModesAllowReadingAndWriting) {
  struct Case {
    int mode;
    bool reads;
    bool writes;
    std::string after;  // the file after writing "XY" at the start
  };
  const std::vector<Case> cases = {
      {1, true, false, "abcd"}, {2, false, true, "XY"}, {3, false, true, "abcdXY"},
      {4, true, true, "XYcd"},  {5, true, true, "XY"},  {6, false, true, "abcdXY"},
  };
  for (const Case& c : cases) {
    put("f", "abcd");
    BasicFile file;
    ASSERT_TRUE(file.open(win("f"), c.mode)) << c.mode;
    std::string text;
    EXPECT_EQ(file.write("XY"), c.writes) << c.mode;
    EXPECT_EQ(file.lastError(), c.writes ? 0 : 8) << c.mode;
    file.seek(0, BasicFile::kFromBegin, BasicFile::kRead);
    const bool read = file.read(text, 10);
    EXPECT_EQ(read, c.reads) << c.mode;
    if (!c.reads) {
      EXPECT_EQ(file.lastError(), 6) << c.mode;
    }
    EXPECT_EQ(file.flush(), c.writes) << c.mode;
    file.close();
    EXPECT_EQ(get("f"), c.after) << c.mode;
  }
}

TEST_F(BasicFileTest, ReadLinesDropsCarriageReturns) {
  put("f", "a\r\nb");
  BasicFile file;
  ASSERT_TRUE(file.open(win("f"), 1));
  EXPECT_EQ(file.readLine(), "a");
  EXPECT_FALSE(file.atEnd(BasicFile::kLast));
  EXPECT_EQ(file.readLine(), "b");
  EXPECT_TRUE(file.atEnd(BasicFile::kLast));
  EXPECT_EQ(file.readLine(), "");
  EXPECT_EQ(file.lastError(), 10);

  const std::string longLine(1000, 'x');
  put("g", "x\ry\n\n" + longLine + "\nlast\n");
  BasicFile lines;
  ASSERT_TRUE(lines.open(win("g"), 1));
  EXPECT_EQ(lines.readLine(), "xy");
  EXPECT_EQ(lines.readLine(), "");
  EXPECT_EQ(lines.readLine(), longLine);
  EXPECT_EQ(lines.readLine(), "last");
  EXPECT_TRUE(lines.atEnd(BasicFile::kRead));
  EXPECT_EQ(lines.readLine(), "");
  EXPECT_EQ(lines.lastError(), 10);
}

TEST_F(BasicFileTest, ReadsBytesInPieces) {
  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>(i % 251);
  put("f", data);
  BasicFile file;
  ASSERT_TRUE(file.open(win("f"), 1));
  EXPECT_EQ(file.size(), 3000);
  std::string part;
  ASSERT_TRUE(file.read(part, 0));
  EXPECT_EQ(part, "");
  ASSERT_TRUE(file.read(part, 1500));
  EXPECT_EQ(part, data.substr(0, 1500));
  EXPECT_EQ(file.tell(BasicFile::kRead), 1500);
  ASSERT_TRUE(file.read(part, 5000));
  EXPECT_EQ(part, data.substr(1500));
  EXPECT_TRUE(file.atEnd(BasicFile::kRead));
  EXPECT_FALSE(file.read(part, 1));
  EXPECT_EQ(file.lastError(), 10);

  BasicFile empty;
  put("e", "");
  ASSERT_TRUE(empty.open(win("e"), 1));
  EXPECT_TRUE(empty.atEnd(BasicFile::kLast));
  EXPECT_FALSE(empty.read(part, 1));
  EXPECT_EQ(empty.lastError(), 10);
}

TEST_F(BasicFileTest, SizeFollowsWrites) {
  BasicFile file;
  ASSERT_TRUE(file.open(win("f"), 5));
  EXPECT_EQ(file.size(), 0);
  ASSERT_TRUE(file.writeLine("hello"));
  EXPECT_EQ(file.size(), 6);
  // Overwriting inside the file does not make it larger.
  ASSERT_TRUE(file.seek(0, BasicFile::kFromBegin, BasicFile::kWrite));
  ASSERT_TRUE(file.write("HE"));
  EXPECT_EQ(file.size(), 6);
  EXPECT_EQ(file.tell(BasicFile::kWrite), 2);
  ASSERT_TRUE(file.seek(0, BasicFile::kFromEnd, BasicFile::kWrite));
  ASSERT_TRUE(file.write("!"));
  EXPECT_EQ(file.size(), 7);
  file.close();
  EXPECT_EQ(get("f"), "HEllo\n!");

  BasicFile appender;
  ASSERT_TRUE(appender.open(win("f"), 3));
  ASSERT_TRUE(appender.write("ab"));
  EXPECT_EQ(appender.size(), 9);
  EXPECT_TRUE(appender.atEnd(BasicFile::kWrite));
}

TEST_F(BasicFileTest, SeekRules) {
  put("f", "0123456789");
  BasicFile file;
  ASSERT_TRUE(file.open(win("f"), 4));
  EXPECT_FALSE(file.seek(0, 3, BasicFile::kRead));
  EXPECT_EQ(file.lastError(), 5);
  ASSERT_TRUE(file.seek(4, BasicFile::kFromBegin, BasicFile::kRead));
  ASSERT_TRUE(file.seek(2, BasicFile::kFromCurrent, BasicFile::kLast));
  EXPECT_EQ(file.tell(BasicFile::kRead), 6);
  EXPECT_FALSE(file.seek(-20, BasicFile::kFromCurrent, BasicFile::kRead));
  EXPECT_EQ(file.lastError(), 12);
  EXPECT_EQ(file.tell(BasicFile::kRead), 6);
  ASSERT_TRUE(file.seek(-3, BasicFile::kFromEnd, BasicFile::kBoth));
  EXPECT_EQ(file.readLine(), "789");
  ASSERT_TRUE(file.seek(5, BasicFile::kFromEnd, BasicFile::kRead));
  EXPECT_TRUE(file.atEnd(BasicFile::kLast));
  EXPECT_FALSE(file.atEnd(BasicFile::kRead));  // beyond the end is not at it
  file.close();

  // A seek the mode does not allow fails without an error code.
  ASSERT_TRUE(file.open(win("f"), 2));
  EXPECT_FALSE(file.seek(0, BasicFile::kFromBegin, BasicFile::kRead));
  EXPECT_EQ(file.lastError(), 0);
  file.close();
  ASSERT_TRUE(file.open(win("f"), 6));
  EXPECT_FALSE(file.seek(0, BasicFile::kFromBegin, BasicFile::kWrite));
  EXPECT_EQ(file.lastError(), 0);
}

TEST_F(BasicFileTest, FailedWriteKeepsSizeAndPosition) {
  put("f", "abc");
  const std::string path = win("f");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100, 100};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    BasicFile file;
    bool ok = file.open(path, 3);
    ok = ok && !file.write(std::string(1000, 'x')) && file.lastError() == 9;
    ok = ok && file.size() == 3 && file.tell(BasicFile::kWrite) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace Vemora
