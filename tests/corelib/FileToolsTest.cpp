#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "corelib/FileTools.h"

namespace {

namespace fs = std::filesystem;

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

}  // namespace
