// The fault file that makes chosen syncs, renames and unlinks fail (see
// platform/FaultPoint.h): created empty, one line per failure to come.
// `inProcess` also points VEMORA_FAULTS of this process at it for the
// object's life; a daemon under test gets it through its environment.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/Env.h"

namespace test_support {

class FaultFile {
 public:
  FaultFile(const std::filesystem::path& file, bool inProcess)
      : file_(file), inProcess_(inProcess) {
    std::ofstream(file_).flush();
    if (inProcess_) platform::setEnv("VEMORA_FAULTS", file_.string());
  }
  ~FaultFile() {
    if (inProcess_) platform::setEnv("VEMORA_FAULTS", std::nullopt);
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
  }
  FaultFile(const FaultFile&) = delete;
  FaultFile& operator=(const FaultFile&) = delete;

  // The next `op` ("sync", "rename", "unlink") on a path holding `text` fails.
  void failNext(const std::string& op, const std::string& text) const {
    std::ofstream(file_, std::ios::app) << op << ' ' << text << '\n';
  }
  // The lines not used up yet.
  std::string left() const {
    std::ifstream in(file_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  const std::filesystem::path& path() const { return file_; }

 private:
  std::filesystem::path file_;
  bool inProcess_;
};

}  // namespace test_support
