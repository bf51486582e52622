// The handler's list of connection entries: queued entries are taken whole
// and in order, erasing moves the position on, and every entry gives its
// place in the open-connection count back exactly once, on every path.
#include <gtest/gtest.h>

#include <atomic>

#include "relayhub/ConnectionList.h"

namespace Vemora {
namespace {

ConnectionEntry entry(int32_t registered, std::atomic<int32_t>* count) {
  ConnectionEntry e(SmartPointer<Connection>(new Connection()), registered);
  e.slot = OpenConnectionSlot(count);
  return e;
}

TEST(ConnectionList, QueuedEntriesAreTakenTogetherInQueueOrder) {
  std::atomic<int32_t> open{0};
  ConnectionList list;
  list.entries.push_back(entry(1, &open));
  ConnectionList::Entries queue;
  for (int32_t t : {2, 3, 4}) queue.push_back(entry(t, &open));
  EXPECT_EQ(open.load(), 4);
  list.takeAll(queue);
  EXPECT_TRUE(queue.empty());
  ASSERT_EQ(list.size(), 4u);
  int32_t expected = 1;
  for (const ConnectionEntry& e : list.entries) EXPECT_EQ(e.registered, expected++);
  // Moving entries does not touch the count.
  EXPECT_EQ(open.load(), 4);
}

TEST(ConnectionList, ErasingTheCurrentEntryMovesOnAndFreesItsPlace) {
  std::atomic<int32_t> open{0};
  ConnectionList list;
  for (int32_t t : {1, 2, 3}) list.entries.push_back(entry(t, &open));
  list.current = std::next(list.entries.begin());
  list.eraseCurrent();
  ASSERT_NE(list.current, list.entries.end());
  EXPECT_EQ(list.current->registered, 3);
  EXPECT_EQ(open.load(), 2);
  list.clear();
  EXPECT_EQ(open.load(), 0);
  EXPECT_EQ(list.current, list.entries.end());
}

TEST(ConnectionList, SlotIsGivenBackOnceWhateverHappensToIt) {
  std::atomic<int32_t> open{0};
  {
    OpenConnectionSlot a(&open);
    OpenConnectionSlot b(std::move(a));
    EXPECT_FALSE(a.held());
    EXPECT_EQ(open.load(), 1);
    OpenConnectionSlot c;
    c = std::move(b);
    EXPECT_EQ(open.load(), 1);
    c.release();
    c.release();
    EXPECT_EQ(open.load(), 0);
    OpenConnectionSlot d(&open);
    d = OpenConnectionSlot(&open);  // the old place goes back first
    EXPECT_EQ(open.load(), 1);
  }
  EXPECT_EQ(open.load(), 0);
}

}  // namespace
}  // namespace Vemora
