#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "corelib/FileTools.h"

namespace {

namespace fs = std::filesystem;
namespace FileTools = VemoraCorelib::FileTools;
constexpr std::size_t npos = std::string::npos;

class FileToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    root_ = fs::path(drive) / "filetools";
    fs::create_directories(root_);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  fs::path root_;
};

TEST_F(FileToolsTest, ReadFileDropsCarriageReturns) {
  const struct {
    const char* name;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"crlf.txt", "a\r\nb", "a\nb"},
      {"empty.txt", "", ""},
      {"binary.bin", std::string("\0\xFF\r\r\x80z", 6), std::string("\0\xFF\x80z", 4)},
      {"only-cr.txt", "\r\r\r", ""},
  };
  for (const auto& c : cases) {
    write(c.name, c.bytes);
    std::string out = "previous";
    EXPECT_TRUE(VemoraCorelib::FileTools::readFile("C:\\filetools\\" + std::string(c.name), out));
    EXPECT_EQ(out, c.text) << c.name;
  }
}

TEST_F(FileToolsTest, AcceptsForwardSlashes) {
  write("slash.txt", "x");
  std::string out;
  EXPECT_TRUE(VemoraCorelib::FileTools::readFile("C:/filetools/slash.txt", out));
  EXPECT_EQ(out, "x");
}

TEST_F(FileToolsTest, FailureLeavesTheOutputUnchanged) {
  for (const char* path : {"C:\\filetools\\missing.txt", "C:\\filetools", "", "Q:\\x.txt"}) {
    std::string out = "unchanged";
    EXPECT_FALSE(VemoraCorelib::FileTools::readFile(path, out)) << path;
    EXPECT_EQ(out, "unchanged") << path;
  }
}

TEST_F(FileToolsTest, LargeFileIsReadWhole) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>('a' + i % 26);
  write("large.txt", bytes);
  std::string out;
  ASSERT_TRUE(VemoraCorelib::FileTools::readFile("C:\\filetools\\large.txt", out));
  EXPECT_EQ(out, bytes);
}

TEST_F(FileToolsTest, ReadFileKeepsCarriageReturnsWhileTheSwitchIsOff) {
  write("kept-cr.txt", "a\r\nb");
  FileTools::skipCarriageReturns = false;
  std::string out;
  const bool read = FileTools::readFile("C:\\filetools\\kept-cr.txt", out);
  FileTools::skipCarriageReturns = true;
  EXPECT_TRUE(read);
  EXPECT_EQ(out, "a\r\nb");
}

TEST(FileToolsTextTest, CaseAndSeparators) {
  EXPECT_EQ(FileTools::toLowerCopy("AbC\\D.TXT"), "abc\\d.txt");
  EXPECT_EQ(FileTools::compareNoCase("ABC", "abc"), 0);
  EXPECT_LT(FileTools::compareNoCase("abc", "ABD"), 0);
  EXPECT_GT(FileTools::compareNoCase("b", "A"), 0);
  EXPECT_EQ(FileTools::separator(), "\\");
  const struct {
    std::string path, backslashes, added, stripped;
  } cases[] = {
      {"a/b", "a\\b", "a/b\\", "a\\b"}, {"a/b//", "a\\b\\\\", "a/b//", "a\\b"},
      {"\\\\", "\\\\", "\\\\", ""},     {"", "", "", ""},
      {"C:\\", "C:\\", "C:\\", "C:"},   {"x/", "x\\", "x/", "x"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(FileTools::toBackslashes(path), c.backslashes) << c.path;
    path = c.path;
    EXPECT_EQ(FileTools::addTrailingSeparator(path), c.added) << c.path;
    path = c.path;
    EXPECT_EQ(FileTools::stripTrailingSeparators(path), c.stripped) << c.path;
    EXPECT_EQ(path, c.stripped);
  }
}

TEST(FileToolsShapeTest, AbsolutePaths) {
  for (const char* path : {"C:\\x", "C:x", "\\\\srv\\share", "C:", "ab:\\x"}) {
    EXPECT_TRUE(FileTools::isAbsolute(path)) << path;
  }
  for (const char* path : {"\\x", "x", "\\\\srv", "", ":x", "a\\b"}) {
    EXPECT_FALSE(FileTools::isAbsolute(path)) << path;
  }
}

TEST(FileToolsShapeTest, Extensions) {
  const struct {
    const char* path;
    std::size_t start, end;
    const char* extension;
  } cases[] = {
      {"arch.tar.gz", 9, 11, "gz"}, {"a.b\\c", npos, npos, ""}, {"file.", 5, 5, ""},
      {"a", npos, 1, ""},           {"d\\f", npos, 3, ""},      {"d.x\\f.txt", 6, 9, "txt"},
      {".hidden", 1, 7, "hidden"},  {"", npos, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileTools::extensionStart(c.path), c.start) << c.path;
    EXPECT_EQ(FileTools::extensionEnd(c.path), c.end) << c.path;
    EXPECT_EQ(FileTools::extension(c.path), c.extension) << c.path;
  }
  EXPECT_TRUE(FileTools::isShortcut("C:\\d\\x.LNK"));
  EXPECT_TRUE(FileTools::isShortcut("x.lnk"));
  EXPECT_FALSE(FileTools::isShortcut("x.lnk.txt"));
  EXPECT_FALSE(FileTools::isShortcut("lnk"));
}

TEST(FileToolsShapeTest, RootsAndFolderParts) {
  const struct {
    const char* path;
    std::size_t rootStart, rootEnd, directoryStart;
    const char* root;
    const char* directoryPart;
  } cases[] = {
      {"C:\\dir\\f.txt", 0, 2, 3, "C:", "dir"},
      {"C:\\a\\b\\f.txt", 0, 2, 3, "C:", "a\\b"},
      {"C:\\f.txt", 0, 2, 3, "C:", ""},
      {"\\\\srv\\share\\f", 0, 5, 6, "\\\\srv", "share"},
      {"\\\\srv\\share\\d\\f", 0, 5, 6, "\\\\srv", "share\\d"},
      {"a\\b\\f", npos, npos, 0, "", "a\\b"},
      {"dir\\f", npos, npos, 0, "", "dir"},
      {"C:", npos, npos, npos, "", ""},
      {"C:\\", 0, 2, 3, "C:", ""},
      {"f.txt", npos, npos, npos, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileTools::rootStart(c.path), c.rootStart) << c.path;
    EXPECT_EQ(FileTools::rootEnd(c.path), c.rootEnd) << c.path;
    EXPECT_EQ(FileTools::directoryStart(c.path), c.directoryStart) << c.path;
    EXPECT_EQ(FileTools::root(c.path), c.root) << c.path;
    EXPECT_EQ(FileTools::directoryPart(c.path), c.directoryPart) << c.path;
  }
  EXPECT_EQ(FileTools::directoryPart("C:/a/b/f.txt"), "a\\b");
}

TEST(FileToolsShapeTest, ParentFolders) {
  const struct {
    const char* path;
    const char* parent;
  } cases[] = {
      {"C:\\a\\b", "C:\\a"}, {"C:\\a\\", "C:"}, {"C:\\a", "C:"}, {"a", ""},
      {"C:/a/b/", "C:\\a"},  {"\\", ""},        {"a\\", ""},     {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileTools::parentDirectory(c.path), c.parent) << c.path;
}

TEST(FileToolsFormTest, ExpandsEnvironmentReferencesAndSpecialPaths) {
  setenv("VEMORA_FT_TEMP", "C:\\temp", 1);
  setenv("VEMORA_FT_A", "aa", 1);
  setenv("VEMORA_FT_B", "bb", 1);
  setenv("VEMORA_FT_EMPTY", "", 1);
  setenv("VEMORA_FT_PERCENT", "%VEMORA_FT_A%", 1);
  unsetenv("VEMORA_FT_UNSET");
  const struct {
    const char* path;
    const char* expanded;
  } cases[] = {
      {"%VEMORA_FT_TEMP%\\x", "C:\\temp\\x"},
      {"%VEMORA_FT_UNSET%\\x", "%VEMORA_FT_UNSET%\\x"},
      {"50%", "50%"},
      {"%VEMORA_FT_A%%VEMORA_FT_B%", "aabb"},
      {"%VEMORA_FT_UNSET%VEMORA_FT_A%", "%VEMORA_FT_UNSET%VEMORA_FT_A%"},
      {"x%VEMORA_FT_EMPTY%y", "xy"},
      {"%%x", "%%x"},
      {"%VEMORA_FT_PERCENT%", "%VEMORA_FT_A%"},
      {"$VEMORA_FT_A\\x", "aa\\x"},
      {"$VEMORA_FT_A", "$VEMORA_FT_A"},
      {"$VEMORA_FT_UNSET\\$VEMORA_FT_B\\", "$VEMORA_FT_UNSET\\bb\\"},
      {"/$VEMORA_FT_A/x", "\\aa\\x"},
      {"\\systemroot", "C:\\Windows"},
      {"\\SystemRoot", "C:\\Windows"},
      {"/SYSTEMROOT", "C:\\Windows"},
      {"\\systemroot\\x", "\\systemroot\\x"},
      {"\\c:", "C:"},
      {"\\C:", "C:"},
      {"\\??", ""},
      {"\\??\\x", "\\??\\x"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(FileTools::expandPath(path), c.expanded) << c.path;
  }
}

TEST(FileToolsFormTest, Normalizes) {
  const struct {
    const char* path;
    const char* normalized;
  } cases[] = {
      {"a\\.\\b\\..\\c\\", "a\\c\\"},
      {"..\\..\\a", "..\\..\\a"},
      {"/x/y", "\\x\\y"},
      {"a\\\\\\b", "a\\b"},
      {"\\\\srv\\share\\..\\d", "\\\\srv\\d"},
      {"C:\\..\\x", "x"},
      {"C:\\..", ""},
      {"a\\b\\..\\c\\..\\..", ""},
      {"..\\.\\..\\..", "..\\..\\.."},
      {"a\\..\\..\\b", "..\\b"},
      {"\\", "\\"},
      {"", ""},
      {"C:\\w\\.\\f.txt", "C:\\w\\f.txt"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(FileTools::normalizePath(path), c.normalized) << c.path;
  }
}

TEST(FileToolsFormTest, MakesAbsolute) {
  const struct {
    const char* path;
    const char* base;
    const char* result;
  } cases[] = {
      {"a\\..\\b", "C:\\w", "C:\\w\\b"},
      {"D:\\x\\..\\y", "C:\\w", "D:\\x\\..\\y"},
      {"f", "C:/w/", "C:\\w\\f"},
      {"D:/x", "C:\\w", "D:\\x"},
      {"x", "", "x"},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(FileTools::makeAbsolute(path, c.base), c.result) << c.path;
  }
}

TEST_F(FileToolsTest, LongAndResolvedPaths) {
  write("long.txt", "x");
  setenv("VEMORA_FT_DIR", "C:\\filetools", 1);
  const struct {
    const char* path;
    const char* longForm;
  } cases[] = {
      {"C:\\filetools\\long.txt", "C:\\filetools\\long.txt"},
      {"C:/filetools/missing.txt", "C:\\filetools\\missing.txt"},
      {"\\\\srv\\share", "\\\\srv\\share"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(FileTools::longPath(path), c.longForm) << c.path;
  }
  std::string path = "%VEMORA_FT_DIR%/sub/../long.txt";
  EXPECT_EQ(FileTools::resolvePath(path), "C:\\filetools\\long.txt");
}

TEST_F(FileToolsTest, Queries) {
  write("five.txt", "12345");
  write("empty.txt", "");
  fs::create_directories(root_ / "sub");
  const struct {
    const char* path;
    bool exists, isDirectory;
    uint64_t size;
  } cases[] = {
      {"C:\\filetools\\five.txt", true, false, 5},
      {"C:/filetools/five.txt", true, false, 5},
      {"C:\\filetools\\empty.txt", true, false, 0},
      {"C:\\filetools\\sub", true, true, 0},
      {"C:\\filetools\\sub\\", true, true, 0},
      {"C:\\filetools\\missing", false, false, 0},
      {"C:", true, true, 0},
      {"C:\\", true, true, 0},
      {"Q:\\x", false, false, 0},
      {"", false, false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileTools::exists(c.path), c.exists) << c.path;
    EXPECT_EQ(FileTools::isDirectory(c.path), c.isDirectory) << c.path;
    EXPECT_EQ(FileTools::fileSize(c.path), c.size) << c.path;
  }
}

TEST_F(FileToolsTest, CurrentFolder) {
  const fs::path previous = fs::current_path();
  fs::current_path(root_);
  const std::string current = FileTools::currentDirectory();
  fs::current_path(previous);
  EXPECT_EQ(current, "C:\\filetools");
}

}  // namespace
