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

// The scratch folder this process made, and the process that made it: a
// forked child that calls exit() must not remove its parent's folder.
std::string g_root;
pid_t g_owner = 0;

void removeRoot() {
  if (g_root.empty() || ::getpid() != g_owner) return;
  if (std::getenv("VEMORA_KEEP_TEST_ROOT") != nullptr) return;
  std::error_code ignored;
  std::filesystem::remove_all(g_root, ignored);
  g_root.clear();
}

// A death test of the "threadsafe" style runs this program again; that child
// inherits the environment and so the parent's folder, and makes none (nor
// does a run given VEMORA_TEST_ROOT, whose folder is the caller's to remove).
bool makeRoot() {
  std::string root;
  if (const char* given = std::getenv("VEMORA_TEST_ROOT")) {
    root = given;
  } else {
    root = (std::filesystem::temp_directory_path() / "vemora-test-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) return false;
    g_root = root;
    g_owner = ::getpid();
    std::atexit(removeRoot);  // also when a test ends the process with exit()
    setenv("VEMORA_TEST_ROOT", root.c_str(), 1);
  }
  const std::filesystem::path folder(root);
  std::error_code ec;
  for (const char* sub : {"registry", "locks", "drive-c"}) {
    std::filesystem::create_directories(folder / sub, ec);
    if (ec) return false;
  }
  setDefault("VEMORA_REGISTRY_DIR", (folder / "registry").string());
  setDefault("VEMORA_LOCK_DIR", (folder / "locks").string());
  setDefault("VEMORA_DRIVE_C", (folder / "drive-c").string());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!makeRoot()) return 99;
  setDefault("VEMORA_TEST_SOURCE", VEMORA_DEFAULT_TEST_SOURCE);
  setDefault("RELAYHUB_BIN", VEMORA_DEFAULT_RELAYHUB_BIN);
  setDefault("NODEGRAFT_BIN", VEMORA_DEFAULT_NODEGRAFT_BIN);
  const int rc = RUN_ALL_TESTS();
  removeRoot();
  return rc;
}
