#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Path.h"
#include "support/FaultFile.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// A folder of its own on drive C for each test: Windows-form and native.
class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    native_ = fs::path(std::getenv("VEMORA_DRIVE_C")) / "fs" / name_;
    fs::remove_all(native_);
    fs::create_directories(native_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(native_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(native_, ignored);
  }
  std::string win(const std::string& rel = "") const { return "C:\\fs\\" + name_ + "\\" + rel; }
  fs::path nat(const std::string& rel) const { return native_ / rel; }
  void put(const std::string& rel, const std::string& text) const {
    std::ofstream(nat(rel), std::ios::binary) << text;
  }
  std::string get(const std::string& rel) const {
    std::ifstream in(nat(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void makeReadOnly(const std::string& rel) const {
    fs::permissions(nat(rel),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  std::set<std::string> names(const std::string& pattern) const {
    std::vector<FindData> found;
    findFiles(win(pattern), found);
    std::set<std::string> result;
    for (const FindData& data : found) result.insert(data.name);
    return result;
  }

  std::string name_;
  fs::path native_;
};

TEST_F(FileSystemTest, FindPatterns) {
  put("Alpha.TXT", "a");
  put("beta.txt", "bb");
  put("gamma.log", "");
  put("noext", "");
  fs::create_directory(nat("Sub"));
  using Names = std::set<std::string>;
  const Names all = {".", "..", "Alpha.TXT", "beta.txt", "gamma.log", "noext", "Sub"};
  const std::vector<std::pair<std::string, Names>> cases = {
      {"*", all},
      {"*.*", all},
      {"*.txt", {"Alpha.TXT", "beta.txt"}},
      {"?ETA.*", {"beta.txt"}},
      {"*a*", {"Alpha.TXT", "beta.txt", "gamma.log"}},
      {"ALPHA.txt", {"Alpha.TXT"}},
      {"sub", {"Sub"}},
      {"no*t", {"noext"}},
      {"*.zip", {}},
  };
  for (const auto& [pattern, expected] : cases) EXPECT_EQ(names(pattern), expected) << pattern;

  std::vector<FindData> found;
  EXPECT_FALSE(findFiles(win("*.zip"), found));
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_FALSE(findFiles(win("missing\\*"), found));
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_FALSE(findFiles(win(""), found));  // a trailing separator names nothing
  ASSERT_TRUE(findFiles(win("beta.txt"), found));
  EXPECT_EQ(found.at(0).size, 2u);
  EXPECT_EQ(found.at(0).attributes, kFileAttributeNormal);
  ASSERT_TRUE(findFiles(win("Sub"), found));
  EXPECT_EQ(found.at(0).attributes, kFileAttributeDirectory);
}

TEST_F(FileSystemTest, AttributesAndReadOnly) {
  put("f", "x");
  EXPECT_EQ(fileAttributes(win("f")), kFileAttributeNormal);
  ASSERT_TRUE(setFileAttributes(win("f"), kFileAttributeReadonly | kFileAttributeHidden));
  EXPECT_EQ(fileAttributes(win("f")), kFileAttributeReadonly);
  EXPECT_FALSE(deleteFile(win("f")));  // as DeleteFileA: read-only files stay
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_TRUE(fs::exists(nat("f")));
  ASSERT_TRUE(setFileAttributes(win("f"), kFileAttributeNormal));
  EXPECT_EQ(fileAttributes(win("f")), kFileAttributeNormal);
  EXPECT_TRUE(deleteFile(win("f")));
  EXPECT_FALSE(fs::exists(nat("f")));
  EXPECT_EQ(fileAttributes(win("f")), kInvalidFileAttributes);
  EXPECT_EQ(lastError(), kErrorFileNotFound);

  fs::create_directory(nat("d"));
  EXPECT_EQ(fileAttributes(win("d")), kFileAttributeDirectory);
  EXPECT_FALSE(deleteFile(win("d")));
}

TEST_F(FileSystemTest, LinksAreNeverFollowedForChanges) {
  fs::create_directories(nat("outside/inner"));
  put("outside/keep.txt", "keep");
  fs::create_directory(nat("tree"));
  fs::create_directory_symlink(nat("outside"), nat("tree/link"));
  fs::create_symlink(nat("outside/keep.txt"), nat("tree/filelink"));

  EXPECT_EQ(fileAttributes(win("tree\\link")),
            kFileAttributeDirectory | kFileAttributeReparsePoint);
  EXPECT_EQ(fileAttributes(win("tree\\filelink")), kFileAttributeReparsePoint);
  // Read-only on a link changes nothing of its target.
  EXPECT_TRUE(setFileAttributes(win("tree\\filelink"), kFileAttributeReadonly));
  EXPECT_EQ(fileAttributes(win("outside\\keep.txt")), kFileAttributeNormal);

  EXPECT_TRUE(removeDirectory(win("tree\\link")));
  EXPECT_TRUE(deleteFile(win("tree\\filelink")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(nat("tree/link"))));
  EXPECT_EQ(get("outside/keep.txt"), "keep");
  EXPECT_TRUE(fs::exists(nat("outside/inner")));
}

TEST_F(FileSystemTest, DirectoriesCreateAndRemove) {
  EXPECT_TRUE(createDirectory(win("d")));
  EXPECT_FALSE(createDirectory(win("d")));
  EXPECT_EQ(lastError(), kErrorAlreadyExists);
  EXPECT_FALSE(createDirectory(win("x\\y")));  // no parents
  put("d/f", "");
  EXPECT_FALSE(removeDirectory(win("d")));
  EXPECT_EQ(lastError(), kErrorDirNotEmpty);
  EXPECT_FALSE(removeDirectory(win("d\\f")));
  EXPECT_EQ(lastError(), kErrorDirectory);
  fs::remove(nat("d/f"));
  makeReadOnly("d");
  EXPECT_FALSE(removeDirectory(win("d")));
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  ASSERT_TRUE(setFileAttributes(win("d"), kFileAttributeNormal));
  EXPECT_TRUE(removeDirectory(win("d\\")));
  EXPECT_FALSE(fs::exists(nat("d")));
}

TEST_F(FileSystemTest, MoveNeverReplacesMoveExDoes) {
  put("a", "A");
  put("b", "B");
  EXPECT_FALSE(moveFile(win("a"), win("b")));
  EXPECT_EQ(lastError(), kErrorAlreadyExists);
  EXPECT_EQ(get("a"), "A");
  EXPECT_EQ(get("b"), "B");

  EXPECT_TRUE(moveFileEx(win("a"), win("b"), kMoveFileReplaceExisting | kMoveFileWriteThrough));
  EXPECT_FALSE(fs::exists(nat("a")));
  EXPECT_EQ(get("b"), "A");

  EXPECT_TRUE(moveFile(win("b"), win("c")));
  EXPECT_EQ(get("c"), "A");
  EXPECT_FALSE(moveFile(win("missing"), win("d")));
  EXPECT_EQ(lastError(), kErrorFileNotFound);

  fs::create_directory(nat("dir"));
  EXPECT_FALSE(moveFileEx(win("c"), win("dir"), kMoveFileReplaceExisting));
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_TRUE(moveFile(win("dir"), win("dir2")));
  EXPECT_TRUE(fs::is_directory(nat("dir2")));
}

TEST_F(FileSystemTest, MoveAcrossFileSystems) {
  const fs::path shm = "/dev/shm";
  struct stat here {
  }, there{};
  if (::stat(native_.c_str(), &here) != 0 || ::stat(shm.c_str(), &there) != 0 ||
      here.st_dev == there.st_dev) {
    GTEST_SKIP() << "no second file system to move to";
  }
  const fs::path other = shm / ("vemora-move-" + std::to_string(::getpid()) + name_);
  fs::create_directories(other);
  fs::create_directory_symlink(other, nat("other"));
  put("src", "payload");
  put("other/existing", "old");
  EXPECT_FALSE(moveFileEx(win("src"), win("other\\existing"), kMoveFileReplaceExisting));
  EXPECT_EQ(lastError(), kErrorNotSameDevice);
  EXPECT_TRUE(moveFileEx(win("src"), win("other\\existing"),
                         kMoveFileReplaceExisting | kMoveFileCopyAllowed));
  EXPECT_EQ(get("other/existing"), "payload");
  EXPECT_FALSE(fs::exists(nat("src")));
  put("src2", "two");
  EXPECT_FALSE(moveFile(win("src2"), win("other\\existing")));  // never replaces
  EXPECT_TRUE(moveFile(win("src2"), win("other\\new")));
  EXPECT_EQ(get("other/new"), "two");
  EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator()), 2);
  fs::remove_all(other);
}

TEST_F(FileSystemTest, CopyCreatesExclusivelyUnlessOverwriting) {
  put("src", "new");
  put("dst", "old");
  fs::permissions(nat("src"), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(copyFile(win("src"), win("dst"), true));
  EXPECT_EQ(lastError(), kErrorFileExists);
  EXPECT_EQ(get("dst"), "old");
  EXPECT_TRUE(copyFile(win("src"), win("dst"), false));
  EXPECT_EQ(get("dst"), "new");
  EXPECT_TRUE(copyFile(win("src"), win("fresh"), true));
  EXPECT_EQ(get("fresh"), "new");
  EXPECT_EQ(fs::status(nat("fresh")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::last_write_time(nat("fresh")), fs::last_write_time(nat("src")));
  // Onto itself: refused, and the file keeps its bytes.
  EXPECT_FALSE(copyFile(win("src"), win("src"), false));
  EXPECT_EQ(get("src"), "new");
  fs::create_directory(nat("dir"));
  EXPECT_FALSE(copyFile(win("dir"), win("dircopy"), false));
}

TEST_F(FileSystemTest, FullPathNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
      {"C:/x/y/", "C:\\x\\y\\"},
      {"\\top\\f", "C:\\top\\f"},
      {"C:\\", "C:\\"},
      {"C:\\..\\..", "C:\\"},
      {"D:\\data\\f.txt", "D:\\data\\f.txt"},
      {"\\\\srv\\share/x", "\\\\srv\\share\\x"},
      {"native:\\tmp\\..\\x\\.\\y", "native:\\x\\y"},
      {"native:/a/b/", "native:\\a\\b\\"},
      {"native:", "native:\\"},
      {"NATIVE:\\..", "NATIVE:\\"},
  };
  for (const auto& [path, full] : cases) EXPECT_EQ(fullPathName(path).value_or("?"), full) << path;
  EXPECT_FALSE(fullPathName("").has_value());
  // Relative paths and "C:name" start at the current folder, inside the drive
  // folder or not.
  const fs::path previous = fs::current_path();
  for (const fs::path& folder : {native_, fs::path(std::getenv("VEMORA_TEST_ROOT"))}) {
    fs::current_path(folder);
    const std::string current = currentDirectory();
    EXPECT_EQ(fullPathName("rel\\f").value_or("?"), current + "\\rel\\f");
    EXPECT_EQ(fullPathName("C:rel\\..\\g").value_or("?"), current + "\\g");
    EXPECT_EQ(fullPathName("..\\h").value_or("?"), current.substr(0, current.rfind('\\')) + "\\h");
  }
  fs::current_path(previous);
}

TEST_F(FileSystemTest, DriveTypes) {
  EXPECT_EQ(driveType("C:"), kDriveFixed);
  EXPECT_EQ(driveType("c:\\"), kDriveFixed);
  EXPECT_EQ(driveType("C:/"), kDriveFixed);
  EXPECT_EQ(driveType("D:"), kDriveNoRootDir);
  EXPECT_EQ(driveType("C:\\x"), kDriveNoRootDir);
  EXPECT_EQ(driveType(""), kDriveNoRootDir);
  EXPECT_EQ(driveType("native:"), kDriveFixed);
  EXPECT_EQ(driveType("Native:\\"), kDriveFixed);
  EXPECT_EQ(driveType("native:\\x"), kDriveNoRootDir);
}

TEST_F(FileSystemTest, SyncFolder) {
  EXPECT_TRUE(syncFolder(win("")));
  EXPECT_FALSE(syncFolder(win("missing")));
}

TEST_F(FileSystemTest, SyncManyFilesAndFolders) {
  // More paths than one batch of the system's asynchronous syncs takes.
  std::vector<std::string> files;
  std::vector<std::string> folders;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "f" + std::to_string(i);
    put(name, "x");
    files.push_back(win(name));
    if (i % 100 == 0) {
      fs::create_directories(nat("d" + name));
      folders.push_back(win("d" + name));
    }
  }
  EXPECT_TRUE(syncFiles(files));
  EXPECT_TRUE(syncFolders(folders));
  EXPECT_TRUE(syncFiles({}));
  // A missing path fails the call; the others are still synced.
  files.push_back(win("missing"));
  EXPECT_FALSE(syncFiles(files));
  folders.push_back(win("missing"));
  EXPECT_FALSE(syncFolders(folders));
  EXPECT_FALSE(syncFolders({win("f1")}));  // a file is no folder
}

TEST_F(FileSystemTest, SyncReportsEachPathsOwnResult) {
  put("a", "x");
  put("b", "y");
  std::vector<uint32_t> errors;
  EXPECT_FALSE(syncFiles({win("a"), win("missing"), win("b")}, &errors));
  EXPECT_EQ(errors, (std::vector<uint32_t>{0, kErrorFileNotFound, 0}));
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_TRUE(syncFiles({win("a"), win("b")}, &errors));
  EXPECT_EQ(errors, (std::vector<uint32_t>{0, 0}));
}

// Each line of the fault file fails one operation on a matching path with
// EIO and is used up; other paths and operations are not touched.
TEST_F(FileSystemTest, FaultPointsFailOneOperationEach) {
  const test_support::FaultFile faults(native_.parent_path() / (name_ + ".faults"), true);
  put("a", "x");
  put("b", "y");
  faults.failNext("sync", name_ + "/b");
  faults.failNext("rename", name_ + "/moved");
  faults.failNext("unlink", name_ + "/a");
  std::vector<uint32_t> errors;
  EXPECT_FALSE(syncFiles({win("a"), win("b")}, &errors));
  EXPECT_EQ(errors[0], 0u);
  EXPECT_EQ(errors[1], errorFromErrno(EIO));
  EXPECT_TRUE(syncFiles({win("a"), win("b")}));  // used up
  EXPECT_FALSE(moveFileEx(win("b"), win("moved"), kMoveFileReplaceExisting));
  EXPECT_EQ(lastError(), errorFromErrno(EIO));
  EXPECT_EQ(get("b"), "y");
  EXPECT_TRUE(moveFileEx(win("b"), win("moved"), kMoveFileReplaceExisting));
  EXPECT_FALSE(deleteFile(win("a")));
  EXPECT_TRUE(fs::exists(nat("a")));
  EXPECT_TRUE(deleteFile(win("a")));
  EXPECT_EQ(faults.left(), "");
  faults.failNext("sync", name_);
  EXPECT_FALSE(syncFolder(win("")));
  EXPECT_TRUE(syncFolder(win("")));
}

}  // namespace
}  // namespace platform
