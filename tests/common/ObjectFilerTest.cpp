#include <gtest/gtest.h>

#include <vector>

#include "common/ObjectFiler.h"

namespace Vemora {
namespace {

std::string allBytes() {
  std::string value;
  for (int b = 0; b < 256; ++b) value += static_cast<char>(b);
  return value;
}

TEST(ObjectFilerTest, WritesTheDocumentedLayout) {
  ObjectFiler filer;
  ObjectFiler::ObjectNode* item = filer.addObject(nullptr, "Item");
  ASSERT_NE(item, nullptr);
  filer.addValue(item, "Id")->setUInt(7);
  filer.addValue(item, "Data")->setString("a{b}");
  filer.addObject(item, "Target");
  EXPECT_EQ(
      filer.toString(),
      "Item(object)\n{\n\tData(string){a&123;b&125;}\n\tId(uint){7}\n\tTarget(object){}\n}\n");
}

TEST(ObjectFilerTest, EscapesTable) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a&b", "a&&;b"},
      {"\n\r}", "&10;&13;&125;"},
      {"\t", "&9;"},
      {"a\tb", "a&9;b"},
      {" x", "&32;x"},
      {"x ", "x&32;"},
      {" ", "&32;"},
      {"a b", "a b"},
      {std::string("\0", 1), "&0;"},
      {"\x7f\xe9\x80", "&127;&-23;&-128;"},
      {"", ""},
  };
  for (const auto& [value, escaped] : cases) {
    EXPECT_EQ(ObjectFiler::ValueNode::escape(value), escaped);
    EXPECT_EQ(ObjectFiler::ValueNode::unescape(escaped), value) << escaped;
  }
}

TEST(ObjectFilerTest, UnescapeOfDamagedText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a&b", "a&b"},  // no ';' after the '&': literal
      {"x&", "x&"},
      {"&65;&", "A&"},
      {"&321;", "A"},  // low 8 bits
      {"&abc;", std::string("\0", 1)},
      {"&&;&&;", "&&"},
  };
  for (const auto& [raw, value] : cases) EXPECT_EQ(ObjectFiler::ValueNode::unescape(raw), value);
}

TEST(ObjectFilerTest, TreeWithEveryEscapeRoundTripsByteForByte) {
  ObjectFiler filer;
  ObjectFiler::ObjectNode* message = filer.addObject(nullptr, "Message");
  filer.addValue(message, "Header")->setString("  leading blanks and a TAB\tinside ");
  filer.addValue(message, "Data")->setString(allBytes());
  filer.addValue(message, "Tabs")->setString("\t\tx\t");
  filer.addValue(message, "Empty")->setString("");
  filer.addValue(message, "Flag")->setBool(false);
  filer.addValue(message, "Neg")->setInt(-5);
  ObjectFiler::ObjectNode* inner = filer.addObject(message, "Target");
  filer.addValue(inner, "Name")->setString(" spaced name ");
  filer.addObject(inner, "Nothing");
  const std::string text = filer.toString();

  ObjectFiler back;
  ASSERT_TRUE(back.parse(text));
  EXPECT_EQ(back.toString(), text);
  ObjectFiler::ObjectNode* m = back.getObject(nullptr, "Message");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(back.getValue(m, "Header")->value(), "  leading blanks and a TAB\tinside ");
  EXPECT_EQ(back.getValue(m, "Data")->value(), allBytes());
  EXPECT_EQ(back.getValue(m, "Tabs")->value(), "\t\tx\t");
  EXPECT_EQ(back.getValue(m, "Empty")->value(), "");
  EXPECT_FALSE(back.getValue(m, "Flag")->getBool());
  EXPECT_EQ(back.getValue(m, "Flag")->type(), ObjectFiler::kBool);
  EXPECT_EQ(back.getValue(m, "Neg")->getInt(), -5);
  EXPECT_EQ(back.getValue(back.getObject(m, "Target"), "Name")->value(), " spaced name ");
  // The text keeps one node per line: no raw line end inside a value.
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) {
    ASSERT_TRUE(at + 1 == text.size() || text[at + 1] == '\t' || text[at + 1] == '}' ||
                text[at + 1] == '{')
        << at;
  }
}

TEST(ObjectFilerTest, UnsetValuesAreNotWrittenAndStillRead) {
  ObjectFiler filer;
  ObjectFiler::ObjectNode* box = filer.addObject(nullptr, "Box");
  filer.addValue(box, "A")->setString("1");
  filer.addValue(box, "B");  // never set
  filer.addValue(box, "C")->setString("3");
  EXPECT_EQ(filer.toString(), "Box(object)\n{\n\tA(string){1}\n\tC(string){3}\n}\n");

  ObjectFiler only;
  only.addValue(only.addObject(nullptr, "Box"), "B");
  EXPECT_EQ(only.toString(), "Box(object){}\n");

  // A file written with an unset node loses nothing after it.
  ObjectFiler old;
  ASSERT_TRUE(old.parse("Box(object)\n{\n\tA(string){1}\n\tB(undef){}\n\tC(string){3}\n}\n"));
  ObjectFiler::ObjectNode* read = old.getObject(nullptr, "Box");
  ASSERT_NE(read, nullptr);
  ASSERT_NE(old.getValue(read, "B"), nullptr);
  EXPECT_EQ(old.getValue(read, "B")->type(), ObjectFiler::kUndef);
  ASSERT_NE(old.getValue(read, "C"), nullptr);
  EXPECT_EQ(old.getValue(read, "C")->value(), "3");
}

TEST(ObjectFilerTest, ReaderTable) {
  struct Case {
    std::string text;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"", {}, {"A"}},
      {"A(string){1}B(bogus){2}D(string){3}", {"A"}, {"B", "D"}},
      {"Name(STRING){abc}", {"Name"}, {}},
      {"A(string){1}\n(string){2}", {"A"}, {}},
      {"A(string{1}", {}, {"A"}},
      {"A(string){unterminated", {}, {"A"}},  // a truncated value ends the reading
      {"A(string){1}B(string){tr", {"A"}, {"B"}},
      {"A(string)B(string){2}", {"A", "B"}, {}},  // no braces: empty value
      {"A ( int ) {5}", {}, {"A", "A "}},         // "int " is no type
      {"A( int){5}", {"A"}, {}},
  };
  for (const Case& c : cases) {
    ObjectFiler filer;
    ASSERT_TRUE(filer.parse(c.text)) << c.text;
    ASSERT_NE(filer.root(), nullptr);
    for (const std::string& name : c.present) {
      EXPECT_NE(filer.getValue(nullptr, name), nullptr) << c.text << " / " << name;
    }
    for (const std::string& name : c.absent) {
      EXPECT_EQ(filer.getValue(nullptr, name), nullptr) << c.text << " / " << name;
    }
  }
  ObjectFiler filer;
  ASSERT_TRUE(filer.parse("  \t\nA ( int) {5}"));  // blanks after a name stay in it
  ASSERT_NE(filer.getValue(nullptr, "A "), nullptr);
  EXPECT_EQ(filer.getValue(nullptr, "A ")->getInt(), 5);
}

TEST(ObjectFilerTest, ValuesAndLaterDuplicates) {
  ObjectFiler filer;
  ASSERT_TRUE(
      filer.parse("X(string){first}\nX(string){second}\nS(string){  x}\n"
                  "B(bool){1}C(bool){yes}D(bool){0}E(bool){}U(uint){12abc}I(int){-9}"));
  EXPECT_EQ(filer.getValue(nullptr, "X")->value(), "second");
  EXPECT_EQ(filer.getValue(nullptr, "S")->value(), "x");  // old files: raw leading blanks go
  EXPECT_TRUE(filer.getValue(nullptr, "B")->getBool());
  EXPECT_TRUE(filer.getValue(nullptr, "C")->getBool());
  EXPECT_FALSE(filer.getValue(nullptr, "D")->getBool());
  EXPECT_FALSE(filer.getValue(nullptr, "E")->getBool());
  EXPECT_EQ(filer.getValue(nullptr, "U")->getUInt(), 12u);
  EXPECT_EQ(filer.getValue(nullptr, "I")->getInt(), -9);
}

TEST(ObjectFilerTest, TruncatedObjectKeepsWhatWasRead) {
  ObjectFiler filer;
  ASSERT_TRUE(filer.parse("Box(object)\n{\n\tA(string){1}\n\tB(string){2"));
  ObjectFiler::ObjectNode* box = filer.getObject(nullptr, "Box");
  ASSERT_NE(box, nullptr);
  EXPECT_NE(filer.getValue(box, "A"), nullptr);
  EXPECT_EQ(filer.getValue(box, "B"), nullptr);
  // Every prefix of a written text parses without harm.
  ObjectFiler full;
  ObjectFiler::ObjectNode* m = full.addObject(nullptr, "M");
  full.addValue(m, "Data")->setString("a&b{c}\n");
  full.addValue(full.addObject(m, "T"), "N")->setUInt(1);
  const std::string text = full.toString();
  for (size_t n = 0; n <= text.size(); ++n) {
    ObjectFiler part;
    EXPECT_TRUE(part.parse(text.substr(0, n)));
  }
}

TEST(ObjectFilerTest, ParseWholeRefusesTruncatedAndBadlyNestedText) {
  ObjectFiler full;
  ObjectFiler::ObjectNode* m = full.addObject(nullptr, "M");
  full.addValue(m, "Data")->setString("a&b{c}\n");
  full.addValue(full.addObject(m, "T"), "N")->setUInt(1);
  full.addObject(m, "E");
  const std::string text = full.toString();
  ASSERT_EQ(text.back(), '\n');
  // Only the whole text (with or without its last line end) is whole.
  for (size_t n = 1; n + 1 < text.size(); ++n) {
    ObjectFiler part;
    EXPECT_FALSE(part.parseWhole(text.substr(0, n))) << n;
  }
  for (size_t n : {text.size() - 1, text.size()}) {
    ObjectFiler whole;
    EXPECT_TRUE(whole.parseWhole(text.substr(0, n)));
    EXPECT_EQ(whole.toString(), text);
  }
  for (const char* bad : {"A(object){B(string){x}}}", "A(object){B(string){x}", "A(string)",
                          "A(object){B(string)x}", "A(nonsense){x}", "A(string){x}}"}) {
    ObjectFiler filer;
    EXPECT_FALSE(filer.parseWhole(bad)) << bad;
    EXPECT_TRUE(filer.parse(bad)) << bad;  // the forgiving reader still takes it
  }
  ObjectFiler empty;
  EXPECT_TRUE(empty.parseWhole(""));
}

std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "O(object){";
  text += "V(string){deep}";
  for (int i = 0; i < depth; ++i) text += "}";
  return text;
}

int depthRead(const ObjectFiler& filer) {
  int depth = 0;
  ObjectFiler::ObjectNode* node = filer.getObject(nullptr, "O");
  while (node != nullptr) {
    ++depth;
    if (filer.getValue(node, "V") != nullptr) return depth;
    node = filer.getObject(node, "O");
  }
  return -depth;
}

TEST(ObjectFilerTest, NestingIsCapped) {
  ObjectFiler ok;
  ASSERT_TRUE(ok.parse(nested(ObjectFiler::kMaxDepth)));
  EXPECT_EQ(depthRead(ok), ObjectFiler::kMaxDepth);

  ObjectFiler deep;
  ASSERT_TRUE(deep.parse(nested(ObjectFiler::kMaxDepth + 1)));
  EXPECT_EQ(depthRead(deep), -ObjectFiler::kMaxDepth);

  ObjectFiler hostile;
  EXPECT_TRUE(hostile.parse(nested(200000)));
}

TEST(ObjectFilerTest, HolderOperations) {
  ObjectFiler filer;
  EXPECT_EQ(filer.toString(), "");
  EXPECT_EQ(filer.getValue(nullptr, "x"), nullptr);
  EXPECT_EQ(filer.root(), nullptr);
  ASSERT_TRUE(filer.parse(""));
  ASSERT_NE(filer.root(), nullptr);
  EXPECT_EQ(filer.toString(), "");

  ObjectFiler::ObjectNode* obj = filer.addObject(nullptr, "Obj");
  ObjectFiler::ValueNode* val = filer.addValue(nullptr, "Val");
  ASSERT_NE(obj, nullptr);
  ASSERT_NE(val, nullptr);
  EXPECT_EQ(val->type(), ObjectFiler::kUndef);
  EXPECT_EQ(obj->parent(), filer.root());
  EXPECT_EQ(filer.getValue(nullptr, "Obj"), nullptr);
  EXPECT_EQ(filer.getObject(nullptr, "Val"), nullptr);
  EXPECT_EQ(filer.getObject(nullptr, "Obj"), obj);

  val->setInt(-5);
  EXPECT_EQ(val->value(), "-5");
  val->setUInt(18446744073709551615ull);
  EXPECT_EQ(val->getUInt(), 18446744073709551615ull);
  val->setBool(true);
  EXPECT_EQ(val->value(), "1");

  // Adding under an existing name replaces the child.
  ObjectFiler::ValueNode* again = filer.addValue(nullptr, "Obj");
  again->setString("now a value");
  EXPECT_EQ(filer.getObject(nullptr, "Obj"), nullptr);
  EXPECT_EQ(filer.getValue(nullptr, "Obj")->value(), "now a value");

  // Names the text form cannot carry are refused.
  for (const std::string name : {"", "a(b", " lead", "\tx", "}x"}) {
    EXPECT_EQ(filer.addValue(nullptr, name), nullptr) << name;
    EXPECT_EQ(filer.addObject(nullptr, name), nullptr) << name;
  }
}

}  // namespace
}  // namespace Vemora
