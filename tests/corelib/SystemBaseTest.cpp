#include <gtest/gtest.h>

#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include "corelib/AppFrame.h"
#include "corelib/FileRegistry.h"
#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"
#include "corelib/SystemBase.h"
#include "corelib/SystemItemCache.h"
#include "corelib/SystemRequest.h"
#include "corelib/WinRegistry.h"
#include "platform/RegistryStore.h"

namespace {

using VemoraCorelib::ImsAgent;
using VemoraCorelib::ImsMessage;
using VemoraCorelib::SystemBase;
using VemoraCorelib::SystemItemCache;
using VemoraCorelib::SystemRequest;
using VemoraCorelib::WinRegistry;
using VemoraCorelib::FileRegistry::useFileRegistry;

const std::string kMachine = "HKEY_LOCAL_MACHINE";

// Sends one request directly to the agent; the result of its handler.
int ask(SystemBase& base, const std::string& group, SystemRequest& request,
        const std::string& general = "system") {
  ImsMessage message(general, group, "", &request);
  return base.handleMessage(message);
}

std::string query(SystemBase& base, const std::string& key, int* result = nullptr,
                  int32_t* status = nullptr) {
  std::string text;
  SystemRequest request(key, SystemRequest::kQuery, &text);
  const int answer = ask(base, "query", request);
  if (result != nullptr) *result = answer;
  if (status != nullptr) *status = request.status;
  return text;
}

TEST(SystemBaseTest, SingleFactsByName) {
  SystemBase base;
  int result = 0;
  int32_t status = 0;
  EXPECT_EQ(query(base, "hostname", &result, &status),
            SystemItemCache::getItem(SystemItemCache::kHostName));
  EXPECT_EQ(result, ImsAgent::kHandledStop);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(query(base, "osbits"), "32");
  EXPECT_EQ(query(base, "osversion"), "1000");
  EXPECT_EQ(query(base, "platform"), "windows-32");
  EXPECT_EQ(query(base, "currentuser"), SystemItemCache::getItem(SystemItemCache::kCurrentUser));
  query(base, "HostName", &result, &status);  // names are exact
  EXPECT_EQ(result, ImsAgent::kHandled);
  EXPECT_EQ(status, 3);
  std::string text = "kept";
  SystemRequest request("hostname.extra", SystemRequest::kQuery, &text);
  EXPECT_EQ(ask(base, "query", request), ImsAgent::kHandledStop);
  EXPECT_EQ(request.key, "hostname");
  EXPECT_EQ(text, SystemItemCache::getItem(SystemItemCache::kHostName));
}

TEST(SystemBaseTest, ListsAndArguments) {
  SystemBase base;
  const std::string members = query(base, "groupusers.root");
  EXPECT_NE(members.find("root"), std::string::npos);
  EXPECT_FALSE(members.empty());
  EXPECT_NE(members.back(), '\n');
  EXPECT_EQ(query(base, "groupusers"), "");
  EXPECT_NE(("\n" + query(base, "groups") + "\n").find("\nroot\n"), std::string::npos);
  EXPECT_NE(("\n" + query(base, "usergroups.root") + "\n").find("\nroot\n"), std::string::npos);
  EXPECT_EQ(query(base, "ip").find("127.0.0.1"), std::string::npos);
  const std::string serial = query(base, "diskserial.C:\\");
  EXPECT_FALSE(serial.empty());
  EXPECT_EQ(serial.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(query(base, "diskserial.Q:\\"), "[unknown]");
  // An empty list adds nothing to the caller's text and takes nothing away.
  std::string text = "prefix";
  SystemRequest request("groupusers.no-such-group", SystemRequest::kQuery, &text);
  EXPECT_EQ(ask(base, "query", request), ImsAgent::kHandledStop);
  EXPECT_EQ(text, "prefix");
}

TEST(SystemBaseTest, RegistryReadLooksUnderTheRoleThenTheWowKey) {
  ASSERT_FALSE(useFileRegistry());
  SystemBase base;
  ASSERT_EQ(SystemBase::role(), "Client");
  int64_t port = 0;
  SystemRequest request("Settings\\port", SystemRequest::kInt64, &port);
  EXPECT_EQ(ask(base, "query", request), ImsAgent::kHandledStop);
  EXPECT_EQ(request.status, 3);
  WinRegistry::setString(kMachine, "SOFTWARE\\Wow6432Node\\Vemora\\Client\\Settings", "port", "-81",
                         false);
  request.status = 0;
  EXPECT_EQ(ask(base, "query", request), ImsAgent::kHandledStop);
  EXPECT_EQ(request.status, 0);
  EXPECT_EQ(port, -81);
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora\\Client\\Settings", "port", "80", false);
  EXPECT_EQ(ask(base, "query", request), ImsAgent::kHandledStop);
  EXPECT_EQ(port, 80);
  std::list<std::string> hosts;
  WinRegistry::setList(kMachine, "SOFTWARE\\Vemora\\Client", "hosts", {"a", "b"}, false);
  SystemRequest list("hosts", SystemRequest::kList, &hosts);
  EXPECT_EQ(ask(base, "query", list), ImsAgent::kHandledStop);
  EXPECT_EQ(hosts, (std::list<std::string>{"a", "b"}));
  double ratio = 0;
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora\\Client", "ratio", "2.5", false);
  SystemRequest real("ratio", SystemRequest::kDouble, &ratio);
  EXPECT_EQ(ask(base, "query", real), ImsAgent::kHandledStop);
  EXPECT_EQ(ratio, 2.5);
}

TEST(SystemBaseTest, RegistryReadOfAnotherTypeIsStatusFour) {
  SystemBase base;
  platform::RegistryStore::Key key;
  ASSERT_EQ(platform::RegistryStore::createKey(platform::RegistryRoot::kLocalMachine,
                                               "SOFTWARE\\Vemora\\Client", &key),
            0u);
  const uint8_t dword[4] = {1, 0, 0, 0};
  ASSERT_EQ(platform::RegistryStore::setValue(key, "flag", platform::kRegDword, dword, 4), 0u);
  std::string text;
  SystemRequest request("flag", SystemRequest::kString, &text);
  EXPECT_EQ(ask(base, "query", request), ImsAgent::kHandledStop);
  EXPECT_EQ(request.status, 4);
}

TEST(SystemBaseTest, RegistryWriteGoesBelowTheSuiteKeyWithoutTheRole) {
  SystemBase base;
  std::string name = "relay";
  SystemRequest write("Settings\\name", SystemRequest::kString, &name);
  EXPECT_EQ(ask(base, "set", write), ImsAgent::kHandledStop);
  EXPECT_EQ(write.status, 0);
  EXPECT_EQ(WinRegistry::getString(kMachine, "SOFTWARE\\Vemora\\Settings", "name", false), "relay");
  std::string back;
  SystemRequest read("Settings\\name", SystemRequest::kString, &back);
  ask(base, "query", read);
  EXPECT_EQ(read.status, 3);  // read back only through a key that names the role
  uint64_t count = 18446744073709551615ull;
  SystemRequest number("count", SystemRequest::kUint64, &count);
  EXPECT_EQ(ask(base, "set", number), ImsAgent::kHandledStop);
  EXPECT_EQ(WinRegistry::getString(kMachine, "SOFTWARE\\Vemora", "count", false),
            "18446744073709551615");
  std::list<std::string> items = {"x", "y"};
  SystemRequest list("Lists\\items", SystemRequest::kList, &items, true);
  EXPECT_EQ(ask(base, "set", list), ImsAgent::kHandledStop);
  // Per-user values of a user other than SYSTEM go to the user's own root.
  EXPECT_EQ(WinRegistry::getList("HKEY_CURRENT_USER", "SOFTWARE\\Vemora\\Lists", "items", false),
            items);
  EXPECT_THROW(WinRegistry::getList(kMachine, "SOFTWARE\\Vemora\\Lists", "items", false),
               WinRegistry::Get_NotFound);
}

TEST(SystemBaseTest, RegistryWriteFailuresBecomeStatuses) {
  SystemBase base;
  const char* saved = std::getenv("VEMORA_REGISTRY_DIR");
  const std::string folder = saved;
  setenv("VEMORA_REGISTRY_DIR", "/proc/self/no-registry", 1);
  std::string text = "t";
  SystemRequest request("v", SystemRequest::kString, &text);
  EXPECT_EQ(ask(base, "set", request), ImsAgent::kHandledStop);
  EXPECT_EQ(request.status, 10);
  setenv("VEMORA_REGISTRY_DIR", folder.c_str(), 1);
}

TEST(SystemBaseTest, RequestsOutsideTheTable) {
  SystemBase base;
  std::string text;
  SystemRequest other("hostname", SystemRequest::kQuery, &text);
  EXPECT_EQ(ask(base, "other", other), ImsAgent::kNotHandled);
  EXPECT_EQ(ask(base, "query", other, "debug"), ImsAgent::kNotHandled);
  SystemRequest badQuery("hostname", 15, &text);
  EXPECT_EQ(ask(base, "query", badQuery), ImsAgent::kHandled);
  EXPECT_EQ(badQuery.status, 5);
  SystemRequest badSet("hostname", SystemRequest::kQuery, &text);
  EXPECT_EQ(ask(base, "set", badSet), ImsAgent::kHandledStop);
  EXPECT_EQ(badSet.status, 11);
  // A variable of another kind than the sub-type, or none, is never written.
  SystemRequest mismatch("port", SystemRequest::kInt64, &text);
  EXPECT_EQ(ask(base, "query", mismatch), ImsAgent::kHandled);
  EXPECT_EQ(mismatch.status, 5);
  SystemRequest none("port", SystemRequest::kString, SystemRequest::Value());
  EXPECT_EQ(ask(base, "set", none), ImsAgent::kHandledStop);
  EXPECT_EQ(none.status, 11);
  ImsMessage empty("system", "query", "");
  EXPECT_EQ(base.handleMessage(empty), ImsAgent::kNotHandled);
}

TEST(SystemBaseTest, HooksCarryRequestsWhileTheAgentLives) {
  ImsAgent sender("tester");
  std::string text;
  SystemRequest request("hostname", SystemRequest::kQuery, &text);
  {
    SystemBase base;
    ImsMessage message("system", "query", "anything", &request);
    EXPECT_TRUE(sender.sendMessage(message));
    EXPECT_EQ(text, SystemItemCache::getItem(SystemItemCache::kHostName));
    EXPECT_EQ(base.handleHookMessage(12345, message), ImsAgent::kNotHandled);
  }
  text.clear();
  ImsMessage message("system", "query", "anything", &request);
  EXPECT_FALSE(sender.sendMessage(message));
  EXPECT_EQ(text, "");
}

// A tool that offers the option "filereg", as tools with configuration
// options do.
class RegistryTool : public VemoraCorelib::AppFrame {
 public:
  explicit RegistryTool(std::vector<const char*> arguments)
      : AppFrame("tool", "tool", "1", true, "Maker"), arguments_(std::move(arguments)) {
    setArguments(static_cast<int>(arguments_.size()), arguments_.data());
    if (!configure() || !processCommandLine()) setState(kFailed);
  }
  bool configure() override { return parser().addArgOption("File registry", 'f', "filereg", {}); }
  bool shutdown() override { return true; }
  int run() override { return 0; }

 private:
  std::vector<const char*> arguments_;
};

// The switch never goes off again, so this runs in a child process.
int fileRegistryRoundTrip() {
  RegistryTool tool({"tool", "--filereg", "C:\\sysbase\\values.freg"});
  if (tool.state() != VemoraCorelib::AppFrame::kRun || !tool.initialize()) return 10;
  if (!useFileRegistry()) return 11;
  std::string text = "stored text";
  SystemRequest write("Net\\name", SystemRequest::kString, &text);
  ImsMessage writeMessage("system", "set", "", &write);
  if (tool.systemBase().handleMessage(writeMessage) != 3) return 12;
  if (write.status != 0) return 13;
  std::string back;
  SystemRequest read("Net\\name", SystemRequest::kString, &back);
  ImsMessage readMessage("system", "query", "", &read);
  if (tool.systemBase().handleMessage(readMessage) != 3 || back != text) return 14;
  int64_t number = 0;
  SystemRequest wrongType("Net\\name", SystemRequest::kInt64, &number);
  ImsMessage wrongMessage("system", "query", "", &wrongType);
  if (tool.systemBase().handleMessage(wrongMessage) != 3 || wrongType.status != 4) return 15;
  SystemRequest missing("Net\\other", SystemRequest::kString, &back);
  ImsMessage missingMessage("system", "query", "", &missing);
  if (tool.systemBase().handleMessage(missingMessage) != 3 || missing.status != 3) return 16;
  std::list<std::string> items = {"a", "b"}, itemsBack;
  SystemRequest writeList("Net\\hosts", SystemRequest::kList, &items);
  ImsMessage writeListMessage("system", "set", "", &writeList);
  tool.systemBase().handleMessage(writeListMessage);
  SystemRequest readList("Net\\hosts", SystemRequest::kList, &itemsBack);
  ImsMessage readListMessage("system", "query", "", &readList);
  tool.systemBase().handleMessage(readListMessage);
  if (itemsBack != items) return 17;
  // Nothing went to the system registry.
  try {
    WinRegistry::getString(kMachine, "SOFTWARE\\Vemora\\Net", "name", false);
    return 18;
  } catch (const WinRegistry::Get_NotFound&) {
  }
  return 0;
}

TEST(SystemBaseDeathTest, FileRegistryServesValuesOnceTheOptionIsApplied) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(fileRegistryRoundTrip()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
