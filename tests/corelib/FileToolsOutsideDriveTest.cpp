// The core library's path helpers and file operations on folders outside the
// drive folder: their Windows form is "native:\...", and the current folder
// may be one of them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "corelib/FileTools.h"
#include "corelib/SystemBase.h"
#include "platform/Path.h"

namespace {

namespace fs = std::filesystem;
namespace FileTools = VemoraCorelib::FileTools;

// The shapes the helpers see in a native-root path, as in a drive path.
TEST(FileToolsNativeRootTest, SplitsAndJoinsLikeADrive) {
  EXPECT_TRUE(FileTools::isAbsolute("native:\\tmp\\x"));
  EXPECT_EQ(FileTools::root("native:\\tmp\\x"), "native:");
  EXPECT_EQ(FileTools::directoryPart("native:\\tmp\\w\\f.txt"), "tmp\\w");
  EXPECT_EQ(FileTools::parentDirectory("native:\\tmp\\w"), "native:\\tmp");
  EXPECT_EQ(FileTools::parentDirectory("native:\\tmp"), "native:");
  EXPECT_EQ(FileTools::extension("native:\\tmp\\a.b\\f"), "");
  std::string path = "native:/tmp/./a/../b/";
  EXPECT_EQ(FileTools::normalizePath(path), "native:\\tmp\\b\\");
  path = "a\\..\\b";
  EXPECT_EQ(FileTools::makeAbsolute(path, "native:\\w"), "native:\\w\\b");
  path = "native:\\tmp\\x";
  EXPECT_EQ(FileTools::makeAbsolute(path, "C:\\w"), "native:\\tmp\\x");
  EXPECT_TRUE(FileTools::isDirectory("native:"));
  EXPECT_TRUE(FileTools::isDirectory("native:\\"));
  EXPECT_TRUE(FileTools::exists("native:\\"));
}

// A folder beside the drive folder, which is also the current folder.
class FileToolsOutsideDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* root = std::getenv("VEMORA_TEST_ROOT");
    ASSERT_NE(root, nullptr);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = fs::weakly_canonical(fs::path(root) / ("outside-" + name));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "sub" / "deeper");
    for (const char* file : {"sub/a.txt", "sub/b.xml", "sub/deeper/c.txt"}) {
      std::ofstream(folder_ / file) << file;
    }
    previous_ = fs::current_path();
    fs::current_path(folder_);
    // The test needs a drive folder that does not hold this one.
    const std::string drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(folder_.string().rfind(drive + "/", 0), 0u) << drive;
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code ignored;
    fs::permissions(folder_ / "sub", fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }
  // The Windows form of a path below the folder.
  std::string windows(const std::string& rel) const {
    return platform::toWindowsPath((folder_ / rel).string());
  }
  bool writable(const std::string& rel) const {
    return (fs::status(folder_ / rel).permissions() & fs::perms::owner_write) != fs::perms::none;
  }
  fs::path folder_;
  fs::path previous_;
};

TEST_F(FileToolsOutsideDriveTest, CurrentFolderIsTheNativeOne) {
  const std::string current = FileTools::currentDirectory();
  EXPECT_EQ(current.rfind("native:\\", 0), 0u) << current;
  EXPECT_EQ(platform::toNativePath(current).value_or("?"), folder_.string());
  EXPECT_TRUE(FileTools::isDirectory(current));
}

TEST_F(FileToolsOutsideDriveTest, RelativeListingsFindTheirFiles) {
  EXPECT_EQ(FileTools::listFiles("sub", "*"), (std::set<std::string>{"a.txt", "b.xml"}));
  EXPECT_EQ(FileTools::listDirectories("sub\\", "*"), (std::set<std::string>{"deeper"}));
  EXPECT_EQ(FileTools::listFiles(windows("sub"), "*.txt"), (std::set<std::string>{"a.txt"}));
  uint64_t folders = 99, files = 99;
  ASSERT_TRUE(FileTools::countTree("sub", "*", "*", folders, files));
  EXPECT_EQ(folders, 1u);
  EXPECT_EQ(files, 3u);
  std::string text;
  EXPECT_TRUE(FileTools::readFile("sub\\deeper\\c.txt", text));
  EXPECT_EQ(text, "sub/deeper/c.txt");
  EXPECT_EQ(FileTools::fileSize(windows("sub/a.txt")), 9u);
}

TEST_F(FileToolsOutsideDriveTest, PermissionsReallyChange) {
  ASSERT_TRUE(FileTools::setPermissions("sub", 1, true));  // read-only, the whole tree
  for (const char* rel : {"sub/a.txt", "sub/b.xml", "sub/deeper/c.txt"}) {
    EXPECT_FALSE(writable(rel)) << rel;
  }
  ASSERT_TRUE(FileTools::setPermissions(windows("sub"), 3, true));
  for (const char* rel : {"sub/a.txt", "sub/deeper", "sub/deeper/c.txt"}) {
    EXPECT_TRUE(writable(rel)) << rel;
  }
  ASSERT_TRUE(FileTools::setPermissions(windows("sub/a.txt"), 1, false));
  EXPECT_FALSE(writable("sub/a.txt"));
  EXPECT_FALSE(FileTools::setPermissions(windows("sub/missing.txt"), 1, false));
}

TEST_F(FileToolsOutsideDriveTest, CreatesMovesAndRemoves) {
  ASSERT_TRUE(FileTools::createDirectories(windows("made/one/f.txt")));
  EXPECT_TRUE(fs::is_directory(folder_ / "made" / "one"));
  // Between the native root and drive C the roots differ: copy and delete.
  std::ofstream(folder_ / "made" / "m.txt") << "moved";
  const std::string onDrive = "C:\\outside-moved-" + std::to_string(::getpid()) + ".txt";
  ASSERT_TRUE(FileTools::moveFile(windows("made/m.txt"), onDrive, false, 4096, true));
  EXPECT_FALSE(fs::exists(folder_ / "made" / "m.txt"));
  ASSERT_TRUE(FileTools::moveFile(onDrive, "made\\back.txt", false, 4096, false));
  std::string text;
  EXPECT_TRUE(FileTools::readFile(windows("made/back.txt"), text));
  EXPECT_EQ(text, "moved");
  EXPECT_TRUE(FileTools::removeDirectory("made", true, false));
  EXPECT_FALSE(fs::exists(folder_ / "made"));
}

TEST_F(FileToolsOutsideDriveTest, ProgramRoleBesideAConfigurationFolder) {
  const std::string program = windows("bin/tool");
  fs::create_directories(folder_ / "bin");
  EXPECT_EQ(VemoraCorelib::SystemBase::roleOf(program), "Client");
  fs::create_directories(folder_ / "Configuration");
  std::ofstream(folder_ / "Configuration" / "server.conf") << "";
  EXPECT_EQ(VemoraCorelib::SystemBase::roleOf(program), "CoreServer");
  fs::create_directories(folder_ / "x" / "bin");
  EXPECT_EQ(VemoraCorelib::SystemBase::roleOf(windows("x/bin/tool")), "Client");
}

}  // namespace
