// One configured application that RUNAPP may start: the key pattern that
// selects it and the program's path without ".exe".
#pragma once

#include <string>

namespace Vemora {

class AppEntry {
 public:
  AppEntry() = default;
  AppEntry(std::string keyPattern, std::string executable)
      : key(std::move(keyPattern)), executable(std::move(executable)) {}
  virtual ~AppEntry() = default;
  AppEntry(const AppEntry&) = default;
  AppEntry& operator=(const AppEntry&) = default;

  std::string key;         // trimmed, lower-cased glob
  std::string executable;  // path without ".exe"
};

}  // namespace Vemora
