#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "corelib/FileTools.h"
#include "platform/Clock.h"

namespace {

namespace fs = std::filesystem;
namespace FileTools = VemoraCorelib::FileTools;
using Names = std::set<std::string>;

struct Report {
  std::string name;
  int code;
  uint64_t done, total;
  bool operator==(const Report& other) const {
    return std::tie(name, code, done, total) ==
           std::tie(other.name, other.code, other.done, other.total);
  }
};

std::vector<Report> reports;

void record(const std::string& name, int code, uint64_t done, uint64_t total) {
  reports.push_back({name, code, done, total});
}

void PrintTo(const Report& r, std::ostream* os) {
  *os << "{" << r.name << ", " << r.code << ", " << r.done << ", " << r.total << "}";
}

class FileToolsOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    root_ = fs::path(drive) / "ops";
    fs::remove_all(root_);
    fs::create_directories(root_);
    reports.clear();
    sleeps_.clear();
    platform::setSleeper([this](uint32_t ms) { sleeps_.push_back(ms); });
  }
  void TearDown() override {
    platform::setSleeper({});
    // Read-only leftovers must not stop the next test's clean-up.
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      if (!entry.is_symlink())
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    }
  }
  void put(const std::string& name, const std::string& bytes) {
    fs::create_directories((root_ / name).parent_path());
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  std::string get(const std::string& name) {
    std::ifstream in(root_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void makeReadOnly(const std::string& name) {
    fs::permissions(root_ / name,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  bool writable(const std::string& name) {
    return (fs::status(root_ / name).permissions() & fs::perms::owner_write) != fs::perms::none;
  }
  static std::string win(const std::string& name) {
    std::string path = "C:\\ops\\" + name;
    return FileTools::toBackslashes(path);
  }
  fs::path root_;
  std::vector<uint32_t> sleeps_;
};

TEST_F(FileToolsOperationsTest, ListsFilesAndFoldersApart) {
  put("list/a.xml", "");
  put("list/B.XML", "");
  put("list/c.txt", "");
  fs::create_directories(root_ / "list" / "d.xml");
  fs::create_directories(root_ / "empty");
  Names files, folders;
  ASSERT_TRUE(FileTools::listDirectory(win("list\\"), "*", &files, &folders));
  EXPECT_EQ(files, (Names{"B.XML", "a.xml", "c.txt"}));
  EXPECT_EQ(folders, (Names{"d.xml"}));
  EXPECT_EQ(FileTools::listFiles(win("list"), "*.XML"), (Names{"B.XML"}));
  EXPECT_EQ(FileTools::listFiles(win("list"), "*.xml"), (Names{"a.xml"}));
  EXPECT_EQ(FileTools::listDirectories(win("list"), "*.xml"), (Names{"d.xml"}));
  EXPECT_TRUE(FileTools::listDirectory(win("list"), "*", nullptr, nullptr));

  files = {"old"};
  EXPECT_TRUE(FileTools::listDirectory(win("empty"), "*", &files, nullptr));
  EXPECT_EQ(files, (Names{"old"}));  // sets are added to, never cleared
  EXPECT_FALSE(FileTools::listDirectory(win("missing"), "*", &files, &folders));
  EXPECT_FALSE(FileTools::listDirectory(win("list\\a.xml"), "*", &files, &folders));
  EXPECT_TRUE(FileTools::listFiles(win("missing"), "*").empty());
}

TEST_F(FileToolsOperationsTest, CountsOnlyMatchingFoldersAndEntersThem) {
  put("tree/f1", "");
  put("tree/f2", "");
  put("tree/x1/g", "");
  put("tree/x2/y3/h", "");
  put("tree/z/k", "");
  fs::create_directory_symlink(root_ / "tree", root_ / "tree" / "x9");  // a loop
  uint64_t folders = 99, files = 99;
  ASSERT_TRUE(FileTools::countTree(win("tree"), "x*", "*", folders, files));
  EXPECT_EQ(folders, 3u);  // x1, x2 and the link x9, which is not entered
  EXPECT_EQ(files, 3u);    // f1, f2 and x1\g
  ASSERT_TRUE(FileTools::countTree(win("tree"), "*", "*", folders, files));
  EXPECT_EQ(folders, 5u);
  EXPECT_EQ(files, 5u);
  folders = files = 7;
  EXPECT_FALSE(FileTools::countTree(win("missing"), "*", "*", folders, files));
  EXPECT_EQ(folders, 7u);
  EXPECT_EQ(files, 7u);
}

TEST_F(FileToolsOperationsTest, SetsPermissionsOverATree) {
  put("perm/a", "");
  put("perm/sub/b", "");
  ASSERT_TRUE(FileTools::setPermissions(win("perm"), 1, true, record));
  EXPECT_FALSE(writable("perm/a"));
  EXPECT_FALSE(writable("perm/sub"));
  EXPECT_FALSE(writable("perm/sub/b"));
  EXPECT_EQ(reports,
            (std::vector<Report>{{win("perm\\a"), 1, 1, 2}, {win("perm\\sub\\b"), 1, 2, 2}}));
  ASSERT_TRUE(FileTools::setPermissions(win("perm"), 3, true, nullptr));
  EXPECT_TRUE(writable("perm"));
  EXPECT_TRUE(writable("perm/sub/b"));
  ASSERT_TRUE(FileTools::setPermissions(win("perm\\a"), 1, false));
  EXPECT_FALSE(writable("perm/a"));
  EXPECT_TRUE(writable("perm/sub/b"));
  EXPECT_FALSE(FileTools::setPermissions(win("missing"), 3, true));
}

TEST_F(FileToolsOperationsTest, DeletesReadOnlyFilesOnlyWithForce) {
  put("ro.txt", "x");
  makeReadOnly("ro.txt");
  EXPECT_FALSE(FileTools::deleteFile(win("ro.txt"), false));
  EXPECT_EQ(sleeps_, (std::vector<uint32_t>{25, 25}));
  EXPECT_TRUE(fs::exists(root_ / "ro.txt"));
  sleeps_.clear();
  EXPECT_TRUE(FileTools::deleteFile(win("ro.txt"), true));
  EXPECT_FALSE(fs::exists(root_ / "ro.txt"));
  EXPECT_TRUE(sleeps_.empty());
  EXPECT_FALSE(FileTools::deleteFile(win("missing.txt"), true));
}

TEST_F(FileToolsOperationsTest, RemovesFoldersWithRetriesAndRecursion) {
  put("rm/b.txt", "");
  put("rm/a.txt", "");
  put("rm/sub/deep/c.txt", "");
  EXPECT_FALSE(FileTools::removeDirectory(win("rm"), false, false));
  EXPECT_EQ(sleeps_, (std::vector<uint32_t>{25, 25}));
  EXPECT_TRUE(fs::exists(root_ / "rm" / "a.txt"));
  ASSERT_TRUE(FileTools::removeDirectory(win("rm"), true, false, record));
  EXPECT_FALSE(fs::exists(root_ / "rm"));
  EXPECT_EQ(reports,
            (std::vector<Report>{{"a.txt", 3, 1, 2}, {"b.txt", 3, 2, 2}, {"sub", 2, 3, 3}}));
  EXPECT_FALSE(FileTools::removeDirectory(win("rm"), true, false));
  put("file.txt", "");
  EXPECT_FALSE(FileTools::removeDirectory(win("file.txt"), true, true));
  EXPECT_TRUE(fs::exists(root_ / "file.txt"));
}

TEST_F(FileToolsOperationsTest, ClearingReportsWhatCouldNotBeDeleted) {
  put("clr/keep.txt", "");
  put("clr/go.txt", "");
  makeReadOnly("clr/keep.txt");
  ASSERT_TRUE(FileTools::clearDirectory(win("clr"), false, record));
  EXPECT_EQ(reports, (std::vector<Report>{{"go.txt", 3, 1, 2}, {"keep.txt", 1, 2, 2}}));
  EXPECT_TRUE(fs::exists(root_ / "clr" / "keep.txt"));
  EXPECT_FALSE(FileTools::removeDirectory(win("clr"), true, false));
  EXPECT_TRUE(FileTools::removeDirectory(win("clr"), true, true));
  EXPECT_FALSE(fs::exists(root_ / "clr"));
  EXPECT_FALSE(FileTools::clearDirectory(win("clr"), true));
}

TEST_F(FileToolsOperationsTest, RecursiveRemovalNeverFollowsLinks) {
  put("outside/precious.txt", "keep");
  put("victim/own.txt", "");
  fs::create_directory_symlink(root_ / "outside", root_ / "victim" / "link");
  fs::create_symlink(root_ / "outside" / "precious.txt", root_ / "victim" / "file-link");
  ASSERT_TRUE(FileTools::removeDirectory(win("victim"), true, true));
  EXPECT_FALSE(fs::exists(root_ / "victim"));
  EXPECT_EQ(get("outside/precious.txt"), "keep");

  fs::create_directory_symlink(root_ / "outside", root_ / "direct-link");
  ASSERT_TRUE(FileTools::removeDirectory(win("direct-link"), true, true));
  EXPECT_FALSE(fs::is_symlink(root_ / "direct-link"));
  EXPECT_EQ(get("outside/precious.txt"), "keep");
}

TEST_F(FileToolsOperationsTest, ComparesBytesWithoutCarriageReturns) {
  put("crlf", "a\r\nb");
  put("lf", "a\nb");
  put("abc", "abc");
  put("abd", "abd");
  put("ab", "ab");
  put("high", "\x80");
  put("low", "a");
  const struct {
    const char* a;
    const char* b;
    int result;
  } cases[] = {
      {"crlf", "lf", 0},   {"missing", "lf", -1}, {"lf", "missing", 1}, {"missing", "none", 0},
      {"abc", "abd", -1},  {"abd", "abc", 1},     {"abc", "ab", 1},     {"ab", "abc", -1},
      {"high", "low", -1}, {"abc", "abc", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileTools::compareFiles(win(c.a), win(c.b)), c.result) << c.a << " " << c.b;
  }
}

TEST_F(FileToolsOperationsTest, CopiesInChunksByteForByte) {
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += i % 50 == 0 ? '\r' : static_cast<char>('a' + i % 26);
  put("big", bytes);
  ASSERT_TRUE(FileTools::copyFile(win("big"), win("copy"), false, 100, false, record));
  EXPECT_EQ(get("copy"), bytes);
  EXPECT_TRUE(FileTools::skipCarriageReturns);
  EXPECT_EQ(reports, (std::vector<Report>{{win("copy"), 0, 1024, 3000},
                                          {win("copy"), 0, 2048, 3000},
                                          {win("copy"), 0, 3000, 3000}}));
  reports.clear();
  ASSERT_TRUE(FileTools::copyFile(win("big"), win("copy2"), false, 5000, true, record));
  EXPECT_EQ(reports, (std::vector<Report>{{win("copy2"), 0, 3000, 3000}}));
}

TEST_F(FileToolsOperationsTest, CopyRefusals) {
  put("src", "new");
  put("dst", "old");
  put("empty", "");
  fs::create_directories(root_ / "folder");
  EXPECT_FALSE(FileTools::copyFile(win("src"), win("dst"), false, 0, false));
  EXPECT_EQ(get("dst"), "old");
  EXPECT_TRUE(FileTools::copyFile(win("src"), win("dst"), true, 0, true));
  EXPECT_EQ(get("dst"), "new");
  EXPECT_TRUE(FileTools::copyFile(win("empty"), win("empty-copy"), false, 0, false, record));
  EXPECT_TRUE(fs::exists(root_ / "empty-copy"));
  EXPECT_TRUE(reports.empty());
  for (const std::string source : {"", "C:\\ops\\missing", "C:\\ops\\folder"}) {
    EXPECT_FALSE(FileTools::copyFile(source, win("out"), true, 0, false)) << source;
  }
  EXPECT_FALSE(fs::exists(root_ / "out"));
  // Onto itself: refused instead of truncating the source.
  EXPECT_FALSE(FileTools::copyFile(win("src"), "C:/ops/src", true, 0, false));
  EXPECT_EQ(get("src"), "new");
  EXPECT_FALSE(FileTools::copyFile(win("src"), win("no-folder\\x"), true, 0, false));
}

TEST_F(FileToolsOperationsTest, MovesWithinOneRoot) {
  put("from", "moved");
  put("to", "old");
  EXPECT_FALSE(FileTools::moveFile(win("from"), win("to"), false, 4096, false));
  EXPECT_EQ(get("from"), "moved");
  EXPECT_EQ(get("to"), "old");
  ASSERT_TRUE(FileTools::moveFile(win("from"), win("to"), true, 4096, false));
  EXPECT_FALSE(fs::exists(root_ / "from"));
  EXPECT_EQ(get("to"), "moved");
  ASSERT_TRUE(FileTools::moveFile(win("to"), win("fresh"), false, 4096, false));
  EXPECT_EQ(get("fresh"), "moved");
  // Onto itself: refused instead of deleting the source.
  EXPECT_FALSE(FileTools::moveFile(win("fresh"), win("fresh"), true, 4096, false));
  EXPECT_EQ(get("fresh"), "moved");
  // A file never replaces a folder that holds something.
  put("full/inner", "x");
  EXPECT_FALSE(FileTools::moveFile(win("fresh"), win("full"), true, 4096, false));
  EXPECT_EQ(get("full/inner"), "x");
  EXPECT_EQ(get("fresh"), "moved");
  EXPECT_FALSE(FileTools::moveFile(win("missing"), win("x"), true, 4096, false));
  EXPECT_FALSE(FileTools::moveFile(win("full"), win("x"), true, 4096, false));
}

TEST_F(FileToolsOperationsTest, MovingReplacesReadOnlyDestinations) {
  put("from", "new");
  put("to", "old");
  makeReadOnly("to");
  ASSERT_TRUE(FileTools::moveFile(win("from"), win("to"), true, 4096, false));
  EXPECT_EQ(get("to"), "new");
  EXPECT_FALSE(fs::exists(root_ / "from"));
  // An empty folder gives way too; a full one never does.
  put("again", "again");
  fs::create_directories(root_ / "empty");
  ASSERT_TRUE(FileTools::moveFile(win("again"), win("empty"), true, 4096, false));
  EXPECT_EQ(get("empty"), "again");
  EXPECT_TRUE(sleeps_.empty());  // nothing had to be retried
}

TEST_F(FileToolsOperationsTest, MovesAcrossRootsByCopying) {
  put("relative.txt", "a\r\nb");
  const fs::path previous = fs::current_path();
  fs::current_path(root_);
  const bool moved =
      FileTools::moveFile("relative.txt", win("absolute.txt"), true, 0, true, record);
  fs::current_path(previous);
  ASSERT_TRUE(moved);
  EXPECT_FALSE(fs::exists(root_ / "relative.txt"));
  EXPECT_EQ(get("absolute.txt"), "a\r\nb");
  EXPECT_EQ(reports, (std::vector<Report>{{win("absolute.txt"), 0, 4, 4}}));
}

TEST_F(FileToolsOperationsTest, CreatesEveryMissingFolder) {
  ASSERT_TRUE(FileTools::createDirectories(win("a\\b\\file.txt")));
  EXPECT_TRUE(fs::is_directory(root_ / "a" / "b"));
  EXPECT_FALSE(fs::exists(root_ / "a" / "b" / "file.txt"));
  ASSERT_TRUE(FileTools::createDirectories("C:/ops/c/./d/"));
  EXPECT_TRUE(fs::is_directory(root_ / "c" / "d"));
  ASSERT_TRUE(FileTools::createDirectories(win("c\\d\\")));  // already there
  put("blocker", "");
  EXPECT_FALSE(FileTools::createDirectories(win("blocker\\x\\")));
  EXPECT_FALSE(fs::is_directory(root_ / "blocker"));
  EXPECT_FALSE(FileTools::createDirectories(""));
  EXPECT_TRUE(FileTools::createDirectories("bare-file.txt"));
  EXPECT_FALSE(fs::exists("bare-file.txt"));
}

}  // namespace
