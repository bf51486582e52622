#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "common/FileScratch.h"
#include "common/FileUtils.h"
#include "support/KillWhileWriting.h"

namespace Vemora {
namespace {

using FileUtilsTest = FileScratch;

TEST(FileUtilsPathTest, PathParts) {
  struct Case {
    std::string path, dir, file, ext;
  };
  const std::vector<Case> cases = {
      {"a\\b\\c.txt", "a\\b\\", "c.txt", "txt"},
      {"a/b.c/d", "a/b.c/", "d", "c/d"},
      {"dir.old\\file", "dir.old\\", "file", "old\\file"},
      {"file", "", "file", ""},
      {"", "", "", ""},
      {"x\\", "x\\", "", ""},
      {"name.", "", "name.", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileUtils::dirName(c.path), c.dir) << c.path;
    EXPECT_EQ(FileUtils::fileName(c.path), c.file) << c.path;
    EXPECT_EQ(FileUtils::extension(c.path), c.ext) << c.path;
  }
  std::string path = "log\\app.txt";
  EXPECT_EQ(FileUtils::cutExtension(path), "txt");
  EXPECT_EQ(path, "log\\app");
  EXPECT_EQ(FileUtils::cutExtension(path), "");
  EXPECT_EQ(path, "log\\app");
  path = "name.";
  EXPECT_EQ(FileUtils::cutExtension(path), "");
  EXPECT_EQ(path, "name.");
}

TEST(FileUtilsPathTest, Separators) {
  const std::vector<std::pair<std::string, std::string>> add = {
      {"", ""}, {"a", "a\\"}, {"a\\", "a\\"}, {"a/", "a/"}};
  for (auto [in, out] : add) {
    FileUtils::addTrailingSeparator(in);
    EXPECT_EQ(in, out);
  }
  const std::vector<std::pair<std::string, std::string>> strip = {
      {"a\\/\\", "a"}, {"\\", "\\"}, {"//", "/"}, {"", ""}, {"a", "a"}};
  for (auto [in, out] : strip) {
    FileUtils::stripTrailingSeparators(in);
    EXPECT_EQ(in, out);
  }
  const std::vector<std::pair<std::string, std::string>> collapse = {{"//srv//a", "/\\srv\\a"},
                                                                     {"a/b\\\\/c/", "a\\b\\c\\"},
                                                                     {"\\", "\\"},
                                                                     {"", ""},
                                                                     {"C:/x//y", "C:\\x\\y"}};
  for (auto [in, out] : collapse) {
    FileUtils::collapseSeparators(in);
    EXPECT_EQ(in, out);
  }
}

TEST(FileUtilsPathTest, NameChecks) {
  EXPECT_TRUE(FileUtils::isValidFileName(""));
  EXPECT_TRUE(FileUtils::isValidFileName("C:\\dir\\file.txt"));
  EXPECT_FALSE(FileUtils::isValidFileName("a*.txt"));
  EXPECT_FALSE(FileUtils::isValidFileName("a?"));
  EXPECT_FALSE(FileUtils::isValidFileName("dir\\"));
  EXPECT_FALSE(FileUtils::isValidFileName("dir/"));
  EXPECT_TRUE(FileUtils::onlyAllowedControls("a\tb\n", "\t\n"));
  EXPECT_FALSE(FileUtils::onlyAllowedControls("a\rb", "\t\n"));
  EXPECT_TRUE(FileUtils::onlyAllowedControls("\xe9\x7f", ""));
}

TEST_F(FileUtilsTest, ListDirectory) {
  put("a.mess", "");
  put("b.MESS", "");
  put("c.txt", "");
  std::filesystem::create_directory(nat("sub.mess"));
  std::set<std::pair<std::string, bool>> seen;
  for (const DirectoryEntry& e : FileUtils::listDirectory(win(), "*"))
    seen.insert({e.name, e.isFile});
  const std::set<std::pair<std::string, bool>> all = {{".", false},     {"..", false},
                                                      {"a.mess", true}, {"b.MESS", true},
                                                      {"c.txt", true},  {"sub.mess", false}};
  EXPECT_EQ(seen, all);
  std::string noSeparator = win();
  noSeparator.pop_back();
  seen.clear();
  for (const DirectoryEntry& e : FileUtils::listDirectoryWrapper(noSeparator, "*.mess")) {
    seen.insert({e.name, e.isFile});
  }
  EXPECT_EQ(seen, (std::set<std::pair<std::string, bool>>{
                      {"a.mess", true}, {"b.MESS", true}, {"sub.mess", false}}));
  EXPECT_TRUE(FileUtils::listDirectory(win("missing"), "*").empty());
  EXPECT_TRUE(FileUtils::listDirectory(win(), "*.zip").empty());
}

TEST_F(FileUtilsTest, ReadWriteAppend) {
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>(i * 7);
  ASSERT_TRUE(FileUtils::writeFile(win("f"), binary));
  std::string back;
  ASSERT_TRUE(FileUtils::readFile(win("f"), back));
  EXPECT_EQ(back, binary);
  EXPECT_EQ(FileUtils::fileSize(win("f")), 5000);

  ASSERT_TRUE(FileUtils::writeFile(win("f"), "short"));
  EXPECT_EQ(get("f"), "short");
  ASSERT_TRUE(FileUtils::appendFile(win("f"), "+more"));
  EXPECT_EQ(get("f"), "short+more");
  ASSERT_TRUE(FileUtils::appendFile(win("new"), "fresh"));
  EXPECT_EQ(get("new"), "fresh");
  ASSERT_TRUE(FileUtils::writeFile(win("empty"), ""));
  ASSERT_TRUE(FileUtils::readFile(win("empty"), back));
  EXPECT_EQ(back, "");
  EXPECT_FALSE(FileUtils::readFile(win("missing"), back));
  EXPECT_EQ(FileUtils::fileSize(win("missing")), 0);
  EXPECT_EQ(FileUtils::modificationTime(win("missing")).seconds(), 0);
  EXPECT_GT(FileUtils::modificationTime(win("f")).seconds(), 0);
  // Only the files themselves are left: no temporary beside them.
  EXPECT_EQ(count(), 3u);
}

TEST_F(FileUtilsTest, WriteFileKeepsPermissionsAndRefusesWhatItMustNotReplace) {
  put("secret", "old");
  std::filesystem::permissions(
      nat("secret"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ASSERT_TRUE(FileUtils::writeFile(win("secret"), "new"));
  EXPECT_EQ(get("secret"), "new");
  EXPECT_EQ(std::filesystem::status(nat("secret")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  put("ro", "keep");
  makeReadOnly("ro");
  EXPECT_FALSE(FileUtils::writeFile(win("ro"), "lost"));
  EXPECT_EQ(get("ro"), "keep");
  std::filesystem::create_directory(nat("dir"));
  EXPECT_FALSE(FileUtils::writeFile(win("dir"), "x"));
  EXPECT_FALSE(FileUtils::writeFile(win("nofolder\\f"), "x"));
  EXPECT_FALSE(FileUtils::writeFile(win(""), "x"));
  EXPECT_EQ(count(), 3u);
}

// Runs `body` in a child process whose files may not grow beyond `limit`
// bytes, which stands in for a full disk; true when the child returned true.
bool withFullDisk(rlim_t limit, const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &rl);
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST_F(FileUtilsTest, WriteFileOnAFullDiskLosesNothing) {
  put("state.txt", "the old state");
  const std::string big(100000, 'n');
  EXPECT_TRUE(withFullDisk(4096, [&] { return !FileUtils::writeFile(win("state.txt"), big); }));
  EXPECT_EQ(get("state.txt"), "the old state");
  EXPECT_TRUE(withFullDisk(4096, [&] { return !FileUtils::writeFile(win("fresh.txt"), big); }));
  EXPECT_FALSE(exists("fresh.txt"));
  EXPECT_EQ(count(), 1u);  // no temporary left behind
}

TEST_F(FileUtilsTest, KilledWriterLeavesOldOrNewFileNeverATornOne) {
  const std::string a(200000, 'a');
  const std::string b(300000, 'b');
  ASSERT_TRUE(FileUtils::writeFile(win("box.txt"), a));
  const std::string path = win("box.txt");
  for (int round = 0; round < 20; ++round) {
    // Killed at a different moment in each round.
    ASSERT_TRUE(vemora_test::killWhileWriting(
        [&](int i) { FileUtils::writeFile(path, i % 2 == 0 ? b : a); },
        static_cast<unsigned>(round * 700)));
    const std::string now = get("box.txt");
    ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
  }
}

TEST_F(FileUtilsTest, DeleteFileWithAndWithoutForce) {
  put("ro", "x");
  makeReadOnly("ro");
  EXPECT_FALSE(FileUtils::deleteFile(win("ro"), false));
  EXPECT_TRUE(exists("ro"));
  EXPECT_TRUE(FileUtils::deleteFile(win("ro"), true));
  EXPECT_FALSE(exists("ro"));
  put("rw", "x");
  EXPECT_TRUE(FileUtils::deleteFile(win("rw"), false));
  EXPECT_FALSE(FileUtils::deleteFile(win("rw"), true));
}

TEST_F(FileUtilsTest, CreatePath) {
  std::string failed;
  EXPECT_TRUE(FileUtils::createPath("", failed));
  EXPECT_TRUE(FileUtils::createPath(win("a\\b\\c\\name"), failed));
  EXPECT_TRUE(std::filesystem::is_directory(nat("a/b/c")));
  EXPECT_FALSE(exists("a/b/c/name"));
  EXPECT_TRUE(FileUtils::createDirectory(win("x/y\\")));
  EXPECT_TRUE(std::filesystem::is_directory(nat("x/y")));
  EXPECT_TRUE(FileUtils::createDirectory(win("a\\b\\c\\other")));  // exists already

  put("file", "");
  failed.clear();
  EXPECT_FALSE(FileUtils::createPath(win("file\\sub\\name"), failed));
  EXPECT_EQ(failed, win("file\\sub"));

  // No progress possible: these end instead of recursing for ever.
  EXPECT_FALSE(FileUtils::createDirectory("name"));
  EXPECT_FALSE(FileUtils::createDirectory("\\"));
  EXPECT_FALSE(FileUtils::createDirectory("/"));
  EXPECT_TRUE(FileUtils::createDirectory("C:\\"));
  EXPECT_FALSE(FileUtils::createDirectory("D:\\x\\y"));
}

TEST_F(FileUtilsTest, RemoveDirectoryTrees) {
  std::filesystem::create_directories(nat("tree/a/b"));
  std::filesystem::create_directories(nat("outside/inner"));
  put("outside/keep.txt", "keep");
  put("tree/top.txt", "");
  put("tree/a/b/deep.txt", "");
  put("tree/a/ro.txt", "");
  makeReadOnly("tree/a/ro.txt");
  std::filesystem::create_directory_symlink(nat("outside"), nat("tree/a/link"));

  EXPECT_FALSE(FileUtils::removeDirectory(win("tree"), true, false));  // not empty
  EXPECT_FALSE(FileUtils::removeDirectory(win("tree"), false, true));  // a read-only file stays
  EXPECT_TRUE(exists("tree/a/ro.txt"));
  EXPECT_FALSE(exists("tree/top.txt"));
  EXPECT_TRUE(FileUtils::removeDirectory(win("tree\\"), true, true));
  EXPECT_FALSE(exists("tree"));
  EXPECT_EQ(get("outside/keep.txt"), "keep");
  EXPECT_TRUE(exists("outside/inner"));

  // A link given as the folder itself is removed, its target untouched.
  std::filesystem::create_directory_symlink(nat("outside"), nat("alias"));
  EXPECT_TRUE(FileUtils::removeDirectory(win("alias"), true, true));
  EXPECT_FALSE(exists("alias"));
  EXPECT_EQ(get("outside/keep.txt"), "keep");

  std::filesystem::create_directory(nat("ro"));
  makeReadOnly("ro");
  EXPECT_FALSE(FileUtils::removeDirectory(win("ro"), false, false));
  EXPECT_TRUE(FileUtils::removeDirectory(win("ro"), true, false));
  EXPECT_FALSE(FileUtils::removeDirectory(win("missing"), true, true));
  put("plain", "");
  EXPECT_FALSE(FileUtils::removeDirectory(win("plain"), true, true));
}

TEST_F(FileUtilsTest, MoveAndCopy) {
  put("a", "A");
  EXPECT_TRUE(FileUtils::copy(win("a"), win("b"), false));
  EXPECT_FALSE(FileUtils::copy(win("a"), win("b"), false));
  EXPECT_TRUE(FileUtils::move(win("b"), win("c"), false));
  EXPECT_EQ(get("c"), "A");
  EXPECT_FALSE(exists("b"));
}

}  // namespace
}  // namespace Vemora
