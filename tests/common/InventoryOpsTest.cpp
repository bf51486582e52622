#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "common/InventoryOps.h"
#include "common/SystemInfo.h"
#include "platform/Env.h"
#include "platform/RegistryStore.h"
#include "support/ScopeGuard.h"

using Vemora::InventoryOps;

TEST(InventoryOpsTest, ArchitectureNames) {
  const struct {
    uint32_t code;
    const char* name;
  } cases[] = {{0, "i386"},   {1, "mips"},        {2, "alpha"}, {3, "powerpc"},
               {5, "error"},  {6, "ia64"},        {9, "amd64"}, {10, "ia32_on_win64"},
               {12, "error"}, {0xFFFF, "unknown"}};
  for (const auto& c : cases) EXPECT_EQ(InventoryOps::architectureName(c.code), c.name);
}

TEST(InventoryOpsTest, VersionTexts) {
  const struct {
    uint32_t major, minor;
    uint8_t type;
    uint16_t suite;
    bool r2;
    uint32_t arch;
    const char* text;
  } cases[] = {
      {4, 0, 1, 0, false, 0, "NT 40"},
      {5, 0, 1, 0, false, 0, "2000"},
      {5, 1, 1, 0, false, 0, "XP"},
      {5, 2, 3, 0, true, 9, "Server 2003 R2 x64"},
      {5, 2, 3, 0x2000, false, 0, "Storage Server 2003"},
      {5, 2, 1, 0, false, 9, "XP x64"},
      {5, 2, 3, 0, false, 6, "Server 2003 ia64"},
      {6, 0, 1, 0, false, 0, "Vista"},
      {6, 0, 3, 0, false, 9, "Server 2008 x64"},
      {6, 1, 1, 0, false, 9, "7 x64"},
      {6, 1, 3, 0, false, 0, "Server 2008 R2"},
      {6, 2, 1, 0, false, 6, "8 ia64"},
      {6, 3, 1, 0, false, 9, "6 3"},
      {10, 0, 1, 0, false, 9, "10 0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InventoryOps::versionText(c.major, c.minor, c.type, c.suite, c.r2, c.arch), c.text);
  }
}

TEST(InventoryOpsTest, ProductNameFromTheRegistry) {
  std::filesystem::remove(platform::RegistryStore::filePath(platform::RegistryRoot::kLocalMachine));
  std::string text = "x";
  Vemora::SystemInfo::selectHive("HKEY_CURRENT_USER");
  const std::string key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  InventoryOps::productName(text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Vemora::SystemInfo::currentHive(), "HKEY_LOCAL_MACHINE");
  const std::string name = "Microsoft Windows Server 2008 R2 Standard";
  ASSERT_EQ(Vemora::SystemInfo::writeValue(key, "ProductName", 1, name.c_str(),
                                           static_cast<uint32_t>(name.size() + 1), false),
            0);
  InventoryOps::productName(text);
  EXPECT_EQ(text, "windows_server_2008_r2_standard");
  std::string domain, host, arch, os;
  InventoryOps::getSystemInfo(domain, host, arch, os);
  EXPECT_EQ(os, "windows_server_2008_r2_standard");
}

TEST(InventoryOpsTest, SystemInfoOfThisMachine) {
  std::filesystem::remove(platform::RegistryStore::filePath(platform::RegistryRoot::kLocalMachine));
  const auto hostName = testsupport::setEnvForScope("vemora_hostname", std::string("relay1"));
  std::string domain, host, arch, os;
  InventoryOps::getSystemInfo(domain, host, arch, os);
  EXPECT_EQ(host, "relay1");
  EXPECT_FALSE(domain.empty());
  EXPECT_FALSE(arch.empty());
  EXPECT_FALSE(InventoryOps::isWow64());
#if defined(__x86_64__)
  EXPECT_EQ(arch, "amd64");
#endif
  EXPECT_EQ(os.rfind("Windows ", 0), 0u) << os;
  platform::setEnv("vemora_hostname", std::nullopt);
  host = "kept";
  InventoryOps::getSystemInfo(domain, host, arch, os);
  EXPECT_FALSE(host.empty());
  EXPECT_NE(host, "relay1");
}
