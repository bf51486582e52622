// Administrative commands on a configured RelayHub (no threads, no
// sockets): the replies of HELP, STATUS and GETBROADCAST, CLEAR, the
// confirmations, RUNAPP with real programs, QUIT and RESTART.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/StringOps.h"
#include "platform/Clock.h"
#include "relayhub/DaemonFlags.h"
#include "relayhub/RelayHub.h"

using Vemora::Address;
using Vemora::DaemonFlags;
using Vemora::Message;
using Vemora::MessageBox;
using Vemora::RelayHub;

namespace {

std::string driveC() {
  return std::getenv("VEMORA_DRIVE_C");
}

void writeProgram(const std::string& path, const std::string& body) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << "#!/bin/sh\n" << body;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

class AdminCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = std::string("admin-") + info->name();
    root = driveC() + "/" + folder;
    std::filesystem::remove_all(root);
    runs = root + "/runs.txt";
    // Each program notes its name and arguments, one line a run.
    for (const char* name : {"one", "two", "bin/three", "elsewhere/four"}) {
      const std::string base = std::filesystem::path(name).filename().string();
      writeProgram(root + "/" + name + ".exe", "echo \"" + base + " $*\" >> '" + runs + "'\n");
    }
    const std::string c = "C:/" + folder;
    std::ofstream(root + "/hub.conf")
        << "relayhub()=\"\"{\n"
           "  port(Integer)=4711{}\n"
           "  max-connections(Integer)=2{}\n"
           "  mappings(DirName)=\""
        << c
        << "/maps\"{}\n"
           "}\n"
           "Vemora()=\"\"{ directories()=\"\"{\n"
           "  temp(DirName)=\""
        << c << "/tmp\"{}\n  bin(DirName)=\"" << c << "/bin\"{}\n  log(DirName)=\"" << c
        << "/log\"{}\n"
           "}}\n"
           "apps()=\"\"{ tool()=\"\"{\n"
           "  first()=\"\"{ active(Bool)=true{} key(String)=\"*\"{} executable(FileName)=\""
        << c
        << "/one\"{} }\n"
           "  second()=\"\"{ active(Bool)=true{} key(String)=\"A*\"{} executable(FileName)=\""
        << c << "/two\"{} }\n}}\n";
    const std::string conf = c + "/hub.conf";
    const char* argv[] = {"relayhub", "-c", conf.c_str()};
    hub = std::make_unique<RelayHub>(&stop, 3, const_cast<char**>(argv));
    ASSERT_TRUE(hub->configure());
  }

  static Message request(uint32_t id, const std::string& data, const std::string& header = "") {
    Message m(id);
    m.setType(Message::kCentral);
    m.setSource("alice", "h");
    m.setTarget(Address("bob", "h"));
    m.setHeader(header);
    m.setData(data);
    return m;
  }
  static Message mail(uint32_t id, const std::string& from, const std::string& to,
                      int32_t priority = Message::kNormal) {
    Message m(id);
    m.setSource(from, "h");
    m.setTarget(Address(to, "h"));
    m.setPriority(priority);
    m.setData("mail " + std::to_string(id));
    return m;
  }
  // What the daemon has queued for alice, the requester.
  std::vector<Message> replies() {
    auto it = hub->messageBoxes().find(Address("alice", "h"));
    if (it == hub->messageBoxes().end()) return {};
    return {it->second.pending().begin(), it->second.pending().end()};
  }
  std::string banner() const { return "Relay hub on " + hub->hostName() + " (port 4711)\n"; }
  // The lines the programs wrote, once `count` have arrived (bounded wait).
  std::vector<std::string> runLines(size_t count) {
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i) {
      lines.clear();
      std::ifstream in(runs);
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      if (lines.size() >= count) break;
      platform::realSleepMs(5);
    }
    return lines;
  }
  // Runs one RUNAPP request; its reply's header.
  std::string runApp(const std::string& data) {
    const size_t before = replies().size();
    hub->handleAdminMessage(request(nextId++, data));
    const std::vector<Message> now = replies();
    EXPECT_EQ(now.size(), before + 1);
    if (now.size() != before + 1) return "";
    EXPECT_EQ(now.back().getData(), data);
    return now.back().getHeader();
  }

  uint32_t nextId = 900;
  std::atomic<bool> stop{false};
  std::string folder, root, runs;
  std::unique_ptr<RelayHub> hub;
};

TEST_F(AdminCommandsTest, StatusThenHelpBothReachTheRequesterInOrder) {
  hub->place(mail(1, "carol", "bob", Message::kHigh), true);
  hub->place(mail(2, "carol", "bob"), true);
  hub->place(mail(3, "bob", "carol"), true);
  hub->place(request(77, "STATUS\nHELP"), true);
  const std::vector<Message> out = replies();
  ASSERT_EQ(out.size(), 2u);
  // The first reply carries the request's id; a second one under the same
  // id would replace it in the box, so it gets an id of its own.
  EXPECT_EQ(out[0].getId(), 77u);
  EXPECT_NE(out[1].getId(), 77u);
  EXPECT_NE(out[1].getId(), 0u);
  for (const Message& m : out) {
    EXPECT_EQ(m.getType(), Message::kStatement);
    EXPECT_EQ(m.getSource().name, "<noreply=relayhub>");
    EXPECT_EQ(m.getSource().host, Vemora::StringOps::lowerCopy(hub->hostName()));
    EXPECT_EQ(m.getTarget(), Address("alice", "h"));
  }
  // The requester's box is made by the first reply, after its text.
  EXPECT_EQ(out[0].getData(), banner() +
                                  "Message boxes:\n"
                                  " - bob@h (2 messages, 1 high priority)\n"
                                  " - carol@h (1 messages, 0 high priority)\n");
  EXPECT_EQ(out[1].getData(),
            banner() +
                "\n"
                "STATUS       : Report current status\n"
                "GETBROADCAST : Specify an address on the second line (can be globs), for which "
                "to get all broadcast messages\n"
                "CLEAR        : Clear undelivered messages target address + report status\n"
                "RUNAPP       : Run the application specified on the following lines, where one "
                "line is app=<basename> and antother (optional) is args=<arguments to "
                "application>\n"
                "QUIT         : Terminate the relay hub\n"
                "RESTART      : Restart the relay hub\n");
}

TEST_F(AdminCommandsTest, OnlyTheExactFirstWordIsACommand) {
  hub->handleAdminMessage(request(5, "HELP\r\nhelp\n\nNOPE\n HELP\nHELP me please\n"));
  const std::vector<Message> out = replies();
  ASSERT_EQ(out.size(), 1u);  // only "HELP me please"
  EXPECT_EQ(out[0].getData().rfind(banner(), 0), 0u);
  hub->handleAdminMessage(request(6, ""));
  EXPECT_EQ(replies().size(), 1u);
}

TEST_F(AdminCommandsTest, ClearEmptiesTheTargetBoxWithoutAReply) {
  hub->place(mail(1, "carol", "bob"), true);
  hub->place(mail(2, "carol", "bob"), true);
  std::list<Message> handed;
  hub->extract(Address("bob", "h"), handed, 0, 1);
  ASSERT_EQ(handed.size(), 2u);
  hub->place(mail(3, "carol", "bob"), true);
  hub->handleAdminMessage(request(8, "CLEAR"));
  const MessageBox& box = hub->messageBoxes().at(Address("bob", "h"));
  EXPECT_TRUE(box.pending().empty());
  EXPECT_TRUE(box.unconfirmed().empty());
  EXPECT_TRUE(replies().empty());
  const std::string boxDir = root + "/tmp/RelayHub/msgboxes/bob__h";
  EXPECT_TRUE(std::filesystem::is_empty(boxDir + "/unsent"));
  EXPECT_FALSE(std::filesystem::exists(boxDir + "/unconfirmed/1.txt"));

  // A target without a box: nothing, and no box is made.
  Message other = request(9, "CLEAR");
  other.setTarget(Address("nobody", "h"));
  hub->handleAdminMessage(other);
  EXPECT_EQ(hub->messageBoxes().count(Address("nobody", "h")), 0u);
}

TEST_F(AdminCommandsTest, HandledConfirmsEverywhereAndHandledLocalOnlyTheSendersBox) {
  // Message 4 reached bob and carol (same id, same source) and was handed out.
  hub->place(mail(4, "dave", "bob"), true);
  hub->place(mail(4, "dave", "carol"), true);
  std::list<Message> out;
  hub->extract(Address("bob", "h"), out, 0, 1);
  hub->extract(Address("carol", "h"), out, 0, 1);
  auto& boxes = hub->messageBoxes();
  ASSERT_EQ(boxes.at(Address("bob", "h")).unconfirmed().count(4), 1u);
  ASSERT_EQ(boxes.at(Address("carol", "h")).unconfirmed().count(4), 1u);

  Message local = request(4, "HANDLED_LOCAL");
  local.setSource("bob", "h");
  hub->handleAdminMessage(local);
  EXPECT_EQ(boxes.at(Address("bob", "h")).unconfirmed().count(4), 0u);
  EXPECT_EQ(boxes.at(Address("bob", "h")).noBroadcast().count(4), 1u);
  EXPECT_EQ(boxes.at(Address("carol", "h")).unconfirmed().count(4), 1u);

  hub->handleAdminMessage(request(4, "HANDLED"));
  EXPECT_EQ(boxes.at(Address("carol", "h")).unconfirmed().count(4), 0u);
  EXPECT_TRUE(replies().empty());
}

TEST_F(AdminCommandsTest, HandledWithdrawsTheBroadcast) {
  Message wide = mail(12, "dave", "x");
  wide.setTargetExact(Address("*", "h"));
  hub->place(wide, true);
  ASSERT_EQ(hub->broadcastList().size(), 1u);
  hub->handleAdminMessage(request(12, "HANDLED"));
  EXPECT_TRUE(hub->broadcastList().empty());
  EXPECT_FALSE(std::filesystem::exists(root + "/tmp/RelayHub/broadcast/12.txt"));
}

TEST_F(AdminCommandsTest, GetBroadcastReadsTheNextLineAndTheRestRuns) {
  Message wide = mail(13, "dave", "x");
  wide.setTargetExact(Address("ag*", "*"));
  hub->place(wide, true);
  hub->handleAdminMessage(request(21, "GETBROADCAST\nagent@host\nSTATUS\nGETBROADCAST"));
  const std::vector<Message> out = replies();
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0].getData(), "There is one broadcast message for agent@host");
  EXPECT_EQ(out[0].getId(), 21u);
  EXPECT_EQ(out[1].getId(), 13u);  // the copy
  EXPECT_NE(out[2].getId(), 21u);
  EXPECT_NE(out[3].getId(), 21u);
  EXPECT_EQ(out[2].getData().rfind(banner() + "Message boxes:\n", 0), 0u);
  EXPECT_EQ(out[3].getData(), "Invalid/missing target specified!");
}

TEST_F(AdminCommandsTest, RunAppPicksTheEntryByKeyFromTheLast) {
  EXPECT_EQ(runApp("RUNAPP\napp=tool\nkey=apple\nargs=-x 1"), "OK");
  EXPECT_EQ(runApp("RUNAPP\nkey=apple\napp=tool\nargs=-y"), "OK");  // key first
  EXPECT_EQ(runApp("RUNAPP\napp=tool\nkey=berry"), "OK");
  EXPECT_EQ(runApp("RUNAPP\napp=tool"), "OK");  // an empty key matches "*"
  // The key is compared as sent with the lower-cased pattern.
  EXPECT_EQ(runApp("RUNAPP\napp=tool\nkey=Apple"), "OK");
  std::vector<std::string> lines = runLines(5);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"one ", "one ", "one ", "two -x 1", "two -y"}));
}

TEST_F(AdminCommandsTest, RunAppOfAnUnconfiguredNameUsesTheProgramDirectory) {
  EXPECT_EQ(runApp("RUNAPP\napp= three \nargs= \"a b\" c \nother=1\napp=three"), "OK");
  EXPECT_EQ(runLines(1), std::vector<std::string>{"three a b c"});
  EXPECT_EQ(runApp("RUNAPP\napp=missing"), "ERR");
  EXPECT_EQ(runApp("RUNAPP\nargs=-x"), "ERR");
  EXPECT_EQ(runApp("RUNAPP"), "ERR");
}

TEST_F(AdminCommandsTest, RunAppNeverLeavesTheProgramDirectory) {
  for (const char* app :
       {"../elsewhere/four", "..\\elsewhere\\four", "C:/admin-x/four", "\"three\""}) {
    EXPECT_EQ(runApp(std::string("RUNAPP\napp=") + app), "ERR") << app;
  }
  EXPECT_EQ(runApp("RUNAPP\napp=three"), "OK");
  EXPECT_EQ(runLines(1), std::vector<std::string>{"three "});  // four never ran
}

TEST_F(AdminCommandsTest, LinesAfterRunAppAreParametersNotCommands) {
  hub->handleAdminMessage(request(30, "RUNAPP\napp=three\nkey=k\nQUIT\nHELP", "RAVEN"));
  EXPECT_FALSE(stop.load());
  const std::vector<Message> out = replies();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].getHeader(), "OK");
  EXPECT_EQ(out[0].getId(), 30u);
}

TEST_F(AdminCommandsTest, QuitAndRestartNeedTheAdminHeader) {
  const bool restartBefore = DaemonFlags::restart().load();
  hub->handleAdminMessage(request(40, "QUIT\nRESTART", "raven"));
  hub->handleAdminMessage(request(41, "QUIT\nRESTART"));
  EXPECT_FALSE(stop.load());
  EXPECT_EQ(DaemonFlags::restart().load(), restartBefore);
  EXPECT_TRUE(replies().empty());

  hub->handleAdminMessage(request(42, "QUIT", "RAVEN"));
  EXPECT_TRUE(stop.load());
  EXPECT_EQ(DaemonFlags::restart().load(), restartBefore);
  stop = false;
  hub->handleAdminMessage(request(43, "RESTART", "RAVEN"));
  EXPECT_TRUE(stop.load());
  EXPECT_TRUE(DaemonFlags::restart().load());
}

}  // namespace
