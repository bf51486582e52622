#include <gtest/gtest.h>

#include <ctime>

#include "common/FileInfo.h"
#include "common/FileOps.h"
#include "common/FileScratch.h"
#include "platform/Clock.h"

namespace Vemora {
namespace {

using FileOpsTest = FileScratch;

TEST_F(FileOpsTest, StatOfFilesAndDirectories) {
  put("file.txt", "12345");
  std::filesystem::create_directory(nat("dir"));
  const int64_t now = static_cast<int64_t>(std::time(nullptr));

  FileInfo info;
  ASSERT_TRUE(FileOps::stat(win("file.txt"), info));
  EXPECT_TRUE(info.found);
  EXPECT_EQ(info.size, 5);
  EXPECT_EQ(info.attributes, FileInfo::kNormal);
  EXPECT_EQ(info.fullPath, win("file.txt"));
  EXPECT_LE(std::llabs(info.written.seconds() - now), 60);
  EXPECT_LE(std::llabs(info.created.seconds() - now), 60);

  ASSERT_TRUE(FileOps::stat(win("dir"), info));
  EXPECT_EQ(info.size, 0);
  EXPECT_EQ(info.attributes, FileInfo::kDirectory);

  makeReadOnly("file.txt");
  ASSERT_TRUE(FileOps::stat(win("FILE.TXT"), info));  // names match in any case
  EXPECT_EQ(info.attributes, FileInfo::kReadOnly);

  // A pattern describes its first match.
  ASSERT_TRUE(FileOps::stat(win("*.txt"), info));
  EXPECT_EQ(info.size, 5);

  EXPECT_FALSE(FileOps::stat(win("missing"), info));
  EXPECT_FALSE(info.found);
  EXPECT_FALSE(FileOps::stat("", info));
}

TEST_F(FileOpsTest, ExistsAndIsDirectory) {
  put("f", "");
  std::filesystem::create_directory(nat("dir"));
  const std::vector<std::pair<std::string, bool>> exists = {
      {win("f"), true}, {win("dir"), true}, {win("dir\\"), true}, {win("missing"), false},
      {"", false},      {"\\", false},      {"C:", true},         {"C:\\", true},
      {"D:\\", false},  {"Q:", false},
  };
  for (const auto& [path, expected] : exists) {
    EXPECT_EQ(FileOps::exists(path), expected) << path;
    EXPECT_EQ(FileOps::pathExists(path), expected) << path;
  }
  const std::vector<std::pair<std::string, bool>> directories = {
      {win("dir"), true}, {win("dir\\"), true},    {win("dir") + "/", true},
      {win("f"), false},  {win("missing"), false}, {"", false},
      {"\\", false},
  };
  for (const auto& [path, expected] : directories) {
    EXPECT_EQ(FileOps::isDirectory(path), expected) << path;
  }
}

// Counts the waits of the move retries instead of sleeping; `onWait` runs at
// each wait.
class CountingSleeper {
 public:
  explicit CountingSleeper(std::function<void(int)> onWait) {
    platform::setSleeper([this, onWait](uint32_t ms) {
      EXPECT_EQ(ms, FileOps::kMoveRetryMs);
      onWait(++waits_);
    });
  }
  ~CountingSleeper() { platform::setSleeper(nullptr); }
  int waits() const { return waits_; }

 private:
  int waits_ = 0;
};

TEST_F(FileOpsTest, MoveRetriesSixTimes) {
  {
    CountingSleeper sleeper([this](int wait) {
      if (wait == 5) put("late", "arrived");  // the source appears before the last try
    });
    EXPECT_TRUE(FileOps::move(win("late"), win("moved"), false));
    EXPECT_EQ(sleeper.waits(), 5);
    EXPECT_EQ(get("moved"), "arrived");
  }
  {
    CountingSleeper sleeper([](int) {});
    EXPECT_FALSE(FileOps::move(win("never"), win("moved2"), true));
    EXPECT_EQ(sleeper.waits(), 5);
  }
  {
    CountingSleeper sleeper([](int) {});
    put("a", "A");
    put("b", "B");
    EXPECT_FALSE(FileOps::move(win("a"), win("b"), false));
    EXPECT_EQ(get("b"), "B");
    EXPECT_TRUE(FileOps::move(win("a"), win("b"), true));
    EXPECT_EQ(get("b"), "A");
    EXPECT_FALSE(exists("a"));
  }
}

TEST_F(FileOpsTest, CopyDeleteAndDirectories) {
  put("src", "data");
  put("dst", "old");
  EXPECT_FALSE(FileOps::copy(win("src"), win("dst"), false));
  EXPECT_EQ(get("dst"), "old");
  EXPECT_TRUE(FileOps::copy(win("src"), win("dst"), true));
  EXPECT_EQ(get("dst"), "data");
  EXPECT_TRUE(FileOps::deleteFile(win("dst")));
  EXPECT_FALSE(FileOps::deleteFile(win("dst")));
  EXPECT_TRUE(FileOps::createDirectory(win("d")));
  EXPECT_FALSE(FileOps::createDirectory(win("e\\f")));
  EXPECT_TRUE(FileOps::removeDirectory(win("d")));
  EXPECT_FALSE(exists("d"));
}

TEST_F(FileOpsTest, SetAttributesPassesOnlySettableBits) {
  put("f", "");
  EXPECT_TRUE(FileOps::setAttributes(win("f"), FileInfo::kReadOnly | FileInfo::kHidden));
  FileInfo info;
  ASSERT_TRUE(FileOps::stat(win("f"), info));
  EXPECT_EQ(info.attributes, FileInfo::kReadOnly);
  EXPECT_TRUE(FileOps::setAttributes(win("f"), FileInfo::kNormal));
  ASSERT_TRUE(FileOps::stat(win("f"), info));
  EXPECT_EQ(info.attributes, FileInfo::kNormal);
  // Only unsettable bits: nothing read-only is asked for, so the file is
  // writable.
  EXPECT_TRUE(FileOps::setAttributes(win("f"), FileInfo::kDirectory | FileInfo::kCompressed));
  ASSERT_TRUE(FileOps::stat(win("f"), info));
  EXPECT_EQ(info.attributes, FileInfo::kNormal);
  EXPECT_FALSE(FileOps::setAttributes(win("missing"), FileInfo::kNormal));
}

}  // namespace
}  // namespace Vemora
