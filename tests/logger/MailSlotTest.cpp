#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <string>

#include "logger/IPCClient.h"
#include "logger/IPCException.h"
#include "logger/MailSlot.h"

using Vemora::IPC;
using Vemora::IPCClient;
using Vemora::IPCException;
using Vemora::MailSlot;

namespace {

std::list<std::string> drain(MailSlot& receiver) {
  std::list<std::string> messages;
  receiver.receive(messages);
  return messages;
}

}  // namespace

TEST(MailSlotTest, RecordText) {
  const std::string record = IPCClient::recordText("LOGMSG", "", "x", "");
  EXPECT_EQ(record, "Vemora\x1BLOGMSG\x1B\x1Bx\x1B");
  EXPECT_EQ(record.size() + 1, 18u);  // with the closing zero byte
  EXPECT_EQ(IPCClient::recordText("LOGMSG", "", "x", "y"), "Vemora\x1BLOGMSG\x1B\x1Bx\x1By\x1B");
}

TEST(MailSlotTest, ClientRecordsArriveInOrder) {
  MailSlot receiver(IPC::kReceiver, "Test_Ipc_A");
  EXPECT_TRUE(drain(receiver).empty());
  IPCClient client("test_ipc_a");
  for (const char* body : {"1", "2", "3"}) EXPECT_TRUE(client.send("LOGMSG", "", body, ""));
  EXPECT_EQ(drain(receiver), (std::list<std::string>{"Vemora\x1BLOGMSG\x1B\x1B"
                                                     "1\x1B",
                                                     "Vemora\x1BLOGMSG\x1B\x1B"
                                                     "2\x1B",
                                                     "Vemora\x1BLOGMSG\x1B\x1B"
                                                     "3\x1B"}));
  EXPECT_TRUE(drain(receiver).empty());
}

TEST(MailSlotTest, WrongDirectionAndDuplicateReceiver) {
  MailSlot receiver(IPC::kReceiver, "Test_Ipc_B");
  try {
    receiver.send("x");
    FAIL() << "a receiver sent";
  } catch (const IPCException& e) {
    EXPECT_EQ(e.code(), 3);
    EXPECT_EQ(e.text(), "IPC: Receiver cannot send. (Code: 4.3)");
  }
  MailSlot sender(IPC::kLocalSender, "Test_Ipc_B");
  std::list<std::string> out;
  try {
    sender.receive(out);
    FAIL() << "a sender received";
  } catch (const IPCException& e) {
    EXPECT_EQ(e.code(), 4);
  }
  try {
    MailSlot second(IPC::kReceiver, "TEST_IPC_B");
    FAIL() << "two receivers of one name";
  } catch (const IPCException& e) {
    EXPECT_EQ(e.code(), 2);
    EXPECT_EQ(e.message(), "183");
  }
}

TEST(MailSlotTest, SenderRecoversWhenTheReceiverAppearsOrRestarts) {
  IPCClient client("Test_Ipc_C");
  EXPECT_FALSE(client.sendRaw("lost"));
  MailSlot sender(IPC::kLocalSender, "Test_Ipc_C");
  try {
    sender.send("lost");
    FAIL() << "sent without receiver";
  } catch (const IPCException& e) {
    EXPECT_EQ(e.code(), 5);
    EXPECT_EQ(e.text(), "IPC: Unable to send message. (Code: 4.5)");
    EXPECT_FALSE(e.message().empty());
  }
  {
    MailSlot receiver(IPC::kReceiver, "Test_Ipc_C");
    EXPECT_TRUE(client.sendRaw("first"));
    EXPECT_EQ(drain(receiver), std::list<std::string>{"first"});
  }
  // The receiver went away: the kept handle fails once and is dropped.
  EXPECT_FALSE(client.sendRaw("lost"));
  MailSlot restarted(IPC::kReceiver, "Test_Ipc_C");
  EXPECT_TRUE(client.sendRaw("again"));
  EXPECT_EQ(drain(restarted), std::list<std::string>{"again"});
}

// A receiver that does not read: once it is full, a send waits about a
// second for room once, later sends are refused at once, and sending works
// again as soon as the receiver has read.
TEST(MailSlotTest, FullReceiverCostsOneWaitNotOnePerSend) {
  MailSlot receiver(IPC::kReceiver, "Test_Ipc_Full");
  IPCClient client("Test_Ipc_Full");
  const std::string body(1000, 'x');
  size_t accepted = 0;
  while (accepted < 100000 && client.sendRaw(body)) ++accepted;
  EXPECT_GE(accepted, 1000u);
  ASSERT_LT(accepted, 100000u);
  const auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(client.sendRaw(body));
  // Ten waits of a second would take ten; the bound is generous.
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
  EXPECT_EQ(drain(receiver).size(), accepted);
  EXPECT_TRUE(client.sendRaw("again"));
  EXPECT_EQ(drain(receiver), std::list<std::string>{"again"});
}
