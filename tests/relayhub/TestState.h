// A state directory for one test: "C:\state-N" of the test process's drive
// C, and the native path of the same folder for looking at the files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace relayhub_test {

inline std::string driveC() {
  const char* drive = std::getenv("VEMORA_DRIVE_C");
  return drive != nullptr ? drive : "/";
}

struct TestState {
  explicit TestState(const std::string& name = "state")
      : windows("C:/" + name), native(driveC() + "/" + name) {
    std::filesystem::remove_all(native);
  }
  // The native path of a file below the state directory.
  std::string file(const std::string& relative) const { return native + "/" + relative; }
  bool exists(const std::string& relative) const {
    return std::filesystem::exists(file(relative));
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(file(relative), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void write(const std::string& relative, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(file(relative)).parent_path());
    std::ofstream(file(relative), std::ios::binary) << text;
  }

  std::string windows;
  std::string native;
};

}  // namespace relayhub_test
