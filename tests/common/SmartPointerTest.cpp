#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/SmartPointer.h"

namespace {

using Vemora::SmartPointer;

struct Tracked {
  explicit Tracked(int* deaths) : deaths(deaths) {}
  virtual ~Tracked() { ++*deaths; }
  int* deaths;
  int value = 7;
};

struct Derived : Tracked {
  using Tracked::Tracked;
};

TEST(SmartPointerTest, LastHolderDeletesTheObject) {
  int deaths = 0;
  {
    SmartPointer<Tracked> a(new Tracked(&deaths));
    SmartPointer<Tracked> b(a);
    SmartPointer<Tracked> c;
    c = b;
    EXPECT_EQ(a.count(), 3);
    EXPECT_EQ(c->value, 7);
    EXPECT_TRUE(a.equals(c));
    a.reset();
    b.release();
    EXPECT_EQ(c.count(), 1);
    EXPECT_EQ(deaths, 0);
  }
  EXPECT_EQ(deaths, 1);
}

TEST(SmartPointerTest, DestroyDeletesAtOnceForEveryHolder) {
  int deaths = 0;
  SmartPointer<Tracked> first(new Tracked(&deaths));
  SmartPointer<Tracked> second(first);
  auto third = std::make_unique<SmartPointer<Tracked>>(first);
  first.destroy();
  EXPECT_EQ(deaths, 1);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(first.count(), 0);
  EXPECT_TRUE(second.isNull());
  EXPECT_TRUE(third->isNull());
  EXPECT_EQ(second.get(), nullptr);  // every holder reads null, never the freed object
  EXPECT_EQ(third->operator->(), nullptr);
  EXPECT_TRUE(second.equals(*third));
  EXPECT_EQ(second.count(), -2);
  {
    SmartPointer<Tracked> copy(second);  // a copy of a destroyed object: one more holder
    EXPECT_TRUE(copy.isNull());
    EXPECT_EQ(second.count(), -3);
  }
  EXPECT_EQ(second.count(), -2);
  third.reset();
  EXPECT_EQ(second.count(), -1);
  second.destroy();  // nothing left to delete: only lets go
  EXPECT_EQ(deaths, 1);
}

TEST(SmartPointerTest, DestroyOnTheOnlyHolderIsARelease) {
  int deaths = 0;
  SmartPointer<Tracked> only(new Tracked(&deaths));
  only.destroy();
  EXPECT_EQ(deaths, 1);
  EXPECT_TRUE(only.isNull());
  only.destroy();
  only.reset();
  EXPECT_EQ(deaths, 1);
}

TEST(SmartPointerTest, EmptyHoldersAndSelfAssignment) {
  SmartPointer<Tracked> empty(nullptr);
  EXPECT_TRUE(empty.isNull());
  EXPECT_EQ(empty.count(), 0);
  SmartPointer<Tracked> copy(empty);
  EXPECT_EQ(copy.count(), 0);
  empty.reset();
  int deaths = 0;
  SmartPointer<Tracked> a(new Tracked(&deaths));
  SmartPointer<Tracked>& alias = a;
  a = alias;
  EXPECT_EQ(a.count(), 1);
  SmartPointer<Tracked> b(a);
  b = a;  // same object already held: the count stays
  EXPECT_EQ(a.count(), 2);
  b = empty;
  EXPECT_EQ(a.count(), 1);
  EXPECT_TRUE(b.isNull());
}

TEST(SmartPointerTest, DerivedHoldersShareTheCount) {
  int deaths = 0;
  SmartPointer<Derived> derived(new Derived(&deaths));
  {
    SmartPointer<Tracked> base(derived);
    EXPECT_EQ(derived.count(), 2);
  }
  EXPECT_EQ(derived.count(), 1);
  derived.reset();
  EXPECT_EQ(deaths, 1);
}

TEST(SmartPointerTest, CountSurvivesCopiesFromManyThreads) {
  int deaths = 0;
  SmartPointer<Tracked> shared(new Tracked(&deaths));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&shared] {
      for (int i = 0; i < 20000; ++i) {
        SmartPointer<Tracked> copy(shared);
        SmartPointer<Tracked> other;
        other = copy;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(shared.count(), 1);
  EXPECT_EQ(deaths, 0);
  shared.reset();
  EXPECT_EQ(deaths, 1);
}

}  // namespace
