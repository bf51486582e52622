// The shared library's file functions on paths outside the drive folder,
// written behind the native root ("native:\...").
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "common/FileInfo.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "platform/Path.h"

namespace Vemora {
namespace {

namespace fs = std::filesystem;

class FileUtilsNativeRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("VEMORA_TEST_ROOT");
    ASSERT_NE(root, nullptr);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    native_ = fs::weakly_canonical(fs::path(root) / ("native-" + name));
    fs::remove_all(native_);
    fs::create_directories(native_);
    win_ = platform::toWindowsPath(native_.string());
    ASSERT_EQ(win_.rfind("native:\\", 0), 0u) << win_;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(native_, ignored);
  }
  fs::path native_;
  std::string win_;  // native_ in Windows form
};

TEST_F(FileUtilsNativeRootTest, TheRootIsADrive) {
  EXPECT_TRUE(FileOps::exists("native:"));
  EXPECT_TRUE(FileOps::exists("native:\\"));
  EXPECT_TRUE(FileOps::exists(win_));
  EXPECT_FALSE(FileOps::exists(win_ + "\\missing"));
}

TEST_F(FileUtilsNativeRootTest, CreateWriteListAndRemove) {
  std::string failed;
  ASSERT_TRUE(FileUtils::createPath(win_ + "\\a\\b\\f.txt", failed)) << failed;
  EXPECT_TRUE(fs::is_directory(native_ / "a" / "b"));
  ASSERT_TRUE(FileUtils::writeFile(win_ + "/a/b/f.txt", "text"));
  std::string text;
  ASSERT_TRUE(FileUtils::readFile(win_ + "\\a\\b\\f.txt", text));
  EXPECT_EQ(text, "text");
  FileInfo info;
  ASSERT_TRUE(FileOps::stat(win_ + "\\a\\.\\b\\..\\b\\f.txt", info));
  EXPECT_EQ(info.fullPath, win_ + "\\a\\b\\f.txt");
  EXPECT_EQ(info.size, 4);
  std::set<std::string> names;
  for (const DirectoryEntry& entry : FileUtils::listDirectory(win_ + "\\a\\b", "*")) {
    names.insert(entry.name);
  }
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "f.txt"}));
  ASSERT_TRUE(FileUtils::move(win_ + "\\a\\b\\f.txt", win_ + "\\g.txt", false));
  EXPECT_TRUE(fs::exists(native_ / "g.txt"));
  EXPECT_TRUE(FileUtils::removeDirectory(win_ + "\\a", false, true));
  EXPECT_FALSE(fs::exists(native_ / "a"));
}

}  // namespace
}  // namespace Vemora
