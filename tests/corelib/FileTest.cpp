#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "corelib/BasicFile.h"
#include "corelib/File.h"
#include "corelib/FileTools.h"
#include "corelib/ZFile.h"

namespace {

namespace fs = std::filesystem;
using VemoraCorelib::BasicFile;
using VemoraCorelib::File;
using VemoraCorelib::ZFile;
namespace FileTools = VemoraCorelib::FileTools;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    root_ = fs::path(drive) / "files";
    fs::create_directories(root_);
  }
  void put(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  std::string get(const std::string& name) {
    std::ifstream in(root_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static std::string windows(const std::string& name) { return "C:\\files\\" + name; }
  fs::path root_;
};

TEST(FileKindTest, GzipByTheLastExtensionInAnyCase) {
  const struct {
    const char* name;
    File::Kind kind;
  } cases[] = {
      {"a.GZ", File::Gzip},     {"x.tar.gz", File::Gzip},  {"C:\\d\\f.Gz", File::Gzip},
      {"gz", File::Plain},      {"a.gzip", File::Plain},   {"a", File::Plain},
      {"d.gz\\f", File::Plain}, {"a.gz.txt", File::Plain}, {"", File::Plain},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(File::kindOf(c.name), c.kind) << c.name;
    EXPECT_EQ(File(c.name).kind(), c.kind) << c.name;
    EXPECT_EQ(File(c.name).name(), c.name);
  }
}

TEST_F(FileTest, PlainLinesDropCarriageReturnsAndCountLineFeeds) {
  put("crlf.txt", "a\r\nb");
  BasicFile file(windows("crlf.txt"));
  ASSERT_TRUE(file.openRead());
  EXPECT_EQ(file.line(), 1);
  std::string line;
  ASSERT_TRUE(file.readLine(line, '\n'));
  EXPECT_EQ(line, "a");
  ASSERT_TRUE(file.readLine(line, '\n'));
  EXPECT_EQ(line, "b");
  EXPECT_EQ(file.lineAtReadStart(), 2);
  EXPECT_FALSE(file.readLine(line, '\n'));
  EXPECT_EQ(file.line(), 2);
  EXPECT_TRUE(file.eof());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(file.line(), 0);
}

TEST_F(FileTest, PlainLinesWithOtherDelimiters) {
  const struct {
    std::string bytes;
    char delimiter;
    std::vector<std::string> lines;
  } cases[] = {
      {"a;b;;c", ';', {"a", "b", "", "c"}},
      {"a\n\nb\n", '\n', {"a", "", "b"}},
      {"x\ny", ';', {"x\ny"}},
      {"", '\n', {}},
  };
  for (const auto& c : cases) {
    put("delim.txt", c.bytes);
    File file(windows("delim.txt"));
    ASSERT_TRUE(file.openRead());
    std::vector<std::string> lines;
    std::string line;
    while (file.readLine(line, c.delimiter)) lines.push_back(line);
    EXPECT_EQ(lines, c.lines) << c.bytes;
  }
}

TEST_F(FileTest, GzipRoundTripKeepsCarriageReturns) {
  {
    File file(windows("t.gz"));
    ASSERT_TRUE(file.openWrite());
    EXPECT_TRUE(file.isWriting());
    EXPECT_FALSE(file.isReading());
    EXPECT_TRUE(file.write(std::string("a\r\nb")));
    EXPECT_TRUE(file.close());
  }
  const std::string stored = get("t.gz");
  ASSERT_GE(stored.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(stored[0]), 0x1F);
  EXPECT_EQ(static_cast<unsigned char>(stored[1]), 0x8B);

  ZFile file(windows("t.gz"));
  ASSERT_TRUE(file.openRead());
  std::string line;
  ASSERT_TRUE(file.readLine(line, '\n'));
  EXPECT_EQ(line, "a\r");
  ASSERT_TRUE(file.readLine(line, '\n'));
  EXPECT_EQ(line, "b");
  EXPECT_EQ(file.line(), 2);
  EXPECT_EQ(file.byteCount(), 4u);
  EXPECT_FALSE(file.readLine(line, '\n'));
  EXPECT_TRUE(file.eof());
}

TEST_F(FileTest, GzipRefusesWideTextAndReadsWhileWriting) {
  File file(windows("w.gz"));
  ASSERT_TRUE(file.openWrite());
  std::string line;
  std::wstring wide;
  EXPECT_FALSE(file.readLine(line, '\n'));
  EXPECT_FALSE(file.readLine(wide, L'\n'));
  EXPECT_FALSE(file.write(std::wstring(L"x")));
  EXPECT_TRUE(file.write(std::string("x")));
}

TEST_F(FileTest, WideUnitsAreStoredLowByteFirst) {
  {
    File file(windows("wide.txt"));
    ASSERT_TRUE(file.openWrite());
    EXPECT_TRUE(file.write(std::wstring(L"A")));
    EXPECT_TRUE(file.write(std::wstring(1, static_cast<wchar_t>(0x263A))));
  }
  EXPECT_EQ(get("wide.txt"), std::string("\x41\x00\x3A\x26", 4));
}

TEST_F(FileTest, WideLinesDropByteOrderMarksAndCarriageReturns) {
  const struct {
    std::string bytes;
    std::vector<std::wstring> lines;
  } cases[] = {
      // A wide read is true also when the file ends first, so a last LF
      // is followed by one empty line.
      {std::string("\xFF\xFE\x41\x00\x0D\x00\x0A\x00", 8), {L"A", L""}},
      {std::string("\x41\x00\x0A\x00\xFF\xFE\x42\x00", 8), {L"A", L"B"}},
      {std::string("\x3A\x26\x0A\x00", 4), {std::wstring(1, static_cast<wchar_t>(0x263A)), L""}},
      {std::string("\x41\x00\x42", 3), {L"A"}},  // an odd last byte is no unit
  };
  for (const auto& c : cases) {
    put("wide-in.txt", c.bytes);
    File file(windows("wide-in.txt"));
    ASSERT_TRUE(file.openRead());
    std::vector<std::wstring> lines;
    std::wstring line;
    while (file.readLine(line, L'\n')) lines.push_back(line);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST_F(FileTest, OpenAndCloseStates) {
  put("state.txt", "x");
  for (const std::string name : {"state.txt", "state.gz"}) {
    File file(windows(name));
    EXPECT_FALSE(file.close()) << name;
    EXPECT_TRUE(file.eof()) << name;
    ASSERT_TRUE(name == "state.gz" ? file.openWrite() : file.openRead()) << name;
    EXPECT_FALSE(file.openRead()) << name;
    EXPECT_FALSE(file.openWrite()) << name;
    EXPECT_TRUE(file.close()) << name;
    EXPECT_FALSE(file.isReading()) << name;
    EXPECT_FALSE(file.isWriting()) << name;
    EXPECT_FALSE(file.close()) << name;
  }
}

TEST_F(FileTest, MissingFilesAndFoldersDoNotOpen) {
  fs::create_directories(root_ / "folder.gz");
  fs::create_directories(root_ / "folder");
  for (const std::string name : {"missing.txt", "missing.gz", "folder.gz", "folder"}) {
    File file(windows(name));
    EXPECT_FALSE(file.openRead()) << name;
    EXPECT_FALSE(file.isReading()) << name;
    std::string line;
    EXPECT_FALSE(file.readLine(line, '\n')) << name;
  }
  EXPECT_FALSE(File("C:\\files\\no-such-folder\\x.txt").openWrite());
  EXPECT_FALSE(File("C:\\files\\no-such-folder\\x.gz").openWrite());
}

TEST_F(FileTest, DestructorClosesAndFlushes) {
  {
    File plain(windows("kept.txt"));
    ASSERT_TRUE(plain.openWrite());
    ASSERT_TRUE(plain.write(std::string("plain\r\n")));
    File gzip(windows("kept.gz"));
    ASSERT_TRUE(gzip.openWrite());
    ASSERT_TRUE(gzip.write(std::string("packed")));
  }
  EXPECT_EQ(get("kept.txt"), "plain\r\n");
  File gzip(windows("kept.gz"));
  ASSERT_TRUE(gzip.openRead());
  std::string line;
  ASSERT_TRUE(gzip.readLine(line, '\n'));
  EXPECT_EQ(line, "packed");
}

TEST_F(FileTest, ByteReadsFollowTheCarriageReturnSwitch) {
  put("bytes.txt", "a\rb\r");
  for (const bool skip : {true, false}) {
    FileTools::skipCarriageReturns = skip;
    std::FILE* file = FileTools::openForRead(windows("bytes.txt"));
    ASSERT_NE(file, nullptr);
    std::string out;
    EXPECT_TRUE(FileTools::readBytes(file, out, 10));
    EXPECT_EQ(out, skip ? "ab" : "a\rb\r");
    EXPECT_FALSE(FileTools::readBytes(file, out, 10));
    EXPECT_EQ(out, "");
    std::fclose(file);
  }
  FileTools::skipCarriageReturns = true;
}

TEST_F(FileTest, ReadBytesStopsAtTheCount) {
  put("count.txt", "abcde");
  std::FILE* file = FileTools::openForRead(std::wstring(L"C:\\files\\count.txt"));
  ASSERT_NE(file, nullptr);
  std::string out;
  ASSERT_TRUE(FileTools::readBytes(file, out, 3));
  EXPECT_EQ(out, "abc");
  ASSERT_TRUE(FileTools::readBytes(file, out, 3));
  EXPECT_EQ(out, "de");
  std::fclose(file);
}

TEST_F(FileTest, PrimitivesRefuseNullStreamsAndEmptyNames) {
  char byte;
  wchar_t unit;
  std::string out;
  EXPECT_FALSE(FileTools::readByte(nullptr, byte));
  EXPECT_FALSE(FileTools::readBytes(nullptr, out, 1));
  EXPECT_FALSE(FileTools::readUnit16(nullptr, unit));
  EXPECT_FALSE(FileTools::writeUnit16(nullptr, L'a'));
  EXPECT_FALSE(FileTools::writeText(nullptr, std::string("a")));
  EXPECT_FALSE(FileTools::writeText(nullptr, std::wstring(L"a")));
  EXPECT_EQ(FileTools::openForRead(std::string()), nullptr);
  EXPECT_EQ(FileTools::openForWrite(std::wstring()), nullptr);
  // A wide name unit without a byte form names no file.
  EXPECT_EQ(FileTools::openForWrite(std::wstring(L"C:\\files\\") + static_cast<wchar_t>(0x263A)),
            nullptr);
}

TEST_F(FileTest, DirectionChangesOnOneStream) {
  const std::string native = (root_ / "both.txt").string();
  std::FILE* file = std::fopen(native.c_str(), "w+b");
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(FileTools::writeText(file, std::string("ab")));
  std::rewind(file);
  char byte;
  ASSERT_TRUE(FileTools::readByte(file, byte));
  EXPECT_EQ(byte, 'a');
  ASSERT_TRUE(FileTools::writeText(file, std::string("X")));
  EXPECT_FALSE(FileTools::readByte(file, byte));  // at the end after the write
  std::fclose(file);
  EXPECT_EQ(get("both.txt"), "aX");
}

}  // namespace
