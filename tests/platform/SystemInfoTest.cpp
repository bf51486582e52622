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
