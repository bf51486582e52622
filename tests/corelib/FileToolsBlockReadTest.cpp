// The whole-file and whole-stream reads go in large blocks; they must give
// exactly what the byte reader gives, across block boundaries, after bytes
// read one by one and from streams that cannot seek.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "corelib/FileTools.h"

namespace {

namespace fs = std::filesystem;
namespace FileTools = VemoraCorelib::FileTools;

class FileToolsBlockReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    root_ = fs::path(drive) / "blockread";
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  // What the byte reader delivers for `name`.
  std::string byByte(const std::string& name) {
    std::FILE* file = FileTools::openForRead(windows(name));
    std::string out;
    char byte;
    while (FileTools::readByte(file, byte)) out += byte;
    std::fclose(file);
    return out;
  }
  static std::string windows(const std::string& name) { return "C:\\blockread\\" + name; }
  fs::path root_;
};

// Text with CR bytes everywhere a block of the reader may end: alone, in
// pairs, before LF and at the very start and end.
std::string crowdedWithCarriageReturns(size_t size) {
  std::string bytes = "\r";
  for (size_t i = 0; bytes.size() < size; ++i) {
    bytes += static_cast<char>('a' + i % 26);
    if (i % 7 == 0) bytes += "\r\n";
    if (i % 11 == 0) bytes += "\r\r";
    if (i % 4093 == 0) bytes += std::string(1000, '\r');
  }
  return bytes + "\r";
}

TEST_F(FileToolsBlockReadTest, GivesWhatTheByteReaderGives) {
  for (size_t size :
       {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(65537), size_t(700000)}) {
    const std::string name = "crowded" + std::to_string(size);
    write(name, crowdedWithCarriageReturns(size));
    std::string out = "previous";
    ASSERT_TRUE(FileTools::readFile(windows(name), out)) << size;
    EXPECT_EQ(out, byByte(name)) << size;
    EXPECT_EQ(out.find('\r'), std::string::npos) << size;
  }
  write("only-cr", std::string(200000, '\r'));
  std::string out = "previous";
  EXPECT_TRUE(FileTools::readFile(windows("only-cr"), out));
  EXPECT_EQ(out, "");
}

TEST_F(FileToolsBlockReadTest, KeepsCarriageReturnsWhileTheSwitchIsOff) {
  const std::string bytes = crowdedWithCarriageReturns(150000);
  write("kept", bytes);
  FileTools::skipCarriageReturns = false;
  std::string out;
  const bool read = FileTools::readFile(windows("kept"), out);
  FileTools::skipCarriageReturns = true;
  EXPECT_TRUE(read);
  EXPECT_EQ(out, bytes);
}

TEST_F(FileToolsBlockReadTest, ContinuesWhereTheByteReaderStopped) {
  write("mixed", "x\r\ny" + std::string(100000, 'z') + "\r\nend");
  std::FILE* file = FileTools::openForRead(windows("mixed"));
  ASSERT_NE(file, nullptr);
  std::string out;
  ASSERT_TRUE(FileTools::readBytes(file, out, 2));
  EXPECT_EQ(out, "x\n");
  FileTools::readToEnd(file, out);
  std::fclose(file);
  EXPECT_EQ(out, "x\ny" + std::string(100000, 'z') + "\nend");
  FileTools::readToEnd(nullptr, out);  // a null stream adds nothing
  EXPECT_EQ(out.size(), 100007u);
}

TEST_F(FileToolsBlockReadTest, ReadsAStreamThatCannotSeek) {
  const std::string fifo = (root_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes = crowdedWithCarriageReturns(300000);
  std::thread writer([&] {
    std::ofstream(fifo, std::ios::binary) << bytes;  // opens once the reader does
  });
  std::string out;
  const bool read = FileTools::readFile(windows("fifo"), out);
  writer.join();
  EXPECT_TRUE(read);
  std::string expected = bytes;
  std::erase(expected, '\r');
  EXPECT_EQ(out, expected);
}

}  // namespace
