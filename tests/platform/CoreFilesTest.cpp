#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/CoreFiles.h"
#include "platform/LastError.h"

namespace {

namespace fs = std::filesystem;

class CoreFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    root_ = fs::path(drive) / "corefiles";
    fs::create_directories(root_ / "folder");
    std::ofstream(root_ / "seven.txt", std::ios::binary) << "1234567";
  }
  fs::path root_;
};

TEST_F(CoreFilesTest, AccessModes) {
  fs::permissions(root_ / "seven.txt", fs::perms::owner_read | fs::perms::group_read);
  const bool privileged = ::geteuid() == 0;  // root may write anything
  const struct {
    const char* path;
    int mode;
    int result;
  } cases[] = {
      {"C:\\corefiles\\seven.txt", 0, 0},  {"C:\\corefiles\\seven.txt", 4, 0},
      {"C:/corefiles/folder", 6, 0},       {"C:\\corefiles\\missing", 0, -1},
      {"Q:\\corefiles\\seven.txt", 0, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::accessPath(c.path, c.mode), c.result) << c.path << " " << c.mode;
  }
  if (!privileged) {
    EXPECT_EQ(platform::accessPath("C:\\corefiles\\seven.txt", 2), -1);
  }
  fs::permissions(root_ / "seven.txt", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(CoreFilesTest, OpenedFileSize) {
  EXPECT_EQ(platform::openedFileSize("C:\\corefiles\\seven.txt"), 7u);
  EXPECT_EQ(platform::openedFileSize("C:\\corefiles\\folder"), std::nullopt);
  EXPECT_EQ(platform::openedFileSize("C:\\corefiles\\missing"), std::nullopt);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
}

TEST_F(CoreFilesTest, WindowsFolderAndLongNames) {
  EXPECT_EQ(platform::windowsDirectory(), "C:\\Windows");
  EXPECT_EQ(platform::longPathName("C:\\corefiles\\seven.txt"), "C:\\corefiles\\seven.txt");
  EXPECT_EQ(platform::longPathName("C:\\corefiles\\missing"), std::nullopt);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
}

TEST_F(CoreFilesTest, SameFile) {
  fs::create_hard_link(root_ / "seven.txt", root_ / "hard.txt");
  std::ofstream(root_ / "other.txt") << "1234567";
  EXPECT_TRUE(platform::sameFile("C:\\corefiles\\seven.txt", "C:/corefiles/folder/../seven.txt"));
  EXPECT_TRUE(platform::sameFile("C:\\corefiles\\seven.txt", "C:\\corefiles\\hard.txt"));
  EXPECT_FALSE(platform::sameFile("C:\\corefiles\\seven.txt", "C:\\corefiles\\other.txt"));
  EXPECT_FALSE(platform::sameFile("C:\\corefiles\\missing", "C:\\corefiles\\missing"));
  fs::remove(root_ / "hard.txt");
}

TEST_F(CoreFilesTest, LastDirectionOfAStream) {
  const std::string native = (root_ / "rw.txt").string();
  std::FILE* file = std::fopen(native.c_str(), "w+b");
  ASSERT_NE(file, nullptr);
  std::fputc('a', file);
  EXPECT_TRUE(platform::lastOperationWasWrite(file));
  EXPECT_FALSE(platform::lastOperationWasRead(file));
  std::rewind(file);
  std::fgetc(file);
  EXPECT_TRUE(platform::lastOperationWasRead(file));
  EXPECT_FALSE(platform::lastOperationWasWrite(file));
  std::fclose(file);
  EXPECT_FALSE(platform::lastOperationWasWrite(nullptr));
  EXPECT_FALSE(platform::lastOperationWasRead(nullptr));
}

}  // namespace
