#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "corelib/Exception.h"
#include "corelib/Failure.h"
#include "corelib/MemoryStream.h"
#include "corelib/ObjectStream.h"
#include "corelib/ObjectStreamObject.h"
#include "corelib/StringTools.h"

namespace {

using VemoraCorelib::DualString;
using VemoraCorelib::Exception;
using VemoraCorelib::ObjectStream;
using VemoraCorelib::TypedValue;
namespace StringTools = VemoraCorelib::StringTools;
using corelib_test::failure;
using corelib_test::MemoryStream;

const std::string kExample =
    "db\n"
    "{\n"
    "\tport(int32)=80\n"
    "\ttitle(string)=two\\nlines\n"
    "\tcache\n"
    "\t{\n"
    "\t\ton(bool)=1\n"
    "\t}\n"
    "}\n";

TEST(ObjectStreamTest, WritesTheTreeSortedWhateverTheCallOrder) {
  MemoryStream stream;
  stream.beginObject("db");
  stream.beginObject("cache");
  stream.setAttribute("on", TypedValue(true));
  stream.endObject();
  stream.setAttribute("title", TypedValue(std::string("two\nlines")));
  stream.setAttribute("port", TypedValue(int32_t{80}));
  stream.endObject();
  EXPECT_EQ(stream.saves, 0);
  EXPECT_EQ(stream.state(), ObjectStream::kWriting);
  stream.endObject();  // the hidden root
  EXPECT_EQ(stream.saves, 1);
  EXPECT_EQ(stream.saved, kExample);
  EXPECT_EQ(stream.state(), ObjectStream::kReadable);
  EXPECT_EQ(stream.root(), nullptr);
  EXPECT_EQ(stream.textKind(), ObjectStream::kNarrowText);
}

TEST(ObjectStreamTest, SameNamesReplaceAndEverythingIsOrderedByName) {
  MemoryStream stream;
  stream.beginObject("top");
  stream.beginObject("b");
  stream.endObject();
  stream.endObject();
  stream.beginObject("a");
  stream.setAttribute("z", TypedValue(int32_t{1}));
  stream.setAttribute("y", TypedValue(int32_t{2}));
  stream.setAttribute("y", TypedValue(std::string("second")));
  stream.beginObject("k");
  stream.setAttribute("old", TypedValue(int32_t{1}));
  stream.endObject();
  stream.beginObject("k");  // replaces the first k with its content
  stream.endObject();
  stream.beginObject("c");
  stream.endObject();
  stream.endObject();
  EXPECT_EQ(stream.toText(),
            "a\n{\n\ty(string)=second\n\tz(int32)=1\n\tc\n\t{\n\t}\n\tk\n\t{\n\t}\n}\n"
            "top\n{\n\tb\n\t{\n\t}\n}\n");
}

TEST(ObjectStreamTest, ReadsBackWhatItParsed) {
  MemoryStream stream(kExample);
  stream.load();
  EXPECT_EQ(stream.state(), ObjectStream::kReadable);
  EXPECT_EQ(stream.childNames(), std::set<DualString>{"db"});
  ObjectStream::Entry db = stream.enterObject("db");
  EXPECT_EQ(db.first, DualString("db"));
  EXPECT_EQ(db.second->name(), L"db");
  const TypedValue port = stream.readAttribute("port");
  EXPECT_EQ(port.type, TypedValue::kInt32);
  EXPECT_EQ(port.text, "80");
  std::string title;
  EXPECT_TRUE(stream.readAttribute("title").read(title));
  EXPECT_EQ(title, "two\nlines");
  EXPECT_EQ(stream.childNames(), std::set<DualString>{"cache"});
  stream.enterObject("cache");
  EXPECT_EQ(stream.readAttribute("on").displayText(), "true");
  // The root is named after the first object.
  EXPECT_EQ(stream.currentObject()->path(), L"db.db.cache");
  stream.leaveObject();
  stream.leaveObject();
  EXPECT_NE(stream.root(), nullptr);
  stream.leaveObject();  // at the root: the tree is released
  EXPECT_EQ(stream.root(), nullptr);
  EXPECT_EQ(stream.currentObject(), nullptr);
  // A later childNames loads again.
  EXPECT_EQ(stream.childNames(), std::set<DualString>{"db"});
  EXPECT_EQ(stream.loads, 2);
}

TEST(ObjectStreamTest, AttributeLinesAreSplitAtTheFirstParentheses) {
  MemoryStream stream(
      "o\n{\n"
      "\tname (int32)#a=b\n"  // any character after ")" is skipped
      "\tkind(UINT64)=7\n"    // type names in any case
      "\tnone()=x\n"          // no type name
      "\todd(float)=1.5\n"    // unknown type name
      "\tempty(string)=\n"    // nothing after "="
      "\tshort(string)\n"     // no "=": a child object's name...
      "\t{\n\t}\n"
      "\tpad(string)=  lead and trail  \t\n"
      "\tinner(string)=a(b)=c\n"
      "}\n");
  stream.load();
  stream.enterObject("o");
  const auto& attributes = stream.currentObject()->attributes();
  ASSERT_EQ(attributes.count("name "), 1u);
  EXPECT_EQ(attributes.at("name ").text, "a=b");
  EXPECT_EQ(attributes.at("kind").type, TypedValue::kUInt64);
  EXPECT_EQ(attributes.at("none").type, TypedValue::kNone);
  EXPECT_EQ(attributes.at("none").text, "x");
  EXPECT_EQ(attributes.at("odd").type, TypedValue::kNone);
  EXPECT_EQ(attributes.at("empty").text, "");
  EXPECT_EQ(attributes.at("pad").text, "  lead and trail");
  EXPECT_EQ(attributes.at("inner").text, "a(b)=c");
  EXPECT_EQ(stream.childNames(), std::set<DualString>{"short(string)"});
}

TEST(ObjectStreamTest, ValuesWithoutTypeNameRoundTrip) {
  MemoryStream stream;
  stream.beginObject("o");
  stream.setAttribute("raw", TypedValue(99, "t"));
  stream.endObject();
  stream.endObject();
  EXPECT_EQ(stream.saved, "o\n{\n\traw()=t\n}\n");
  MemoryStream back(stream.saved);
  back.load();
  back.enterObject("o");
  EXPECT_EQ(back.readAttribute("raw").type, TypedValue::kNone);
  EXPECT_EQ(back.readAttribute("raw").text, "t");
}

TEST(ObjectStreamTest, TopLevelLinesAreAlwaysObjectNames) {
  MemoryStream stream("# comment\n\nx=1\n{\n}\n}\n{\n}\n");
  stream.load();
  EXPECT_EQ(stream.childNames(), (std::set<DualString>{"x=1", "}"}));
}

struct ParseCase {
  const char* text;
  const char* error;
  const char* line;
};

TEST(ObjectStreamTest, ParseErrorsNameThePhysicalLine) {
  const ParseCase cases[] = {
      {"a\n{\n\tx=1\n}\n", "Parse_MissingOpenParenthesis", "Missing '(' in line 3"},
      {"a\n{\n\tx(int32=1\n}\n", "Parse_MissingCloseParenthesis", "Missing ')' in line 3"},
      {"a\n{\n", "Parse_PrematureEndOfStream", "Unexpected end of data in line 2"},
      {"a\n{\n\n# note\n", "Parse_PrematureEndOfStream", "Unexpected end of data in line 4"},
      {"a\n{\n\tb\n\t{\n\t}\n", "Parse_PrematureEndOfStream", "Unexpected end of data in line 5"},
      {"a", "Parse_MissingOpenBracket", "Expected '{' in line 1"},
      {"# c\n\na\nb\n", "Parse_MissingOpenBracket", "Expected '{' in line 4"},
      {"a\n{\n\tb\n}\n", "Parse_MissingOpenBracket", "Expected '{' in line 4"},
  };
  for (const auto& c : cases) {
    MemoryStream stream(c.text);
    std::string text;
    EXPECT_EQ(failure([&] { stream.load(); }, &text), c.error) << c.text;
    EXPECT_EQ(text, std::string(" ") + c.line) << c.text;
    EXPECT_EQ(stream.state(), ObjectStream::kLoading);
  }
}

TEST(ObjectStreamTest, AParseErrorKeepsWhatWasParsedBefore) {
  MemoryStream stream("good\n{\n\tv(int32)=1\n}\nbad\n{\n\tw(int32)=2\n\tx\n");
  EXPECT_EQ(failure([&] { stream.load(); }), "Parse_MissingOpenBracket");
  ASSERT_NE(stream.root(), nullptr);
  const auto& top = stream.root()->children();
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top.at("good")->attributes().at("v").text, "1");
  EXPECT_EQ(top.at("bad")->attributes().at("w").text, "2");
}

std::string nested(std::size_t levels) {
  std::string text;
  for (std::size_t i = 0; i < levels; ++i) text += "n\n{\n";
  for (std::size_t i = 0; i < levels; ++i) text += "}\n";
  return text;
}

TEST(ObjectStreamTest, NestingIsBoundedSoAHostileTextCannotExhaustTheStack) {
  MemoryStream deepest(nested(ObjectStream::kMaxParseDepth));
  EXPECT_EQ(failure([&] { deepest.load(); }), "");
  MemoryStream tooDeep(nested(ObjectStream::kMaxParseDepth + 1));
  std::string text;
  EXPECT_EQ(failure([&] { tooDeep.load(); }, &text), "Parse_NestingTooDeep");
  EXPECT_EQ(text, " Objects nested too deeply in line " +
                      std::to_string(2 * ObjectStream::kMaxParseDepth + 1));
}

TEST(ObjectStreamTest, ReadingAndWritingErrors) {
  MemoryStream fresh;
  EXPECT_EQ(failure([&] { fresh.setAttribute("a", TypedValue(true)); }), "Write_ObjectNotStarted");
  EXPECT_EQ(failure([&] { fresh.endObject(); }), "Write_ObjectNotStarted");
  EXPECT_EQ(failure([&] { fresh.childNames(); }), "Read_StreamEmpty");
  EXPECT_EQ(failure([&] { fresh.enterObject("a"); }), "Read_ReadingNotAllowed");
  EXPECT_EQ(failure([&] { fresh.readAttribute("a"); }), "Read_ReadingNotAllowed");
  EXPECT_EQ(failure([&] { fresh.leaveObject(); }), "Read_ReadingNotAllowed");

  MemoryStream writing;
  writing.beginObject("a");
  EXPECT_EQ(failure([&] { writing.childNames(); }), "Read_ReadingNotAllowed");
  writing.endObject();
  // At the hidden root no attribute can be written.
  EXPECT_EQ(failure([&] { writing.setAttribute("x", TypedValue(true)); }),
            "Write_ObjectNotStarted");

  MemoryStream loaded(kExample);
  loaded.load();
  std::string text;
  EXPECT_EQ(failure([&] { loaded.readAttribute("port"); }, &text), "Read_AttributeNotFound");
  EXPECT_EQ(text, " Trying to read attribute 'port' of 'db' but no such attribute exists");
  EXPECT_EQ(failure([&] { loaded.enterObject("nope"); }, &text), "Read_ObjectNotFound");
  EXPECT_EQ(text, " Attempted to enter object 'nope' but no such object exists");
  loaded.enterObject("db");
  EXPECT_EQ(failure([&] { loaded.currentObject()->getAttribute("x"); }, &text),
            "GetAttribute_NotFound");
  EXPECT_EQ(text, " Could not find attribute 'x' of 'db.db'");
  loaded.leaveObject();
  loaded.leaveObject();
  EXPECT_EQ(failure([&] { loaded.leaveObject(); }), "Read_ObjectNotEntered");
  EXPECT_EQ(failure([&] { loaded.readAttribute("port"); }), "Read_ObjectNotEntered");
  EXPECT_EQ(failure([&] { loaded.enterObject("db"); }), "Read_ObjectNotFound");
}

TEST(ObjectStreamTest, AnEmptyTextLoadsAsNoObjects) {
  MemoryStream stream("# only a comment\n\n");
  stream.load();
  EXPECT_EQ(stream.root(), nullptr);
  EXPECT_TRUE(stream.childNames().empty());
  EXPECT_EQ(failure([&] { stream.enterObject("root"); }), "Read_ObjectNotFound");
}

TEST(ObjectStreamTest, WritingIntoALoadedTreeStartsWriting) {
  MemoryStream stream(kExample);
  stream.load();
  stream.enterObject("db");
  stream.beginObject("extra");
  EXPECT_EQ(stream.state(), ObjectStream::kWriting);
  stream.setAttribute("n", TypedValue(int32_t{1}));
  stream.endObject();
  stream.endObject();
  stream.endObject();
  EXPECT_EQ(stream.saves, 1);
  EXPECT_NE(stream.saved.find("\textra\n\t{\n\t\tn(int32)=1\n\t}\n"), std::string::npos);
}

TEST(ObjectStreamTest, AddStreamCopiesAReadableTreeAtTheCurrentPosition) {
  MemoryStream source(kExample);
  MemoryStream target;
  EXPECT_EQ(failure([&] { target.addStream(source); }), "AddStream_CannotReadFromStream");
  source.load();
  target.beginObject("outer");
  target.beginObject("db");
  target.setAttribute("gone", TypedValue(true));
  target.endObject();
  target.addStream(source);  // replaces outer.db
  target.endObject();
  EXPECT_EQ(target.toText(),
            "outer\n{\n\tdb\n\t{\n\t\tport(int32)=80\n\t\ttitle(string)=two\\nlines\n"
            "\t\tcache\n\t\t{\n\t\t\ton(bool)=1\n\t\t}\n\t}\n}\n");

  MemoryStream empty("");
  empty.load();
  target.addStream(empty);
  EXPECT_EQ(failure([&] { target.childNames(); }), "Read_ReadingNotAllowed");
}

TEST(ObjectStreamTest, AddingAStreamToItselfEnds) {
  MemoryStream stream(kExample);
  stream.load();
  stream.enterObject("db");
  stream.addStream(stream);  // the tree as it was, copied once under db
  EXPECT_EQ(stream.toText(),
            "db\n{\n\tport(int32)=80\n\ttitle(string)=two\\nlines\n"
            "\tcache\n\t{\n\t\ton(bool)=1\n\t}\n"
            "\tdb\n\t{\n\t\tport(int32)=80\n\t\ttitle(string)=two\\nlines\n"
            "\t\tcache\n\t\t{\n\t\t\ton(bool)=1\n\t\t}\n\t}\n}\n");
}

TEST(ObjectStreamTest, WideStringsAndWideText) {
  MemoryStream narrow;
  narrow.beginObject("o");
  narrow.setAttribute("w", TypedValue(std::wstring(L"ab")));
  narrow.endObject();
  EXPECT_EQ(narrow.toText(), "o\n{\n\tw(wstring)=ab\n}\n");

  MemoryStream parsed("o\n{\n\tw(wstring)=ab\n\tn(int32)=5\n}\n");
  parsed.load();
  parsed.enterObject("o");
  EXPECT_EQ(parsed.readAttribute("w").text, std::string("a\0b\0", 4));
  std::wstring wide;
  EXPECT_TRUE(parsed.readAttribute("w").read(wide));
  EXPECT_EQ(wide, L"ab");

  MemoryStream wideStream;
  wideStream.beginObject(L"o");
  EXPECT_EQ(wideStream.textKind(), ObjectStream::kWideText);
  wideStream.setAttribute(L"w", TypedValue(std::wstring(L"\x263A")));
  wideStream.setAttribute(L"n", TypedValue(int32_t{5}));
  wideStream.endObject();
  EXPECT_EQ(wideStream.toWideText(), L"o\n{\n\tn(int32)=5\n\tw(wstring)=\x263A\n}\n");

  // A narrow name later does not change the kind.
  wideStream.beginObject("p");
  EXPECT_EQ(wideStream.textKind(), ObjectStream::kWideText);
}

TEST(ObjectStreamTest, AWideParseKeepsWideUnitsAndNarrowsTheRest) {
  MemoryStream stream("o\n{\n\tw(wstring)=ab\n\tn(int32)=5\n}\n", true);
  stream.load();
  stream.enterObject(L"o");
  const auto& attributes = stream.currentObject()->attributes();
  EXPECT_TRUE(attributes.begin()->first.isWide());
  EXPECT_EQ(attributes.at(L"n").text, "5");
  EXPECT_EQ(attributes.at(L"w").text, std::string("a\0b\0", 4));
}

TEST(ObjectStreamTest, EscapeHooksCodeEqualsNewlineAndBackslash) {
  MemoryStream stream;
  std::string text = "a=b\nc\\";
  stream.escapeHook(text);
  EXPECT_EQ(text, "a\\?b\\nc\\\\");
  stream.unescapeHook(text);
  EXPECT_EQ(text, "a=b\nc\\");
  std::wstring wide = L"=\n";
  stream.escapeHook(wide);
  EXPECT_EQ(wide, L"\\?\\n");
  stream.unescapeHook(wide);
  EXPECT_EQ(wide, L"=\n");
  TypedValue value(int32_t{1});
  EXPECT_FALSE(stream.writeValue(value));
  EXPECT_FALSE(stream.readValue(value));
}

TEST(DualStringTest, KindsOrderingAndSearch) {
  const DualString narrow("abc");
  const DualString wide(L"abc");
  EXPECT_FALSE(narrow.isWide());
  EXPECT_TRUE(wide.isWide());
  EXPECT_EQ(narrow.toWide(), L"abc");
  EXPECT_EQ(wide.toNarrow(), "abc");
  EXPECT_TRUE(narrow == wide);
  EXPECT_TRUE(DualString("B") < DualString("a"));
  EXPECT_TRUE(DualString("a") < DualString("\xE9"));  // bytes compare unsigned
  EXPECT_TRUE(DualString(L"\xE9") < DualString(L"\x263A"));
  EXPECT_TRUE(DualString("\xE9") < DualString(L"\x263A"));  // mixed kinds compare wide
  EXPECT_EQ(narrow.find("c"), 2u);
  EXPECT_EQ(wide.find("bc"), 1u);
  EXPECT_EQ(narrow.find("x"), DualString::npos);
  EXPECT_TRUE(wide.substring(1).isWide());
  EXPECT_EQ(wide.substring(1).toWide(), L"bc");
  EXPECT_TRUE(narrow.substring(9).empty());
}

}  // namespace
