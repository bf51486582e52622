// Test entry point shared by every suite. Each test process gets its own
// scratch folder for the registry store, the named locks and drive C, so
// suites never see each other's state or the machine's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

void setDefault(const char* name, const std::string& value) {
  if (std::getenv(name) == nullptr) setenv(name, value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string pattern = (std::filesystem::temp_directory_path() / "vemora-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 99;
  const std::filesystem::path root(pattern);
  std::filesystem::create_directories(root / "registry");
  std::filesystem::create_directories(root / "locks");
  std::filesystem::create_directories(root / "drive-c");
  setDefault("VEMORA_TEST_ROOT", root.string());
  setDefault("VEMORA_REGISTRY_DIR", (root / "registry").string());
  setDefault("VEMORA_LOCK_DIR", (root / "locks").string());
  setDefault("VEMORA_DRIVE_C", (root / "drive-c").string());
  setDefault("VEMORA_TEST_SOURCE", VEMORA_DEFAULT_TEST_SOURCE);
  setDefault("RELAYHUB_BIN", VEMORA_DEFAULT_RELAYHUB_BIN);
  setDefault("NODEGRAFT_BIN", VEMORA_DEFAULT_NODEGRAFT_BIN);
  const int rc = RUN_ALL_TESTS();
  std::error_code ignored;
  if (std::getenv("VEMORA_KEEP_TEST_ROOT") == nullptr) std::filesystem::remove_all(root, ignored);
  return rc;
}
