// Helpers of the logging tests: files under drive C of the test process,
// waiting for a condition with a generous bound, a messenger that keeps
// the wire texts it is given, and the process-wide logging settings put
// back after each test.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logger/LogMessenger.h"
#include "logger/LoggerAgentFile.h"
#include "logger/LoggerUnit.h"
#include "platform/Path.h"
#include "support/ScopeGuard.h"

namespace logtest {

// The POSIX path of a Windows-form path ("C:\logs\a.log").
inline std::string native(const std::string& windowsPath) {
  return platform::toNativePath(windowsPath).value_or(windowsPath);
}

inline std::string readAll(const std::string& windowsPath) {
  std::ifstream in(native(windowsPath), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeAll(const std::string& windowsPath, const std::string& text) {
  const std::filesystem::path path(native(windowsPath));
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline bool exists(const std::string& windowsPath) {
  return std::filesystem::exists(native(windowsPath));
}

// Names of the entries of a folder (Windows form), sorted.
inline std::vector<std::string> listFolder(const std::string& windowsFolder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(native(windowsFolder), ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder below drive C.
inline std::string freshFolder(const std::string& name) {
  const std::string folder = "C:\\" + name;
  std::error_code ignored;
  std::filesystem::remove_all(native(folder), ignored);
  std::filesystem::create_directories(native(folder));
  return folder;
}

// How long the tests wait for something that should happen at once: long
// enough for any load, short enough that a fault ends the test.
constexpr auto kPatience = std::chrono::seconds(30);

// Polls the condition until it holds or kPatience has passed.
inline bool waitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// Keeps every wire text instead of writing it.
class CapturingMessenger : public Vemora::LogMessenger {
 public:
  bool send(const std::string& wire) override {
    wires.push_back(wire);
    return result;
  }
  std::vector<std::string> wires;
  bool result = true;
};

// Keeps the logging settings of the process (levels, time mode, threaded
// logging, the catalogue) and puts them back when it goes, with the file
// agent's rotation settings at their defaults. A fixture holds one as a
// member, made before its SetUp changes anything.
[[nodiscard]] inline testsupport::ScopeGuard keepLoggingSettings() {
  const int level = Vemora::LoggerUnit::debugLevel();
  const int threshold = Vemora::LoggerUnit::severityThreshold();
  const int timeMode = Vemora::LoggerUnit::timeMode();
  const bool threaded = Vemora::LogMessenger::threadedLogging();
  Vemora::LogCommons* const catalogue = Vemora::LogMessenger::catalogue();
  return testsupport::ScopeGuard([=]() {
    Vemora::LoggerUnit::setDebugLevel(level);
    Vemora::LoggerUnit::setSeverityThreshold(threshold);
    Vemora::LoggerUnit::setTimeMode(timeMode);
    Vemora::LogMessenger::setThreadedLogging(threaded);
    Vemora::LogMessenger::setCatalogue(catalogue);
    Vemora::LoggerAgentFile::resetSettings();
  });
}

}  // namespace logtest
