// relayhub with VEMORA_DRIVE_C set (the fixture's folder): the path after
// "-c" is a native path and names the file it names, inside the drive folder
// or beside it, absolute or relative to the folder relayhub started in. The
// paths inside the configuration keep their Windows meaning ("C:/state").
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "relayhub_e2e/DaemonFixture.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// A folder beside the fixture's (outside its drive C), removed at the end.
class OutsideFolder {
 public:
  OutsideFolder() {
    std::string pattern = (fs::temp_directory_path() / "relayhub-native-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = fs::weakly_canonical(pattern);
  }
  ~OutsideFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Starts the daemon with "-c" and `config`; it must read the file (it
// listens on the file's port) and stop normally.
void expectRunsOn(DaemonFixture& daemon, const std::string& config) {
  SCOPED_TRACE(config);
  ASSERT_TRUE(daemon.start({"-c", config}));
  EXPECT_TRUE(daemon.waitForPort()) << daemon.stderrText();
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(RelayHubNativePath, ConfigurationOutsideTheDriveFolder) {
  OutsideFolder outside;
  ASSERT_FALSE(outside.path().empty());
  DaemonFixture daemon;
  const fs::path file = outside.path() / "etc" / "relayhub.conf";
  fs::create_directories(file.parent_path());
  std::ofstream(file) << DaemonFixture::configText(daemon.defaultSettings());
  expectRunsOn(daemon, file.string());
}

TEST(RelayHubNativePath, RelativeAndDottedPaths) {
  OutsideFolder outside;
  ASSERT_FALSE(outside.path().empty());
  DaemonFixture daemon;
  std::ofstream(outside.path() / "relayhub.conf")
      << DaemonFixture::configText(daemon.defaultSettings());
  daemon.writeConfig();  // below the fixture's folder, where relayhub starts
  const fs::path root = fs::weakly_canonical(daemon.root());
  const std::string beside = fs::relative(outside.path(), root).string();  // "../relayhub-..."
  for (const std::string& config :
       {std::string("relayhub.conf"), std::string("./state/../relayhub.conf"),
        (root / "relayhub.conf").string(), beside + "/relayhub.conf",
        (root / "state" / ".." / beside / "relayhub.conf").string(),
        std::string("C:\\relayhub.conf")}) {
    expectRunsOn(daemon, config);
  }
}

// The old reading put a native path below the drive folder: a file there of
// the same name is not the one meant.
TEST(RelayHubNativePath, NotLookedForBelowTheDriveFolder) {
  OutsideFolder outside;
  ASSERT_FALSE(outside.path().empty());
  DaemonFixture daemon;
  const fs::path file = outside.path() / "relayhub.conf";
  daemon.writeConfig(daemon.defaultSettings(), file.relative_path().string());
  EXPECT_EQ(daemon.runOnce({"-c", file.string()}), 2);
}

}  // namespace
}  // namespace e2e
