#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/Env.h"
#include "platform/LastError.h"
#include "platform/Path.h"

namespace {

namespace fs = std::filesystem;

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

// Every native path comes back from its Windows form: below the drive folder
// as "C:\...", elsewhere behind the native root, relative ones as they are.
TEST_F(PathTest, NativePathsRoundTripThroughTheirWindowsForm) {
  const struct {
    const char* native;
    const char* windows;
    const char* back;  // the native path the Windows form gives back
  } cases[] = {
      {"/srv/c/home/u", "C:\\home\\u", "/srv/c/home/u"},
      {"/srv/c/home/u/", "C:\\home\\u\\", "/srv/c/home/u/"},
      {"/srv/c", "C:\\", "/srv/c/"},
      {"/srv/c/a/../b", "C:\\a\\..\\b", "/srv/c/a/../b"},
      {"/srv/cx/a", "native:\\srv\\cx\\a", "/srv/cx/a"},
      {"/srv", "native:\\srv", "/srv"},
      {"/", "native:\\", "/"},
      {"/etc/vemora/relayhub.conf", "native:\\etc\\vemora\\relayhub.conf",
       "/etc/vemora/relayhub.conf"},
      {"/tmp/x/../y/./z", "native:\\tmp\\x\\..\\y\\.\\z", "/tmp/x/../y/./z"},
      {"/tmp/a:b", "native:\\tmp\\a:b", "/tmp/a:b"},
      {"rel/sub/f", "rel\\sub\\f", "rel/sub/f"},
      {"../up", "..\\up", "../up"},
      {"C:x", ".\\C:x", "./C:x"},
      {"native:", ".\\native:", "./native:"},
      {"", "", ""},
  };
  platform::setEnv("VEMORA_DRIVE_C", std::string("/srv/c/"));
  for (const auto& c : cases) {
    const std::string windows = platform::toWindowsPath(c.native);
    EXPECT_EQ(windows, c.windows) << c.native;
    EXPECT_EQ(platform::toNativePath(windows).value_or("?"), c.back) << c.native;
  }
}

// The native root reads the same in any case and whatever the drive folder.
TEST_F(PathTest, NativeRootIsNeverADrive) {
  for (const std::optional<std::string>& drive :
       {std::optional<std::string>(), std::optional<std::string>("/srv/c")}) {
    platform::setEnv("VEMORA_DRIVE_C", drive);
    EXPECT_EQ(platform::toNativePath("native:\\etc\\x").value_or("?"), "/etc/x");
    EXPECT_EQ(platform::toNativePath("NATIVE:/etc/x").value_or("?"), "/etc/x");
    EXPECT_EQ(platform::toNativePath("native:").value_or("?"), "/");
    // Not the native root: a name with a ':' in it.
    EXPECT_EQ(platform::toNativePath("native:x").value_or("?"), "native:x");
  }
  EXPECT_EQ(platform::windowsRootLength("C:\\x"), 2u);
  EXPECT_EQ(platform::windowsRootLength("d:"), 2u);
  EXPECT_EQ(platform::windowsRootLength("Native:\\x"), 7u);
  EXPECT_EQ(platform::windowsRootLength("native:"), 7u);
  EXPECT_EQ(platform::windowsRootLength("native:x"), 0u);
  EXPECT_EQ(platform::windowsRootLength("\\x"), 0u);
  platform::setEnv("VEMORA_DRIVE_C", std::nullopt);
  EXPECT_EQ(platform::toWindowsPath("/etc/x"), "C:\\etc\\x");  // all of it is drive C
}

// Real folders: a drive folder and a folder beside it, with a link from the
// outside into the drive, and the current folder outside the drive.
class PathFolderTest : public PathTest {
 protected:
  void SetUp() override {
    PathTest::SetUp();
    const char* root = std::getenv("VEMORA_TEST_ROOT");
    base_ = fs::weakly_canonical(root != nullptr ? fs::path(root) : fs::temp_directory_path()) /
            ("path-" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "drive" / "conf");
    fs::create_directories(base_ / "out" / "sub");
    fs::create_directory_symlink(base_ / "drive" / "conf", base_ / "out" / "link");
    platform::setEnv("VEMORA_DRIVE_C", (base_ / "drive").string());
    previous_ = fs::current_path();
    fs::current_path(base_ / "out");
  }
  void TearDown() override {
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(base_, ignored);
    PathTest::TearDown();
  }
  // The native form's Windows text: the native root and '\' separators.
  std::string outside(const std::string& rel) const {
    std::string text = "native:" + (base_ / rel).string();
    for (char& c : text) c = c == '/' ? '\\' : c;
    return text;
  }
  fs::path base_;
  fs::path previous_;
};

TEST_F(PathFolderTest, CommandLinePathsNameTheFileTheSystemWouldOpen) {
  const std::string out = (base_ / "out").string();
  const std::string drive = (base_ / "drive").string();
  const struct {
    std::string argument;
    std::string windows;
  } cases[] = {
      {drive + "/conf/relayhub.conf", "C:\\conf\\relayhub.conf"},
      {out + "/doc.xml", outside("out/doc.xml")},
      {"doc.xml", outside("out/doc.xml")},
      {"./sub/../doc.xml", outside("out/doc.xml")},
      {"../out//sub/./f", outside("out/sub/f")},
      {out + "/sub/..", outside("out")},
      {".", outside("out")},
      {"sub/", outside("out/sub/")},
      // The system follows the link before "..": the drive folder itself.
      {"link/../conf/x", "C:\\conf\\x"},
      // A folder that does not exist keeps its "..", and fails as it would.
      {"missing/../doc.xml", outside("out/missing/../doc.xml")},
      {"C:x", outside("out/C:x")},
      // Already in Windows form: as given.
      {"C:\\conf\\a", "C:\\conf\\a"},
      {"C:/conf/a", "C:/conf/a"},
      {"native:\\etc\\x", "native:\\etc\\x"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::argumentPath(c.argument), c.windows) << c.argument;
  }
  std::ofstream(base_ / "out" / "doc.xml") << "x";
  const fs::path opened = platform::toNativePath(platform::argumentPath("doc.xml")).value();
  EXPECT_TRUE(fs::equivalent(opened, base_ / "out" / "doc.xml"));
}

// What the system hands back (current folder, program path) and its Windows
// form, inside and outside the drive folder.
TEST_F(PathFolderTest, CurrentFolderAndProgramRoundTrip) {
  const fs::path program = fs::read_symlink("/proc/self/exe");
  const struct {
    fs::path current;  // the current folder while asking
    std::string (*ask)();
    fs::path native;      // what the system says
    std::string windows;  // its Windows form
  } cases[] = {
      {base_ / "out", platform::currentDirectory, base_ / "out", outside("out")},
      {base_ / "out/sub", platform::currentDirectory, base_ / "out/sub", outside("out/sub")},
      {base_ / "drive/conf", platform::currentDirectory, base_ / "drive/conf", "C:\\conf"},
      {base_ / "drive", platform::currentDirectory, base_ / "drive", "C:\\"},
      {base_ / "out/link", platform::currentDirectory, base_ / "drive/conf", "C:\\conf"},
      {base_ / "out", platform::programPath, program, platform::toWindowsPath(program.string())},
  };
  for (const auto& c : cases) {
    fs::current_path(c.current);
    const std::string windows = c.ask();
    EXPECT_EQ(windows, c.windows) << c.current;
    EXPECT_TRUE(fs::equivalent(platform::toNativePath(windows).value_or("?"), c.native))
        << c.current;
  }
  EXPECT_EQ(platform::programPath().rfind("native:\\", 0), 0u);  // the build is outside
  EXPECT_EQ(platform::toNativePath(platform::currentDirectory()), fs::current_path().string());
}

}  // namespace
