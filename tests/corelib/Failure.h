// The class name of the core-library exception that `action` throws (""
// when none), and its text when `text` is given.
#pragma once

#include <functional>
#include <string>

#include "corelib/Exception.h"

namespace corelib_test {

inline std::string failure(const std::function<void()>& action, std::string* text = nullptr) {
  try {
    action();
  } catch (const VemoraCorelib::Exception& e) {
    if (text != nullptr) *text = e.text(false);
    return e.name();
  }
  return "";
}

}  // namespace corelib_test
