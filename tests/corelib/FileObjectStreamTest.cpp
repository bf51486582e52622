#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "corelib/Exception.h"
#include "corelib/Failure.h"
#include "corelib/FileObjectStream.h"
#include "corelib/TypedValue.h"

namespace {

namespace fs = std::filesystem;
using VemoraCorelib::DualString;
using VemoraCorelib::Exception;
using VemoraCorelib::FileObjectStream;
using VemoraCorelib::ObjectStream;
using VemoraCorelib::TypedValue;

const std::string kText = "cfg\n{\n\tport(int32)=80\n\tsub\n\t{\n\t\ton(bool)=1\n\t}\n}\n";

using corelib_test::failure;

class FileObjectStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* drive = std::getenv("VEMORA_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = "fos\\" + test;
    root_ = fs::path(drive) / "fos" / test;
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  // The Windows-form name of a file in the test's folder.
  std::string name(const std::string& file) const { return "C:\\" + folder_ + "\\" + file; }
  fs::path native(const std::string& file) const { return root_ / file; }
  void put(const std::string& file, const std::string& bytes) const {
    std::ofstream(native(file), std::ios::binary) << bytes;
  }
  std::string get(const std::string& file) const {
    std::ifstream in(native(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Writes the tree of kText.
  static void writeTree(FileObjectStream& stream) {
    stream.beginObject("cfg");
    stream.setAttribute("port", TypedValue(int32_t{80}));
    stream.beginObject("sub");
    stream.setAttribute("on", TypedValue(true));
    stream.endObject();
    stream.endObject();
  }
  static void expectTree(FileObjectStream& stream) {
    ASSERT_EQ(stream.childNames(), std::set<DualString>{"cfg"});
    stream.enterObject("cfg");
    EXPECT_EQ(stream.readAttribute("port").text, "80");
    stream.enterObject("sub");
    EXPECT_EQ(stream.readAttribute("on").displayText(), "true");
  }

  std::string folder_;
  fs::path root_;
};

TEST_F(FileObjectStreamTest, TheSideFileReplacesTheFinalFileOnlyAtClose) {
  put("a.txt", "old contents");
  FileObjectStream stream;
  stream.openOut(name("a.txt"));
  writeTree(stream);
  stream.endObject();  // saves into the side file
  EXPECT_EQ(stream.state(), ObjectStream::kReadable);
  EXPECT_EQ(get("a.txt"), "old contents");
  EXPECT_TRUE(fs::exists(native("a.txt.saving")));
  stream.close();
  EXPECT_FALSE(stream.isOpen());
  EXPECT_EQ(get("a.txt"), kText);
  EXPECT_FALSE(fs::exists(native("a.txt.saving")));

  FileObjectStream reader;
  reader.openIn(name("a.txt"));
  EXPECT_EQ(reader.state(), ObjectStream::kReadable);
  expectTree(reader);
  reader.close();
}

TEST_F(FileObjectStreamTest, AReadOnlyFinalFileIsReplaced) {
  put("a.txt", "old contents");
  fs::permissions(native("a.txt"), fs::perms::owner_read, fs::perm_options::replace);
  FileObjectStream stream;
  stream.openOut(name("a.txt"));
  writeTree(stream);
  stream.endObject();
  EXPECT_EQ(failure([&] { stream.close(); }), "");
  EXPECT_EQ(get("a.txt"), kText);
  EXPECT_FALSE(fs::exists(native("a.txt.saving")));
}

TEST_F(FileObjectStreamTest, OpenFailuresNameTheFileAndLeaveTheStreamReusable) {
  FileObjectStream stream;
  std::string text;
  EXPECT_EQ(failure([&] { stream.openOut(name("missing\\a.txt")); }, &text), "OpenOut_Failed");
  EXPECT_EQ(text, " Could not open \"" + name("missing\\a.txt") + "\" for writing");
  EXPECT_EQ(failure([&] { stream.openIn(name("none.txt")); }, &text), "OpenIn_Failed");
  EXPECT_EQ(text, " Could not open \"" + name("none.txt") + "\" for reading");
  EXPECT_FALSE(stream.isOpen());
  stream.openOut(name("b.txt"));
  EXPECT_TRUE(stream.isOpen());
}

TEST_F(FileObjectStreamTest, OpeningTwiceFailsInBothDirections) {
  put("r.txt", kText);
  FileObjectStream writer;
  writer.openOut(name("w.txt"));
  EXPECT_EQ(failure([&] { writer.openOut(name("x.txt")); }), "OpenOut_AlreadyOpen");
  EXPECT_EQ(failure([&] { writer.openIn(name("r.txt")); }), "OpenOut_AlreadyOpen");
  FileObjectStream reader;
  reader.openIn(name("r.txt"));
  EXPECT_EQ(failure([&] { reader.openIn(name("r.txt")); }), "OpenOut_AlreadyOpen");
  EXPECT_EQ(failure([&] { reader.openOut(name("x.txt")); }), "OpenOut_AlreadyOpen");
}

TEST_F(FileObjectStreamTest, MisuseWithoutOrWithTheWrongFile) {
  FileObjectStream stream;
  EXPECT_EQ(failure([&] { stream.close(); }), "Close_NotOpen");
  EXPECT_EQ(failure([&] { stream.save(); }), "Save_HaveNoFile");
  EXPECT_EQ(failure([&] { stream.load(); }), "Load_HaveNoFile");
  stream.openOut(name("w.txt"));
  EXPECT_EQ(failure([&] { stream.load(); }), "Load_FileNotOpenForReading");
  put("r.txt", kText);
  FileObjectStream reader;
  reader.openIn(name("r.txt"));
  EXPECT_EQ(failure([&] { reader.save(); }), "Save_FileNotOpenForWriting");
}

TEST_F(FileObjectStreamTest, ASyntaxErrorPassesThroughAndTheFileStaysHeld) {
  put("bad.txt", "# head\ncfg\n{\n\tport=80\n}\n");
  FileObjectStream stream;
  std::string text;
  EXPECT_EQ(failure([&] { stream.openIn(name("bad.txt")); }, &text),
            "Parse_MissingOpenParenthesis");
  EXPECT_EQ(text, " Missing '(' in line 4");
  EXPECT_TRUE(stream.isOpen());
  stream.close();
  EXPECT_EQ(get("bad.txt"), "# head\ncfg\n{\n\tport=80\n}\n");
}

TEST_F(FileObjectStreamTest, EmptyAndCommentOnlyFilesHoldNoObjects) {
  put("empty.txt", "");
  put("comments.txt", "# one\n\n   \n# two");
  for (const char* file : {"empty.txt", "comments.txt"}) {
    FileObjectStream stream;
    stream.openIn(name(file));
    EXPECT_EQ(stream.state(), ObjectStream::kReadable);
    EXPECT_TRUE(stream.childNames().empty()) << file;
  }
}

TEST_F(FileObjectStreamTest, LineEndsAndTrailingBlanks) {
  std::string crlf;
  for (char c : kText) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  put("crlf.txt", crlf);
  FileObjectStream stream;
  stream.openIn(name("crlf.txt"));
  expectTree(stream);

  // A last line without LF is read; its trailing blanks do not count.
  put("tail.txt", "a\n{\n\tv(string)=x \t\n}");
  FileObjectStream tail;
  tail.openIn(name("tail.txt"));
  tail.enterObject("a");
  EXPECT_EQ(tail.readAttribute("v").text, "x");

  put("short.txt", "a\n{\n  \t");
  FileObjectStream truncated;
  std::string text;
  EXPECT_EQ(failure([&] { truncated.openIn(name("short.txt")); }, &text),
            "Parse_PrematureEndOfStream");
  EXPECT_EQ(text, " Unexpected end of data in line 3");
}

TEST_F(FileObjectStreamTest, AGzipNameIsWrittenPlainAndReadThroughGzip) {
  FileObjectStream stream;
  stream.openOut(name("t.gz"));
  writeTree(stream);
  stream.endObject();
  stream.close();
  EXPECT_EQ(get("t.gz"), kText);  // plain text under the gzip name
  FileObjectStream reader;
  reader.openIn(name("t.gz"));
  expectTree(reader);

  gzFile out = gzopen(native("real.gz").c_str(), "wb");
  ASSERT_NE(out, nullptr);
  gzwrite(out, kText.data(), static_cast<unsigned>(kText.size()));
  gzclose(out);
  FileObjectStream compressed;
  compressed.openIn(name("real.gz"));
  expectTree(compressed);
}

TEST_F(FileObjectStreamTest, ADamagedGzipFileFailsInsteadOfReadingForEver) {
  std::string text = kText;
  for (int i = 0; i < 200; ++i) text += "o" + std::to_string(i) + "\n{\n\tv(int32)=1\n}\n";
  gzFile out = gzopen(native("bad.gz").c_str(), "wb");
  ASSERT_NE(out, nullptr);
  gzwrite(out, text.data(), static_cast<unsigned>(text.size()));
  gzclose(out);
  std::string bytes = get("bad.gz");
  ASSERT_GT(bytes.size(), 40u);
  for (std::size_t i = 20; i < bytes.size() - 12; ++i) bytes[i] = static_cast<char>(0xFF);
  put("bad.gz", bytes);
  FileObjectStream stream;
  std::string error;
  EXPECT_EQ(failure([&] { stream.openIn(name("bad.gz")); }, &error), "Load_FailedToLoad");
  EXPECT_EQ(error, " Failed to load data from \"" + name("bad.gz") + "\"");
}

TEST_F(FileObjectStreamTest, AnUnfinishedTreeNeverReplacesTheFinalFile) {
  put("keep.txt", "old");
  {
    FileObjectStream stream;
    stream.openOut(name("keep.txt"));
    stream.beginObject("cfg");  // never ended: the destructor discards it
  }
  EXPECT_EQ(get("keep.txt"), "old");
  EXPECT_FALSE(fs::exists(native("keep.txt.saving")));

  FileObjectStream stream;
  stream.openOut(name("keep.txt"));
  stream.beginObject("cfg");
  std::string text;
  EXPECT_EQ(failure([&] { stream.close(); }, &text), "Close_FailedToFinalize");
  EXPECT_EQ(text, " Failed to rename \"" + name("keep.txt.saving") + "\" to final \"" +
                      name("keep.txt") + "\"");
  EXPECT_FALSE(stream.isOpen());
  EXPECT_EQ(get("keep.txt"), "old");
  EXPECT_FALSE(fs::exists(native("keep.txt.saving")));
}

TEST_F(FileObjectStreamTest, AFolderUnderTheFinalNameIsNeverReplaced) {
  fs::create_directories(native("dir.txt"));
  put("dir.txt/inside", "precious");
  FileObjectStream stream;
  stream.openOut(name("dir.txt"));
  writeTree(stream);
  stream.endObject();
  EXPECT_EQ(failure([&] { stream.close(); }), "Close_FailedToFinalize");
  EXPECT_EQ(get("dir.txt/inside"), "precious");
  EXPECT_TRUE(fs::exists(native("dir.txt.saving")));  // a failed move leaves it
}

// The side file leads to a device that takes no data: a short text fails
// only when the file is closed, a long one already while it is written.
TEST_F(FileObjectStreamTest, WriteFailuresAreReportedAndKeepTheFinalFile) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  put("full.txt", "old");
  fs::create_symlink("/dev/full", native("full.txt.saving"));
  {
    FileObjectStream stream;
    stream.openOut(name("full.txt"));
    writeTree(stream);
    stream.endObject();
    std::string text;
    EXPECT_EQ(failure([&] { stream.close(); }, &text), "Close_FailedToFinalize");
  }
  EXPECT_EQ(get("full.txt"), "old");

  fs::remove(native("full.txt.saving"));
  fs::create_symlink("/dev/full", native("full.txt.saving"));
  FileObjectStream stream;
  stream.openOut(name("full.txt"));
  stream.beginObject("big");
  stream.setAttribute("v", TypedValue(std::string(1 << 20, 'x')));
  stream.endObject();
  std::string text;
  EXPECT_EQ(failure([&] { stream.endObject(); }, &text), "Save_FailedToSave");
  EXPECT_EQ(text, " Failed to save stream to \"" + name("full.txt.saving") + "\"");
  EXPECT_EQ(failure([&] { stream.close(); }), "Close_FailedToFinalize");
  EXPECT_EQ(get("full.txt"), "old");
}

}  // namespace
