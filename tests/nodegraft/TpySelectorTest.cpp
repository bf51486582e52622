#include <gtest/gtest.h>

#include "DcmlOutline.h"
#include "nodegraft/TpySelector.h"

namespace {

using Vemora::TpySelector;

const char kTwoLevels[] = "<R><A>x</A><B><C>y</C></B></R>";

TEST(TpySelectorTest, MovesDownAcrossAndUp) {
  TpySelector c(kTwoLevels);
  EXPECT_FALSE(c.parseError());
  c.child("R").child("B").child("C");
  EXPECT_EQ(c.text(), "y");
  c.up(2).child("");  // any name: the first child element
  EXPECT_EQ(c.text(), "x");
  c.next();
  ASSERT_TRUE(c.valid());
  EXPECT_EQ(c.current()->ValueStr(), "B");
  EXPECT_FALSE(c.hasNext());
  c.next();  // pushes "not found"
  EXPECT_FALSE(c.valid());
  c.dropInvalid();
  EXPECT_EQ(c.current()->ValueStr(), "B");
  c.dropInvalid();  // only drops a null entry
  EXPECT_EQ(c.current()->ValueStr(), "B");
}

TEST(TpySelectorTest, IndexedChildCountsOnlyThatName) {
  TpySelector c("<R><O>1</O><X/><O>2</O></R>");
  c.child("R").child("O", 1);
  EXPECT_EQ(c.text(), "2");
  c.up(1).child("O", 2);
  EXPECT_FALSE(c.valid());
}

TEST(TpySelectorTest, NullOrMissingCurrentIsHarmless) {
  TpySelector c(kTwoLevels);
  c.child("Nope");
  ASSERT_FALSE(c.valid());
  const size_t depth = c.save().size();
  c.child("A").child("A", 0).next().prepend("<X/>").append("<X/>").remove();
  EXPECT_EQ(c.save().size(), depth);
  EXPECT_EQ(c.text(), "");
  EXPECT_EQ(c.xml(), "");
  EXPECT_FALSE(c.hasNext());
  c.up(100);  // runs out of entries
  EXPECT_FALSE(c.valid());
  EXPECT_EQ(c.current(), nullptr);
  c.child("R").remove().dropInvalid();
  EXPECT_EQ(c.xml(), "");
}

TEST(TpySelectorTest, TextOfNonElementsIsEmpty) {
  TpySelector c("<R><!--note--><A><B/></A></R>");
  c.child("R");
  c.up(1).child("R");
  EXPECT_EQ(c.text(), "");  // first child is a comment, no text
  c.child("A").child("B");
  EXPECT_EQ(c.text(), "");
}

TEST(TpySelectorTest, XmlIsCompact) {
  TpySelector c(kTwoLevels);
  c.child("R").child("B");
  EXPECT_EQ(c.xml(), "<B><C>y</C></B>");
}

TEST(TpySelectorTest, AppendAndPrependPlaceTheFragment) {
  struct Case {
    const char* doc;
    bool prepend;
    const char* expected;
  } cases[] = {
      {"<R><A/><B/></R>", false, "<R><A /><B /><Object><Name>N</Name></Object></R>"},
      {"<R><A/><B/></R>", true, "<R><Object><Name>N</Name></Object><A /><B /></R>"},
      {"<R></R>", false, "<R><Object><Name>N</Name></Object></R>"},
      {"<R></R>", true, "<R><Object><Name>N</Name></Object></R>"},
  };
  for (const Case& k : cases) {
    TpySelector c(k.doc);
    c.child("R");
    if (k.prepend) {
      c.prepend("<Object><Name>N</Name></Object>");
    } else {
      c.append("<Object><Name>N</Name></Object>");
    }
    EXPECT_EQ(c.xml(), k.expected) << k.doc << (k.prepend ? " prepend" : " append");
  }
}

TEST(TpySelectorTest, FragmentEdgeCases) {
  TpySelector c("<R/>");
  c.child("R");
  c.append("");  // an empty fragment is the inner wrapper
  EXPECT_EQ(c.xml(), "<R><TMP /></R>");
  c.append("<A>1</A><B/>");  // only the first node of the fragment
  EXPECT_EQ(c.xml(), "<R><TMP /><A>1</A></R>");
  c.prepend("plain");
  EXPECT_EQ(c.xml(), "<R>plain<TMP /><A>1</A></R>");
}

TEST(TpySelectorTest, InsertsOnlyIntoElementsOrTheDocument) {
  TpySelector c("<R><!--note--></R>");
  c.child("R");
  TiXmlNode* comment = c.current()->FirstChild();
  c.next();  // nothing after R
  c.dropInvalid();
  TpySelector::Stack stack = c.save();
  stack.push_back(comment);
  c.restore(stack).append("<X/>");
  EXPECT_EQ(comment->FirstChild(), nullptr);
}

TEST(TpySelectorTest, RemoveTakesTheNodeAndItsEntry) {
  TpySelector c("<R><A/></R>");
  c.child("R").child("A").remove();
  EXPECT_EQ(c.xml(), "<R />");
  c.remove();  // the only entry below the document
  ASSERT_TRUE(c.valid());
  EXPECT_NE(c.current()->ToDocument(), nullptr);
  EXPECT_EQ(c.print(), "");
  c.remove();  // the document has no parent: it stays
  EXPECT_NE(c.current()->ToDocument(), nullptr);
}

TEST(TpySelectorTest, RemovePushesTheParentWhenTheStackEmpties) {
  TpySelector c("<R><A/><B/></R>");
  c.child("R");
  TiXmlNode* a = c.current()->FirstChild();
  c.restore(TpySelector::Stack{a}).remove();
  ASSERT_TRUE(c.valid());
  EXPECT_EQ(c.current()->ValueStr(), "R");
  EXPECT_EQ(c.xml(), "<R><B /></R>");
}

TEST(TpySelectorTest, PrintIndentsWithTabsAndTrims) {
  TpySelector c("\n\n<?xml version=\"1.0\" ?>  <R><A>x</A><B><C/></B></R>\n\n");
  EXPECT_EQ(c.print(), "<?xml version=\"1.0\" ?>\n<R>\n\t<A>x</A>\n\t<B>\n\t\t<C />\n\t</B>\n</R>");
}

TEST(TpySelectorTest, ParseErrorsAreReported) {
  for (const char* text : {"", "<R><A></R>", "<R>", "not xml"}) {
    TpySelector c(text);
    EXPECT_TRUE(c.parseError()) << text;
  }
  TpySelector good("<R/>");
  EXPECT_FALSE(good.parseError());
  good.child("R").append("<A/>");  // fragment parsing leaves the flag alone
  EXPECT_FALSE(good.parseError());
}

}  // namespace

namespace {

std::string nested(size_t levels, const std::string& inner = "") {
  std::string text;
  for (size_t i = 0; i < levels; ++i) text += "<e>";
  text += inner;
  for (size_t i = 0; i < levels; ++i) text += "</e>";
  return text;
}

TEST(TpySelectorDepthTest, RefusesDocumentsNestedTooDeep) {
  const size_t limit = TpySelector::kMaxNesting;
  EXPECT_FALSE(TpySelector(nested(limit)).parseError());
  // Self-closing tags, comments, CDATA and quoted '>' add no level.
  EXPECT_FALSE(TpySelector(nested(limit - 1, "<x a='>' b=\"/>\"/><!-- <y> --><![CDATA[<z>]]>"))
                   .parseError());
  TpySelector deep(nested(limit + 1));
  EXPECT_TRUE(deep.parseError());
  deep.child("e");
  EXPECT_FALSE(deep.valid());  // nothing was parsed
  EXPECT_TRUE(TpySelector(nested(1000000)).parseError());
  std::string unclosed;
  for (size_t i = 0; i <= limit; ++i) unclosed += "<e>";
  EXPECT_TRUE(TpySelector(unclosed).parseError());
}

}  // namespace
