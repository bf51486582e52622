#include <gtest/gtest.h>

#include <cstring>
#include <list>
#include <string>

#include "corelib/WinRegistry.h"
#include "platform/Env.h"
#include "platform/RegistryStore.h"
#include "support/ScopeGuard.h"

namespace {

using platform::RegistryRoot;
using platform::RegistryStore;
using VemoraCorelib::WinRegistry;

const std::string kMachine = "HKEY_LOCAL_MACHINE";

// The raw bytes and type of a stored value.
std::string rawValue(const std::string& key, const std::string& name, uint32_t& type) {
  RegistryStore::Key handle;
  if (RegistryStore::openKey(RegistryRoot::kLocalMachine, key, &handle) != 0) return "<no key>";
  uint8_t data[4096];
  uint32_t size = sizeof data;
  if (RegistryStore::queryValue(handle, name, &type, data, &size) != 0) return "<no value>";
  return std::string(reinterpret_cast<const char*>(data), size);
}

void storeRaw(const std::string& key, const std::string& name, uint32_t type,
              const std::string& bytes) {
  RegistryStore::Key handle;
  ASSERT_EQ(RegistryStore::createKey(RegistryRoot::kLocalMachine, key, &handle), 0u);
  ASSERT_EQ(
      RegistryStore::setValue(handle, name, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                              static_cast<uint32_t>(bytes.size())),
      0u);
}

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = platform::getEnv("VEMORA_ENV"); }
  void TearDown() override { platform::setEnv("VEMORA_ENV", saved_); }
  std::optional<std::string> saved_;
};

TEST_F(WinRegistryTest, StringIsStoredWithItsNulAndReadsBack) {
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora\\Client\\Net", "host", "relay.example", false);
  uint32_t type = 0;
  EXPECT_EQ(rawValue("SOFTWARE\\Vemora\\Client\\Net", "host", type),
            std::string("relay.example\0", 14));
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(WinRegistry::getString(kMachine, "SOFTWARE\\Vemora\\Client\\Net", "host", false),
            "relay.example");
  const std::string longText(1000, 'x');
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora", "long", longText, true);
  EXPECT_EQ(WinRegistry::getString(kMachine, "SOFTWARE\\Vemora", "long", true), longText);
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora", "empty", "", false);
  EXPECT_EQ(WinRegistry::getString(kMachine, "SOFTWARE\\Vemora", "empty", false), "");
}

TEST_F(WinRegistryTest, ListsRoundTripAndSplitAtAnEmptyItem) {
  WinRegistry::setList(kMachine, "SOFTWARE\\Vemora", "hosts", {"a", "bb"}, false);
  uint32_t type = 0;
  EXPECT_EQ(rawValue("SOFTWARE\\Vemora", "hosts", type), std::string("a\0bb\0\0", 6));
  EXPECT_EQ(type, platform::kRegMultiSz);
  EXPECT_EQ(WinRegistry::getList(kMachine, "SOFTWARE\\Vemora", "hosts", false),
            (std::list<std::string>{"a", "bb"}));
  struct Case {
    std::string bytes;
    std::list<std::string> items;
  };
  const Case cases[] = {
      {std::string("", 0), {}},
      {std::string("\0", 1), {}},
      {std::string("x\0\0y\0\0", 6), {"x"}},
      {std::string("x\0tail", 6), {"x", "tail"}},
      {std::string("\0x\0\0", 4), {}},
  };
  for (const Case& c : cases) {
    storeRaw("SOFTWARE\\Vemora", "raw", platform::kRegMultiSz, c.bytes);
    EXPECT_EQ(WinRegistry::getList(kMachine, "SOFTWARE\\Vemora", "raw", false), c.items)
        << c.bytes.size();
  }
}

TEST_F(WinRegistryTest, ResourceKeyFollowsTheEnvironment) {
  platform::setEnv("VEMORA_ENV", std::string("SOFTWARE\\Test"));
  EXPECT_EQ(WinRegistry::resolveKey("SOFTWARE\\Vemora\\Resources\\Logs"), "SOFTWARE\\Test\\Logs");
  EXPECT_EQ(WinRegistry::resolveKey("SOFTWARE/Vemora/Resources"), "SOFTWARE\\Test");
  EXPECT_EQ(WinRegistry::resolveKey("software\\Vemora\\Resources"), "software\\Vemora\\Resources");
  WinRegistry::setString(kMachine, "SOFTWARE/Vemora/Resources/Logs", "dir", "C:\\logs", false);
  uint32_t type = 0;
  EXPECT_EQ(rawValue("SOFTWARE\\Test\\Logs", "dir", type), std::string("C:\\logs\0", 8));
  platform::setEnv("VEMORA_ENV", std::nullopt);
  EXPECT_EQ(WinRegistry::resolveKey("SOFTWARE/Vemora/Resources/Logs"),
            "SOFTWARE\\Vemora\\Resources\\Logs");
  EXPECT_THROW(WinRegistry::getString(kMachine, "SOFTWARE\\Vemora\\Resources\\Logs", "dir", false),
               WinRegistry::Get_NotFound);
}

TEST_F(WinRegistryTest, UnknownRootIsABadArgument) {
  EXPECT_THROW(WinRegistry::setString("hkey_local_machine", "SOFTWARE", "v", "t", false),
               WinRegistry::Set_BadArguments);
  EXPECT_THROW(WinRegistry::setList("HKLM", "SOFTWARE", "v", {}, false),
               WinRegistry::Set_BadArguments);
  try {
    WinRegistry::getString("hkey_local_machine", "SOFTWARE", "v", false);
    FAIL() << "no error";
  } catch (const WinRegistry::Get_BadArguments& e) {
    EXPECT_EQ(e.text(false), " Invalid argument \"hkey_local_machine\"");
  }
  EXPECT_THROW(WinRegistry::getList("", "SOFTWARE", "v", false), WinRegistry::Get_BadArguments);
}

TEST_F(WinRegistryTest, MissingKeyOrValueIsNotFound) {
  try {
    WinRegistry::getString(kMachine, "SOFTWARE\\Nowhere", "v", false);
    FAIL() << "no error";
  } catch (const WinRegistry::Get_NotFound& e) {
    EXPECT_EQ(e.text(false),
              " Could not find registry key \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Nowhere\"");
  }
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora", "present", "1", false);
  try {
    WinRegistry::getList(kMachine, "SOFTWARE/Vemora", "absent", false);
    FAIL() << "no error";
  } catch (const WinRegistry::Get_NotFound& e) {
    EXPECT_EQ(e.text(false),
              " Could not find registry key \"HKEY_LOCAL_MACHINE\\SOFTWARE/Vemora\"->\"absent\"");
  }
}

TEST_F(WinRegistryTest, OtherTypeIsAWrongTypeError) {
  storeRaw("SOFTWARE\\Vemora", "port", platform::kRegDword, std::string("\x50\0\0\0", 4));
  try {
    WinRegistry::getString(kMachine, "SOFTWARE\\Vemora", "port", false);
    FAIL() << "no error";
  } catch (const WinRegistry::Get_WrongType& e) {
    EXPECT_EQ(e.text(false),
              " Cannot get \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vemora\"->\"port\" of type 1 because "
              "the actual type is 4");
  }
  WinRegistry::setString(kMachine, "SOFTWARE\\Vemora", "text", "a", false);
  EXPECT_THROW(WinRegistry::getList(kMachine, "SOFTWARE\\Vemora", "text", false),
               WinRegistry::Get_WrongType);
}

TEST_F(WinRegistryTest, UnwritableStoreIsAccessDenied) {
  const auto store =
      testsupport::setEnvForScope("VEMORA_REGISTRY_DIR", std::string("/proc/self/no-registry"));
  EXPECT_THROW(WinRegistry::setString(kMachine, "SOFTWARE\\Vemora", "v", "t", false),
               WinRegistry::Set_AccessDenied);
}

}  // namespace
