#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/LastError.h"
#include "platform/Mailslot.h"

using platform::Mailslot;

namespace {

// Writes as the log forwarding does: a full socket gives the receiver's
// reader time to make room. False when the receiver does not make room.
bool deliver(Mailslot& sender, const std::string& message) {
  while (!sender.write(message.data(), message.size())) {
    if (platform::lastError() != platform::kErrorNoSystemResources) return false;
    if (!sender.waitForRoom(5000)) return false;
  }
  return true;
}

}  // namespace

TEST(MailslotTest, OneReceiverPerNameCaseInsensitive) {
  auto first = Mailslot::create("Test_Slot_A");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Mailslot::create("test_slot_a"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorAlreadyExists);
  first.reset();
  EXPECT_NE(Mailslot::create("TEST_SLOT_A"), nullptr);
}

TEST(MailslotTest, OpenWithoutReceiverFails) {
  EXPECT_EQ(Mailslot::open("Test_No_Receiver"), nullptr);
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
}

TEST(MailslotTest, MessagesArriveWholeAndInOrder) {
  auto receiver = Mailslot::create("Test_Slot_B");
  ASSERT_NE(receiver, nullptr);
  uint32_t size = 0;
  ASSERT_TRUE(receiver->nextMessageSize(size));
  EXPECT_EQ(size, platform::kMailslotNoMessage);
  auto sender = Mailslot::open("test_slot_b");
  ASSERT_NE(sender, nullptr);
  const std::string messages[] = {"one", std::string("two\0x", 5), ""};
  for (const std::string& m : messages) ASSERT_TRUE(sender->write(m.data(), m.size()));
  for (const std::string& m : messages) {
    ASSERT_TRUE(receiver->nextMessageSize(size));
    EXPECT_EQ(size, m.size());
    std::string got;
    ASSERT_TRUE(receiver->read(got));
    EXPECT_EQ(got, m);
  }
  ASSERT_TRUE(receiver->nextMessageSize(size));
  EXPECT_EQ(size, platform::kMailslotNoMessage);
  EXPECT_FALSE(receiver->write("x", 1));
  std::string ignored;
  EXPECT_FALSE(sender->read(ignored));
}

// The kernel keeps only a few datagrams per socket; the receiver keeps
// 1000 messages or 1 MiB, whichever comes first, while it does not read.
TEST(MailslotTest, ReceiverHoldsABurstLargerThanTheSocketQueue) {
  const struct {
    int threads, perThread;
    size_t size;
  } rows[] = {{4, 250, 100}, {2, 5, 100 * 1024}};
  for (const auto& row : rows) {
    auto receiver = Mailslot::create("Test_Slot_Burst");
    ASSERT_NE(receiver, nullptr);
    std::vector<std::thread> writers;
    std::vector<int> refused(row.threads, 0);
    for (int t = 0; t < row.threads; ++t) {
      writers.emplace_back([&, t]() {
        auto sender = Mailslot::open("Test_Slot_Burst");
        if (!sender) {
          refused[t] = row.perThread;
          return;
        }
        for (int i = 0; i < row.perThread; ++i) {
          std::string m = std::to_string(t) + " " + std::to_string(i) + " ";
          m.resize(row.size, 'x');
          if (!deliver(*sender, m)) ++refused[t];
        }
      });
    }
    for (auto& w : writers) w.join();
    for (int t = 0; t < row.threads; ++t) EXPECT_EQ(refused[t], 0) << row.size;
    // Every message arrives whole, each sender's in its order.
    std::vector<int> next(row.threads, 0);
    int total = 0;
    uint32_t size = 0;
    while (receiver->nextMessageSize(size) && size != platform::kMailslotNoMessage) {
      std::string got;
      ASSERT_TRUE(receiver->read(got));
      ASSERT_EQ(got.size(), row.size);
      const int t = std::stoi(got);
      ASSERT_GE(t, 0);
      ASSERT_LT(t, row.threads);
      EXPECT_EQ(std::stoi(got.substr(got.find(' ') + 1)), next[t]++) << row.size;
      ++total;
    }
    EXPECT_EQ(total, row.threads * row.perThread) << row.size;
  }
}

TEST(MailslotTest, WritesNeverBlockOnAReceiverThatDoesNotRead) {
  auto receiver = Mailslot::create("Test_Slot_C");
  ASSERT_NE(receiver, nullptr);
  auto sender = Mailslot::open("Test_Slot_C");
  ASSERT_NE(sender, nullptr);
  const std::string message(1000, 'x');
  size_t accepted = 0;
  while (accepted < 100000 && deliver(*sender, message)) ++accepted;
  EXPECT_GE(accepted, platform::kMailslotQueueMessages);
  EXPECT_LT(accepted, 100000u);
  // Full for good: a write is refused at once, and waiting does not help.
  EXPECT_FALSE(sender->write(message.data(), message.size()));
  EXPECT_EQ(platform::lastError(), platform::kErrorNoSystemResources);
  EXPECT_FALSE(sender->waitForRoom(0));
  // Reading makes room again for the same handle.
  std::string got;
  ASSERT_TRUE(receiver->read(got));
  uint32_t size = 0;
  ASSERT_TRUE(receiver->nextMessageSize(size));  // tops the queue up from the socket
  EXPECT_TRUE(sender->write("y", 1));
  size_t read = 1;
  while (receiver->nextMessageSize(size) && size != platform::kMailslotNoMessage) {
    ASSERT_TRUE(receiver->read(got));
    ++read;
  }
  EXPECT_EQ(read, accepted + 1);
  EXPECT_EQ(got, "y");
}

TEST(MailslotTest, WritesFailOnceTheReceiverIsGone) {
  auto receiver = Mailslot::create("Test_Slot_D");
  ASSERT_NE(receiver, nullptr);
  auto sender = Mailslot::open("Test_Slot_D");
  ASSERT_NE(sender, nullptr);
  receiver.reset();
  EXPECT_FALSE(sender->write("x", 1));
  EXPECT_EQ(platform::lastError(), platform::kErrorFileNotFound);
  receiver = Mailslot::create("Test_Slot_D");
  ASSERT_NE(receiver, nullptr);
  EXPECT_FALSE(sender->write("x", 1));  // the old handle stays dead
  EXPECT_TRUE(Mailslot::open("Test_Slot_D")->write("y", 1));
}
