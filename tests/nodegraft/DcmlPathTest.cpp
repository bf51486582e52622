#include <gtest/gtest.h>

#include "DcmlOutline.h"
#include "nodegraft/DcmlPath.h"

namespace {

using Vemora::findDcmlPath;
using Vemora::findDcmlSibling;
using Vemora::TpySelector;

// The Name text of the object the cursor stands on; "-" when not valid.
std::string nameAt(TpySelector& c) {
  if (!c.valid()) return "-";
  const std::string name = c.child("Name").text();
  c.up(1);
  return name;
}

struct PathCase {
  const char* outline;
  const char* path;
  bool found;
  const char* name;  // of the object found
};

TEST(DcmlPathTest, LooksUpDottedPaths) {
  const PathCase cases[] = {
      {"A[B,K],D", "A.K", true, "K"},
      {"A[B,K],D", "D", true, "D"},
      {"A[B,K],D", "A", true, "A"},
      {"A[B,K],D", "A.B", true, "B"},
      {"A[B,K],D", "A.E", false, ""},
      {"A[B,K],D", "E", false, ""},
      {"A[B,K],D", "D.B", false, ""},      // D has no child objects
      {"A[B,K],D", "", true, "A"},         // the first top-level object
      {"A[B,K],D", "..A..K.", true, "K"},  // empty components are skipped
      {"A[B,K],D", "a", false, ""},        // names are case-sensitive
      {"A[],D", "A.B", false, ""},         // an empty SubObjects
      {"A[B[Z]],D", "A.*.Z", true, "Z"},
      {"A[B[C[Z]]]", "A.*.Z", true, "Z"},
      {"A[B[C[Z]]]", "*.Z", true, "Z"},
      {"A[B[C[Z]]]", "*.A", true, "A"},  // "*" also takes no level at all
      {"A[B[C[Z[Q]]]]", "A.*.Z.Q", true, "Q"},
      {"A[B,C[Z]]", "A.*.Z", false, ""},  // Z under A's second child
      {"A[B[Z]]", "A.*", false, ""},      // a trailing "*" finds nothing
      {"A[B[Z]]", "*", false, ""},
      {"A[B[Z]]", "A.*.Y", false, ""},
  };
  for (const PathCase& k : cases) {
    TpySelector c(dcmltest::dcml(k.outline));
    c.child("DCML", 0);
    EXPECT_EQ(findDcmlPath(c, k.path), k.found) << k.outline << " " << k.path;
    if (k.found) {
      EXPECT_EQ(nameAt(c), k.name) << k.outline << " " << k.path;
    }
  }
}

TEST(DcmlPathTest, EmptyPathOnEmptyDocumentSucceedsWithoutAnObject) {
  TpySelector c("<DCML></DCML>");
  c.child("DCML", 0);
  EXPECT_TRUE(findDcmlPath(c, ""));
  EXPECT_FALSE(c.valid());
}

TEST(DcmlPathTest, SiblingSearchOnNothingFailsWithoutMoving) {
  TpySelector c("<DCML></DCML>");
  c.child("DCML", 0).child("Object");
  const size_t depth = c.save().size();
  EXPECT_FALSE(findDcmlSibling(c, "A"));
  EXPECT_FALSE(findDcmlSibling(c, ""));
  EXPECT_EQ(c.save().size(), depth);
  TpySelector other("<DCML></DCML>");
  other.child("DCML", 0);
  EXPECT_FALSE(findDcmlPath(other, "A"));
}

TEST(DcmlPathTest, SiblingSearchPassesCommentsAndNamelessObjects) {
  TpySelector c(
      "<DCML><Object/><!-- between --><Object><Name>B</Name></Object>"
      "<Object><Name>C</Name></Object></DCML>");
  c.child("DCML", 0).child("Object");
  const size_t depth = c.save().size();
  EXPECT_TRUE(findDcmlSibling(c, "C"));
  EXPECT_EQ(nameAt(c), "C");
  // The passed siblings stay on the stack.
  EXPECT_EQ(c.save().size(), depth + 3);
  TpySelector d("<DCML><Object/></DCML>");
  d.child("DCML", 0);
  EXPECT_FALSE(findDcmlPath(d, "X"));
}

}  // namespace
