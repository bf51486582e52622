#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Env.h"
#include "platform/LastError.h"
#include "platform/Path.h"

namespace {

class PathTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = platform::getEnv("VEMORA_DRIVE_C"); }
  void TearDown() override { platform::setEnv("VEMORA_DRIVE_C", saved_); }
  std::optional<std::string> saved_;
};

TEST_F(PathTest, TranslatesWindowsPathsOntoTheDriveFolder) {
  platform::setEnv("VEMORA_DRIVE_C", std::string("/srv/c/"));
  const struct {
    const char* windows;
    const char* native;
  } cases[] = {
      {"C:\\data\\x.txt", "/srv/c/data/x.txt"},
      {"c:/data/x.txt", "/srv/c/data/x.txt"},
      {"C:\\", "/srv/c/"},
      {"C:", "/srv/c/"},
      {"\\data\\y", "/srv/c/data/y"},
      {"/data/y", "/srv/c/data/y"},
      {"rel\\sub/file", "rel/sub/file"},
      {"C:rel\\f", "rel/f"},
      {"", ""},
  };
  for (const auto& c : cases) {
    const auto native = platform::toNativePath(c.windows);
    ASSERT_TRUE(native.has_value()) << c.windows;
    EXPECT_EQ(*native, c.native) << c.windows;
    EXPECT_EQ(platform::lastError(), platform::kErrorSuccess);
  }
}

TEST_F(PathTest, RefusesOtherDrivesAndShares) {
  platform::setEnv("VEMORA_DRIVE_C", std::nullopt);
  const struct {
    const char* windows;
    uint32_t error;
  } cases[] = {
      {"D:\\x", platform::kErrorPathNotFound},
      {"z:", platform::kErrorPathNotFound},
      {"\\\\server\\share\\f", platform::kErrorBadNetPath},
      {"//server/share", platform::kErrorBadNetPath},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(platform::toNativePath(c.windows).has_value()) << c.windows;
    EXPECT_EQ(platform::lastError(), c.error) << c.windows;
  }
}

TEST_F(PathTest, DefaultDriveIsTheRoot) {
  platform::setEnv("VEMORA_DRIVE_C", std::nullopt);
  EXPECT_EQ(platform::toNativePath("C:\\home\\u").value(), "/home/u");
  EXPECT_EQ(platform::toWindowsPath("/home/u"), "C:\\home\\u");
  EXPECT_EQ(platform::toWindowsPath("/"), "C:\\");
}

TEST_F(PathTest, HandsBackWindowsForms) {
  platform::setEnv("VEMORA_DRIVE_C", std::string("/srv/c"));
  EXPECT_EQ(platform::toWindowsPath("/srv/c/home/u"), "C:\\home\\u");
  EXPECT_EQ(platform::toWindowsPath("/srv/c"), "C:\\");
  EXPECT_EQ(platform::toWindowsPath("/srv/cx/a"), "\\srv\\cx\\a");
  EXPECT_EQ(platform::toWindowsPath("a/b"), "a\\b");
}

TEST_F(PathTest, CurrentFolderAndProgramRoundTrip) {
  platform::setEnv("VEMORA_DRIVE_C", std::nullopt);
  const std::string cwd = platform::currentDirectory();
  ASSERT_EQ(cwd.rfind("C:\\", 0), 0u) << cwd;
  EXPECT_EQ(platform::toWindowsPath(platform::toNativePath(cwd).value()), cwd);
  const std::string program = platform::programPath();
  EXPECT_EQ(program.rfind("C:\\", 0), 0u) << program;
  EXPECT_EQ(program.find('/'), std::string::npos);
}

}  // namespace
