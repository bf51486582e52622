#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/File.h"
#include "platform/LastError.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    native_ = fs::path(std::getenv("VEMORA_DRIVE_C")) / "file" / name_;
    fs::remove_all(native_);
    fs::create_directories(native_);
  }
  void TearDown() override { fs::remove_all(native_); }
  std::string win(const std::string& rel) const { return "C:\\file\\" + name_ + "\\" + rel; }
  std::string get(const std::string& rel) const {
    std::ifstream in(native_ / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string name_;
  fs::path native_;
};

TEST_F(FileTest, OpenRules) {
  EXPECT_EQ(File::open(win("missing"), File::kRead), nullptr);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  auto created = File::open(win("f"), File::kWrite | File::kCreate | File::kExclusive);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(File::open(win("f"), File::kWrite | File::kCreate | File::kExclusive), nullptr);
  EXPECT_EQ(lastError(), kErrorFileExists);
  fs::create_directory(native_ / "dir");
  EXPECT_EQ(File::open(win("dir"), File::kRead), nullptr);
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_EQ(File::open("D:\\x", File::kRead), nullptr);

  { std::ofstream(native_ / "ro") << "keep"; }
  fs::permissions(native_ / "ro",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(File::open(win("ro"), File::kWrite | File::kTruncate), nullptr);
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_EQ(File::open(win("ro"), File::kAppend), nullptr);
  EXPECT_EQ(get("ro"), "keep");
  EXPECT_NE(File::open(win("ro"), File::kRead), nullptr);
}

TEST_F(FileTest, PositionedAndAppendedWrites) {
  auto file = File::open(win("f"), File::kRead | File::kWrite | File::kCreate);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->writeAt(0, "hello world", 11));
  ASSERT_TRUE(file->writeAt(6, "WORLD", 5));
  EXPECT_EQ(file->size(), 11);
  char buffer[16] = {};
  EXPECT_EQ(file->readAt(6, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "WORLD");
  EXPECT_EQ(file->readAt(11, buffer, sizeof buffer), 0);
  EXPECT_TRUE(file->sync());
  EXPECT_TRUE(file->close());
  EXPECT_TRUE(file->close());

  auto appender = File::open(win("f"), File::kWrite | File::kAppend);
  ASSERT_NE(appender, nullptr);
  ASSERT_TRUE(appender->writeAt(0, "!", 1));  // lands at the end
  appender.reset();
  EXPECT_EQ(get("f"), "hello WORLD!");

  auto truncated = File::open(win("f"), File::kWrite | File::kTruncate);
  ASSERT_NE(truncated, nullptr);
  EXPECT_EQ(truncated->size(), 0);
}

TEST_F(FileTest, FullDiskIsReportedByTheWrite) {
  const std::string path = win("big");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A file-size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    auto file = File::open(path, File::kWrite | File::kCreate);
    const std::string text(10000, 'x');
    const bool wrote = file != nullptr && file->writeAt(0, text.data(), text.size());
    ::_exit(!wrote && lastError() == kErrorDiskFull ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace platform
