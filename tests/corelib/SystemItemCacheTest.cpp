#include <gtest/gtest.h>

#include <cstdlib>
#include <latch>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "corelib/SystemItemCache.h"
#include "corelib/WinRegistry.h"
#include "platform/SystemInfo.h"

namespace {

using VemoraCorelib::SystemItemCache;
using VemoraCorelib::WinRegistry;

TEST(SystemItemCacheTest, MachineNameDropsOnlyADottedDomainEnding) {
  struct Case {
    std::string host, domain, machine;
  };
  const Case cases[] = {
      {"box.corp", "corp", "box"}, {"MYCORP", "CORP", "MYCORP"},
      {"CORP", "CORP", "CORP"},    {"box.corp", "", "box.corp"},
      {".corp", "corp", ""},       {"box.corp.x", "corp", "box.corp.x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemItemCache::machineName(c.host, c.domain), c.machine) << c.host;
  }
}

TEST(SystemItemCacheTest, OperatingSystemNames) {
  struct Case {
    uint32_t major, minor, sp;
    uint8_t product;
    uint16_t suite, arch;
    int r2;
    std::string name;
  };
  const Case cases[] = {
      {6, 1, 1, 1, 0, 9, 0, "windows_7_x64_sp1"},
      {6, 1, 0, 3, 0, 6, 0, "windows__server2008R2_ia64"},
      {6, 0, 2, 1, 0, 0, 0, "windows_vista_sp2"},
      {6, 0, 0, 3, 0, 9, 0, "windows_server2008_x64"},
      {6, 2, 0, 1, 0, 9, 0, "windows_6.2"},
      {6, 3, 0, 1, 0, 9, 0, "windows_6.3"},
      {5, 0, 4, 1, 0, 0, 0, "windows2000"},
      {5, 1, 3, 1, 0, 0, 0, "windows_xp"},
      {5, 2, 0, 1, 0, 9, 0, "windows_xp_x64"},
      {5, 2, 1, 3, 0, 0, 1, "windows_server2003_r2_sp1"},
      {5, 2, 0, 2, 0, 0, 0, "windows_nt-domain-controller"},
      {5, 2, 2, 3, 0x200, 0, 0, "windows_server2003_home_sp2"},
      {5, 2, 0, 7, 0, 0, 0, "windows_unknown"},
      {5, 3, 0, 1, 0, 0, 0, "windows_5.3"},
      {4, 0, 6, 1, 0, 0, 0, "windows_nt4_sp6"},
      {3, 51, 0, 1, 0, 0, 0, "windows_nt3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemItemCache::osName(c.major, c.minor, c.sp, c.product, c.suite, c.arch, c.r2),
              c.name);
  }
}

TEST(SystemItemCacheTest, LanguageTextPadsTheCodeAndFallsBack) {
  const std::string layouts = "SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\00000407";
  const std::string codes = "SYSTEM\\ControlSet001\\Control\\Keyboard Layout\\DosKeybCodes";
  WinRegistry::setString("HKEY_LOCAL_MACHINE", "SYSTEM\\Lang", "Default", "407", false);
  EXPECT_EQ(SystemItemCache::languageText("HKEY_LOCAL_MACHINE", "SYSTEM\\Lang", "Default"),
            "[unknown]:[unknown]");
  WinRegistry::setString("HKEY_LOCAL_MACHINE", layouts, "Layout Text", "German", false);
  EXPECT_EQ(SystemItemCache::languageText("HKEY_LOCAL_MACHINE", "SYSTEM\\Lang", "Default"),
            "German:[unknown]");
  WinRegistry::setString("HKEY_LOCAL_MACHINE", codes, "00000407", "gr", false);
  EXPECT_EQ(SystemItemCache::languageText("HKEY_LOCAL_MACHINE", "SYSTEM\\Lang", "Default"),
            "German:gr");
  EXPECT_EQ(SystemItemCache::languageText("HKEY_CURRENT_USER", "Keyboard Layout\\Preload", "1"),
            "[unknown]:[unknown]");
}

TEST(SystemItemCacheTest, CollectedItemsOfThisHost) {
  unsetenv("DISPLAY");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kHostName),
            platform::SystemInfo::computerName().value_or(""));
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kSessionOrDisplay),
            SystemItemCache::getItem(SystemItemCache::kHostName));
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kPlatform), "windows-32");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kOsBits), "32");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kByteOrder), "little");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kOsVersion), "1000");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kMajorVersion), "10");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kKeyboardType), "0(0,0)");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kSystemLanguage), "[unknown]:[unknown]");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kCurrentUser),
            platform::SystemInfo::userName().value_or("[unknown]"));
  EXPECT_FALSE(SystemItemCache::getItem(SystemItemCache::kSessionId).empty());
  // Unknown numbers and items the collection leaves unset read as empty
  // without collecting again.
  EXPECT_EQ(SystemItemCache::getItem(99), "");
  EXPECT_EQ(SystemItemCache::getItem(SystemItemCache::kOsName), "");
}

TEST(SystemItemCacheTest, DirectQueries) {
  for (const std::string& address : SystemItemCache::ipAddresses()) {
    EXPECT_NE(address, "127.0.0.1");
  }
  EXPECT_EQ(SystemItemCache::diskSerial("Q:\\no\\such\\volume"), "[unknown]");
  const std::string serial = SystemItemCache::diskSerial("C:\\");
  EXPECT_NE(serial, "[unknown]");
  EXPECT_EQ(serial.find_first_not_of("0123456789"), std::string::npos);
  const auto groups = SystemItemCache::localGroups();
  ASSERT_TRUE(groups.count("root") == 1);
  EXPECT_TRUE(SystemItemCache::groupMembers("root").count("root") == 1);  // primary group
  EXPECT_TRUE(SystemItemCache::userGroups("root").count("root") == 1);
  EXPECT_TRUE(SystemItemCache::groupMembers("no-such-group-here").empty());
  EXPECT_TRUE(SystemItemCache::userGroups("no-such-user-here").empty());
}

}  // namespace

namespace {

TEST(SystemItemCacheTest, SortedAddresses) {
  EXPECT_EQ(
      SystemItemCache::sortedAddresses(
          {"192.168.1.20", "10.0.0.2", "127.0.0.1", "192.168.1.3", "10.0.0.10", "9.9.9.9"}),
      (std::list<std::string>{"9.9.9.9", "10.0.0.2", "10.0.0.10", "192.168.1.3", "192.168.1.20"}));
  EXPECT_TRUE(SystemItemCache::sortedAddresses({"127.0.0.1"}).empty());
  const std::list<std::string> live = SystemItemCache::ipAddresses();
  EXPECT_EQ(live, SystemItemCache::sortedAddresses({live.begin(), live.end()}));
}

// Threads that ask at the same moment: whether each got the value of one
// complete collection.
bool collectAtOnce() {
  const auto host = platform::SystemInfo::computerName();
  const auto workgroup = platform::SystemInfo::workgroup();
  const std::string domain = workgroup ? workgroup->substr(0, 200) : "";
  const std::string machine = SystemItemCache::machineName(host.value_or(""), domain);
  const int items[] = {SystemItemCache::kMachineName, SystemItemCache::kHostName,
                       SystemItemCache::kDomain, SystemItemCache::kMachineName};
  std::vector<std::string> seen(8);
  std::latch start(static_cast<std::ptrdiff_t>(seen.size()));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      seen[i] = SystemItemCache::getItem(items[i % 4]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  bool same = !machine.empty();
  for (size_t i = 0; i < seen.size(); ++i) {
    const int item = items[i % 4];
    const std::string expected = item == SystemItemCache::kMachineName ? machine
                                 : item == SystemItemCache::kHostName  ? host.value_or("")
                                                                       : domain;
    same = same && seen[i] == expected;
  }
  return same;
}

// In a fresh process the store is still empty, so the threads really
// collect at once.
TEST(SystemItemCacheTest, ThreadsCollectingAtOnceSeeOneStore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(collectAtOnce() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
