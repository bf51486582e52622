#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/SystemInfo.h"

using platform::SystemInfo;

TEST(PlatformSystemInfoTest, DescribesThisMachine) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  const std::string full = name;
  const auto computer = SystemInfo::computerName();
  ASSERT_TRUE(computer.has_value());
  EXPECT_EQ(*computer, full.substr(0, full.find('.')));
  const auto domain = SystemInfo::dnsDomain();
  ASSERT_TRUE(domain.has_value());
  if (full.find('.') != std::string::npos) {
    EXPECT_EQ(*domain, full.substr(full.find('.') + 1));
  }
#if defined(__x86_64__)
  EXPECT_EQ(SystemInfo::processorArchitecture(), 9);
#endif
  const auto version = SystemInfo::version();
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->platformId, 2u);
  EXPECT_EQ(version->productType, 1);
  EXPECT_FALSE(SystemInfo::workgroup().has_value());
  EXPECT_FALSE(SystemInfo::isWow64());
}

TEST(PlatformSystemInfoTest, UserSessionVolumeAndAddresses) {
  EXPECT_TRUE(SystemInfo::userName().has_value());
  EXPECT_TRUE(SystemInfo::sessionId().has_value());
  EXPECT_TRUE(SystemInfo::volumeSerial("/").has_value());
  EXPECT_FALSE(SystemInfo::volumeSerial("/no/such/folder").has_value());
  EXPECT_FALSE(SystemInfo::volumeSerial("").has_value());
  const auto addresses = SystemInfo::ipv4Addresses();
  ASSERT_TRUE(addresses.has_value());
  bool loopback = false;
  for (const std::string& address : *addresses) loopback = loopback || address == "127.0.0.1";
  EXPECT_TRUE(loopback);  // the table lists it; the core library leaves it out
}

TEST(PlatformSystemInfoTest, LocalGroupsAndMembers) {
  const auto groups = SystemInfo::localGroups();
  ASSERT_TRUE(groups.has_value());
  EXPECT_EQ(groups->count("root"), 1u);
  const auto members = SystemInfo::groupMembers("root");
  ASSERT_TRUE(members.has_value());
  EXPECT_EQ(members->count("root"), 1u);
  EXPECT_FALSE(SystemInfo::groupMembers("no-such-group-here").has_value());
}
