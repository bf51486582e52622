#include <gtest/gtest.h>

#include <string>

#include "platform/LastError.h"
#include "platform/Mailslot.h"

using platform::Mailslot;

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

TEST(MailslotTest, WritesNeverBlockOnAReceiverThatDoesNotRead) {
  auto receiver = Mailslot::create("Test_Slot_C");
  ASSERT_NE(receiver, nullptr);
  auto sender = Mailslot::open("Test_Slot_C");
  ASSERT_NE(sender, nullptr);
  const std::string message(1000, 'x');
  bool refused = false;
  for (int i = 0; i < 100000 && !refused; ++i)
    refused = !sender->write(message.data(), message.size());
  ASSERT_TRUE(refused);
  EXPECT_EQ(platform::lastError(), platform::kErrorNoSystemResources);
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
