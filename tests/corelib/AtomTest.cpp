#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corelib/Atom.h"
#include "corelib/AtomTable.h"

namespace {

using VemoraCorelib::Atom;
using VemoraCorelib::AtomTable;

uint32_t narrowCount(const Atom& atom) {
  return AtomTable<std::string>::instance().count(atom.index());
}

TEST(AtomTest, SameTextSharesOneSlot) {
  Atom a(std::string("atom-test-shared"));
  Atom b(std::string("atom-test-shared"));
  EXPECT_EQ(a.index(), b.index());
  EXPECT_EQ(narrowCount(a), 2u);
  EXPECT_EQ(a.text(), "atom-test-shared");
  EXPECT_EQ(a.wideText(), L"");
  EXPECT_EQ(a.length(), 16u);
  b.release();
  EXPECT_TRUE(b.empty());
  EXPECT_FALSE(b.isWide());
  EXPECT_EQ(narrowCount(a), 1u);
}

TEST(AtomTest, CopiesHoldTheirOwnReference) {
  uint32_t slot;
  {
    Atom original(std::string("atom-test-copies"));
    slot = original.index();
    {
      const Atom copy(original);
      Atom assigned;
      assigned = original;
      EXPECT_EQ(AtomTable<std::string>::instance().count(slot), 3u);
      std::vector<Atom> many(5, original);
      EXPECT_EQ(AtomTable<std::string>::instance().count(slot), 8u);
    }
    EXPECT_EQ(AtomTable<std::string>::instance().count(slot), 1u);
    original = original;  // self-assignment keeps the reference
    EXPECT_EQ(AtomTable<std::string>::instance().count(slot), 1u);
    EXPECT_EQ(original.text(), "atom-test-copies");
  }
  EXPECT_EQ(AtomTable<std::string>::instance().count(slot), 0u);
  EXPECT_EQ(AtomTable<std::string>::instance().text(slot), "");
}

TEST(AtomTest, FreedSlotsAreReusedEarliestFirst) {
  Atom first(std::string("atom-test-free-1"));
  Atom second(std::string("atom-test-free-2"));
  const uint32_t a = first.index();
  const uint32_t b = second.index();
  first.release();
  second.release();
  Atom next(std::string("atom-test-free-3"));
  EXPECT_EQ(next.index(), a);
  Atom after(std::string("atom-test-free-4"));
  EXPECT_EQ(after.index(), b);
}

TEST(AtomTest, ReassignmentReleasesTheOldString) {
  Atom atom(std::string("atom-test-old"));
  const uint32_t old = atom.index();
  atom = std::wstring(L"atom-test-wide");
  EXPECT_TRUE(atom.isWide());
  EXPECT_EQ(atom.wideText(), L"atom-test-wide");
  EXPECT_EQ(atom.text(), "");
  EXPECT_EQ(AtomTable<std::string>::instance().count(old), 0u);
}

}  // namespace
