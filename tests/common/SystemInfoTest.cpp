#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "common/SystemInfo.h"
#include "platform/Env.h"
#include "platform/RegistryStore.h"

using Vemora::SystemInfo;

namespace {

// Each test starts with an empty store and the default resource key.
class SystemInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldEnv_ = platform::getEnv("VEMORA_ENV");
    platform::setEnv("VEMORA_ENV", std::nullopt);
    std::filesystem::remove(
        platform::RegistryStore::filePath(platform::RegistryRoot::kLocalMachine));
    SystemInfo::selectHive("HKEY_LOCAL_MACHINE");
  }
  void TearDown() override {
    platform::setEnv("VEMORA_ENV", oldEnv_);
    SystemInfo::selectHive("HKEY_LOCAL_MACHINE");
  }
  static void setRaw(const std::string& name, uint32_t type, const std::string& bytes) {
    ASSERT_EQ(SystemInfo::writeValue(SystemInfo::resourceKey(), name, type, bytes.data(),
                                     static_cast<uint32_t>(bytes.size()), false),
              0);
  }

 private:
  std::optional<std::string> oldEnv_;
};

}  // namespace

TEST_F(SystemInfoTest, StringResourcesRoundTrip) {
  EXPECT_EQ(SystemInfo::setResource("ConfigurationDir", "C:\\vemora\\conf"), 0);
  std::string text = "unchanged";
  EXPECT_EQ(SystemInfo::getResource("configurationdir", text), 0);
  EXPECT_EQ(text, "C:\\vemora\\conf");
  // The terminating zero is stored with the text.
  platform::RegistryStore::Key key;
  ASSERT_EQ(platform::RegistryStore::openKey(platform::RegistryRoot::kLocalMachine,
                                             SystemInfo::kResourceKey, &key),
            0u);
  uint32_t size = 0;
  EXPECT_EQ(platform::RegistryStore::queryValue(key, "ConfigurationDir", nullptr, nullptr, &size),
            0u);
  EXPECT_EQ(size, 15u);
  text = "unchanged";
  EXPECT_EQ(SystemInfo::getResource("Missing", text), 2);
  EXPECT_EQ(text, "unchanged");
}

TEST_F(SystemInfoTest, LongValuesAndEveryStringType) {
  const std::string longText(5000, 'x');
  ASSERT_EQ(SystemInfo::setResource("Long", longText), 0);
  std::string text;
  EXPECT_EQ(SystemInfo::getResource("Long", text), 0);
  EXPECT_EQ(text, longText);
  setRaw("Expand", platform::kRegExpandSz, std::string("%TEMP%\0", 7));
  EXPECT_EQ(SystemInfo::getResource("Expand", text), 0);
  EXPECT_EQ(text, "%TEMP%");
  setRaw("List", platform::kRegMultiSz, std::string("a\0b\0\0", 5));
  EXPECT_EQ(SystemInfo::getResource("List", text), 0);
  EXPECT_EQ(text, std::string("a\0b", 3));
  setRaw("Blob", platform::kRegBinary, "xyz");
  EXPECT_EQ(SystemInfo::getResource("Blob", text), 3);
}

TEST_F(SystemInfoTest, DwordResources) {
  setRaw("StartupDebugLevel", platform::kRegDword, std::string("\x03\x00\x00\x00", 4));
  uint32_t value = 99;
  EXPECT_EQ(SystemInfo::getResourceDword("StartupDebugLevel", value), 0);
  EXPECT_EQ(value, 3u);
  std::string text;
  EXPECT_EQ(SystemInfo::getResource("StartupDebugLevel", text), 3);
  ASSERT_EQ(SystemInfo::setResource("Text", "5"), 0);
  EXPECT_EQ(SystemInfo::getResourceDword("Text", value), 3);
  EXPECT_EQ(SystemInfo::getResourceDword("Missing", value), 2);
  EXPECT_EQ(value, 3u);
}

TEST_F(SystemInfoTest, ReferencesAreExpanded) {
  const struct {
    const char* name;
    const char* value;
  } resources[] = {
      {"Base", "D:\\data"},      {"LogDir", "${Base}\\logs"}, {"A", "x"},       {"B", "y"},
      {"AB", "${A}${B}"},        {"Missing", "${Nope}\\x"},   {"Open", "${A"},  {"Short", "ab${}"},
      {"Nested", "[${LogDir}]"}, {"Brace", "${A}}"},          {"Lit", "$${A}"},
  };
  for (const auto& r : resources) ASSERT_EQ(SystemInfo::setResource(r.name, r.value), 0);
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"LogDir", "D:\\data\\logs"},
      {"AB", "xy"},
      {"Missing", "${Nope}\\x"},
      {"Open", "${A"},
      {"Short", "ab${}"},
      {"Nested", "[D:\\data\\logs]"},
      {"Brace", "x}"},
      {"Lit", "$x"},
  };
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(SystemInfo::getResource(c.name, text), 0) << c.name;
    EXPECT_EQ(text, c.expected) << c.name;
  }
}

TEST_F(SystemInfoTest, SelfReferenceEndsAtTheDepthLimit) {
  ASSERT_EQ(SystemInfo::setResource("Loop", "a${Loop}"), 0);
  ASSERT_EQ(SystemInfo::setResource("Ping", "${Pong}"), 0);
  ASSERT_EQ(SystemInfo::setResource("Pong", "${Ping}"), 0);
  std::string text;
  EXPECT_EQ(SystemInfo::getResource("Loop", text), 0);
  EXPECT_EQ(text, std::string(SystemInfo::kMaxReferenceDepth, 'a') + "a${Loop}");
  EXPECT_EQ(SystemInfo::getResource("Ping", text), 0);
  EXPECT_EQ(text, "${Pong}");
}

TEST_F(SystemInfoTest, EnvironmentNamesTheResourceKey) {
  platform::setEnv("VEMORA_ENV", std::string("SOFTWARE\\Test\\Env"));
  EXPECT_EQ(SystemInfo::resourceKey(), "SOFTWARE\\Test\\Env");
  ASSERT_EQ(SystemInfo::setResource("Where", "test"), 0);
  std::string text;
  EXPECT_EQ(SystemInfo::readString("SOFTWARE\\Test\\Env", "Where", text, false), 0);
  EXPECT_EQ(text, "test");
  platform::setEnv("VEMORA_ENV", std::nullopt);
  EXPECT_EQ(SystemInfo::getResource("Where", text), 2);
}

TEST_F(SystemInfoTest, HiveSelection) {
  EXPECT_FALSE(SystemInfo::selectHive("HKEY_PERFORMANCE_DATA"));
  EXPECT_EQ(SystemInfo::currentHive(), "HKEY_LOCAL_MACHINE");
  ASSERT_TRUE(SystemInfo::selectHive("HKEY_CURRENT_USER"));
  ASSERT_EQ(SystemInfo::setResource("PerUser", "u"), 0);
  std::string text;
  EXPECT_EQ(SystemInfo::getResource("PerUser", text), 0);
  ASSERT_TRUE(SystemInfo::selectHive("HKEY_LOCAL_MACHINE"));
  EXPECT_EQ(SystemInfo::getResource("PerUser", text), 2);
}

TEST_F(SystemInfoTest, UnreadableStoreIsAMissingValue) {
  const std::string file = platform::RegistryStore::filePath(platform::RegistryRoot::kLocalMachine);
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("[SOFTWARE\\Vemora\\Resources]\nbroken line\n", f);
  std::fclose(f);
  std::string text;
  EXPECT_EQ(SystemInfo::getResource("Any", text), 2);
  EXPECT_EQ(SystemInfo::setResource("Any", "x"), 1);
}
