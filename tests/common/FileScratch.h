// A scratch folder of its own on drive C for each file test, named after the
// test, in Windows form (for the library) and native form (for checks).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace Vemora {

class FileScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    native_ = std::filesystem::path(std::getenv("VEMORA_DRIVE_C")) / "scratch" / name_;
    clear();
    std::filesystem::create_directories(native_);
  }
  void TearDown() override { clear(); }

  // "C:\scratch\<test>\<rel>"; `rel` may use '\' or '/'.
  std::string win(const std::string& rel = "") const {
    return "C:\\scratch\\" + name_ + "\\" + rel;
  }
  std::filesystem::path nat(const std::string& rel) const {
    std::string path = rel;
    for (char& c : path) c = c == '\\' ? '/' : c;
    return native_ / path;
  }
  void put(const std::string& rel, const std::string& text) const {
    std::ofstream(nat(rel), std::ios::binary) << text;
  }
  std::string get(const std::string& rel) const {
    std::ifstream in(nat(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool exists(const std::string& rel) const {
    return std::filesystem::exists(std::filesystem::symlink_status(nat(rel)));
  }
  void makeReadOnly(const std::string& rel) const {
    using std::filesystem::perms;
    std::filesystem::permissions(nat(rel),
                                 perms::owner_write | perms::group_write | perms::others_write,
                                 std::filesystem::perm_options::remove);
  }
  // Entries of the scratch folder (or a folder in it).
  size_t count(const std::string& rel = "") const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(nat(rel)),
                                             std::filesystem::directory_iterator()));
  }

  std::string name_;
  std::filesystem::path native_;

 private:
  void clear() {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(native_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink()) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::remove_all(native_, ignored);
  }
};

}  // namespace Vemora
