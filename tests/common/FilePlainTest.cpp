#include "common/FilePlain.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/FileException.h"
#include "common/FileOps.h"
#include "common/LockFile.h"
#include "platform/Clock.h"

namespace Vemora {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

class FilePlainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The files live on the test's own drive C: the library sees "C:/files",
    // the test looks at the same folder natively.
    dir_ = fs::path(std::getenv("VEMORA_DRIVE_C")) / "files";
    fs::create_directories(dir_);
  }
  void TearDown() override { platform::setSleeper(nullptr); }
  std::string path(const std::string& leaf) const { return "C:/files/" + leaf; }
  fs::path native(const std::string& leaf) const { return dir_ / leaf; }
  int codeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const FileException& e) {
      lastMessage_ = e.message();
      return e.code();
    }
    return -1;
  }
  fs::path dir_;
  std::string lastMessage_;
};

TEST_F(FilePlainTest, CodeTextsFollowTheTable) {
  EXPECT_EQ(FileException(2).text(), "File: File does not exist. (Code: 60.2)");
  EXPECT_EQ(FileException(20).text(), "File: Failed to rename. (Code: 60.20)");
  EXPECT_EQ(FileException(27).text(), "File: Unknown error (Code: 60.27)");
  EXPECT_EQ(FileException(28).text(), "File: An error occured. (No changes made.) (Code: 60.28)");
  EXPECT_EQ(FileException(99).text(), "File: Unknown error (Code: 60.99)");
}

TEST_F(FilePlainTest, RejectsBadOpens) {
  FilePlain missing(path("missing.txt"));
  EXPECT_EQ(codeOf([&] { missing.open(FileBase::kRead); }), FileException::kExistsNot);
  EXPECT_EQ(lastMessage_, path("missing.txt") + "-->File does not exist.");
  spit(native("a.txt"), "x");
  const struct {
    uint16_t flags;
    int code;
  } cases[] = {
      {FileBase::kRead | FileBase::kAppend, FileException::kAccessCombination},
      {FileBase::kRead | FileBase::kTruncate, FileException::kAccessCombination},
      {FileBase::kWrite | FileBase::kTruncate | FileBase::kAppend,
       FileException::kAccessCombination},
      {0, FileException::kAccessCombination},
  };
  for (const auto& c : cases) {
    FilePlain f(path("a.txt"));
    EXPECT_EQ(codeOf([&] { f.open(c.flags); }), c.code) << c.flags;
  }
  FilePlain twice(path("a.txt"));
  twice.open(FileBase::kRead);
  EXPECT_EQ(codeOf([&] { twice.open(FileBase::kRead); }), FileException::kIsOpen);
}

TEST_F(FilePlainTest, WritesGoToTemporaryCopyUntilCommit) {
  spit(native("data.txt"), "old\n");
  FilePlain f(path("data.txt"));
  f.open(FileBase::kWrite | FileBase::kAppend);
  EXPECT_EQ(slurp(native("data.txt.tmp")), "old\n");
  EXPECT_TRUE(fs::exists(native("data.txt.lock")));
  f.writeLine("new");
  EXPECT_EQ(slurp(native("data.txt")), "old\n");
  f.commit();
  EXPECT_EQ(slurp(native("data.txt")), "old\nnew\n");
  EXPECT_FALSE(fs::exists(native("data.txt.tmp")));
  EXPECT_FALSE(fs::exists(native("data.txt.lock")));
}

TEST_F(FilePlainTest, LockFileHasFourLines) {
  FilePlain f(path("l.txt"));
  f.open(FileBase::kWrite);
  std::istringstream lines(slurp(native("l.txt.lock")));
  std::string time, expiry, owner, kind;
  std::getline(lines, time);
  std::getline(lines, expiry);
  std::getline(lines, owner);
  std::getline(lines, kind);
  EXPECT_EQ(time.size(), 16u);  // "20261210T101500Z"
  EXPECT_EQ(time[8], 'T');
  EXPECT_EQ(time.back(), 'Z');
  EXPECT_EQ(DateTime(expiry).seconds() - DateTime(time).seconds(), 30);
  EXPECT_EQ(owner.size(), 26u);
  EXPECT_EQ(kind, "original");
  f.discard();
}

TEST_F(FilePlainTest, LiveForeignLockRefusesAndExpiredOneIsBroken) {
  spit(native("x.txt"), "content");
  const DateTime now;
  const auto writeLock = [&](int32_t expiresIn) {
    spit(native("x.txt.lock"), now.toUtcString(true, false) + "\n" +
                                 now.plus(TimeSpan(expiresIn)).toUtcString(true, false) +
                                 "\nsomeone-else\nmissing\n");
  };
  writeLock(3600);
  FilePlain f(path("x.txt"));
  EXPECT_EQ(codeOf([&] { f.open(FileBase::kWrite); }), FileException::kIsLocked);
  EXPECT_EQ(slurp(native("x.txt")), "content");
  writeLock(-10);
  f.open(FileBase::kWrite | FileBase::kTruncate);
  f.write("fresh");
  f.commit();
  EXPECT_EQ(slurp(native("x.txt")), "fresh");
}

TEST_F(FilePlainTest, DiscardOfNewFileRemovesEverything) {
  FilePlain f(path("new.txt"));
  f.open(FileBase::kWrite);
  f.write("abc");
  f.discard();
  EXPECT_FALSE(fs::exists(native("new.txt")));
  EXPECT_FALSE(fs::exists(native("new.txt.tmp")));
  EXPECT_FALSE(fs::exists(native("new.txt.lock")));
}

// The lock of an earlier writing open never lets a later open delete the
// file that the earlier one committed.
TEST_F(FilePlainTest, AReusedFileDeletesOnlyWhatItsOwnOpenCreated) {
  fs::remove(native("reused.txt"));
  FilePlain f(path("reused.txt"));
  f.open(FileBase::kWrite);
  f.write("kept");
  f.commit();
  ASSERT_EQ(slurp(native("reused.txt")), "kept");
  for (uint16_t flags : {uint16_t{FileBase::kRead},
                         uint16_t{FileBase::kWrite | FileBase::kNoLock | FileBase::kAppend},
                         uint16_t{FileBase::kWrite | FileBase::kAppend}}) {
    f.open(flags);
    f.discard();
    EXPECT_EQ(slurp(native("reused.txt")), "kept") << flags;
  }
  EXPECT_FALSE(fs::exists(native("reused.txt.tmp")));
  EXPECT_FALSE(fs::exists(native("reused.txt.lock")));
  fs::remove(native("reused.txt"));
}

TEST_F(FilePlainTest, AnAppendingOpenReportsTheEndOfTheFile) {
  for (uint16_t extra : {uint16_t{0}, uint16_t{FileBase::kDirect}, uint16_t{FileBase::kRead}}) {
    spit(native("append.txt"), "12345");
    FilePlain f(path("append.txt"));
    f.open(FileBase::kWrite | FileBase::kAppend | extra);
    EXPECT_EQ(f.tell(), 5) << extra;
    f.write("ab");
    EXPECT_EQ(f.tell(), 7) << extra;
    f.commit();
    EXPECT_EQ(slurp(native("append.txt")), "12345ab") << extra;
  }
  fs::remove(native("append.txt"));
}

TEST_F(FilePlainTest, CheckTextAllowsOnlyTabAndLineEnds) {
  FilePlain f(path("t.txt"));
  EXPECT_NO_THROW(f.checkText("a\tb\r\n"));
  EXPECT_EQ(codeOf([&] { f.checkText(std::string("a\x01") + "b"); }), FileException::kTextCheck);
}

TEST_F(FilePlainTest, CommitGivesUpAfterTenFailedMoves) {
  int sleeps = 0;
  platform::setSleeper([&](uint32_t ms) {
    EXPECT_EQ(ms, FilePlain::kCommitRetryMs);
    ++sleeps;
  });
  const std::string target = path("blocked");
  FilePlain f(target);
  f.open(FileBase::kWrite);
  f.write("x");
  // A non-empty folder in the target's place makes every move fail.
  fs::remove(native("blocked"));
  fs::create_directories(native("blocked") / "inner");
  EXPECT_EQ(codeOf([&] { f.commit(); }), FileException::kRename);
  EXPECT_EQ(lastMessage_, "Failed to update the file \"" + target + "\"");
  // Each of the ten moves makes its own attempts with a pause between them,
  // and the commit pauses after each failed move.
  EXPECT_EQ(sleeps, FilePlain::kCommitAttempts * FileOps::kMoveAttempts);
  EXPECT_TRUE(fs::exists(native("blocked.tmp")));
}

TEST_F(FilePlainTest, ReadsLinesAndBytes) {
  spit(native("r.txt"), "one\r\ntwo\nthree");
  FilePlain f(path("r.txt"));
  f.open(FileBase::kRead);
  std::string line;
  EXPECT_EQ(f.readLine(line), "one");
  EXPECT_EQ(f.readLine(line), "two");
  char buffer[16] = {};
  EXPECT_EQ(f.readBytes(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "three");
  EXPECT_EQ(codeOf([&] { f.readLine(line); }), FileException::kEof);
  EXPECT_EQ(codeOf([&] { f.write("no"); }), FileException::kWrite);
  f.commit();
  EXPECT_EQ(codeOf([&] { f.readLine(line); }), FileException::kIsClosed);
}

TEST(LockFileTest, OwnerIdsDifferWithinOneSecond) {
  const std::string p = "C:/owner";
  LockFile a(p), b(p);
  EXPECT_NE(a.ownerId(), b.ownerId());
  for (char c : a.ownerId().substr(16)) {
    EXPECT_GE(c, ' ');
    EXPECT_LE(c, '}');
  }
}

}  // namespace
}  // namespace Vemora
