// Process-wide settings that a test changes (limits, retry intervals, the
// replaceable clocks and sleeper, logging levels) go back when the test's
// scope ends, also when an assertion has ended the test early: one failure
// must not change what the tests after it in the same process see.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/Env.h"

namespace testsupport {

// Runs `undo` once when it goes out of scope.
class ScopeGuard {
 public:
  explicit ScopeGuard(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~ScopeGuard() {
    if (undo_) undo_();
  }
  ScopeGuard(ScopeGuard&& other) noexcept : undo_(std::exchange(other.undo_, nullptr)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ScopeGuard& operator=(ScopeGuard&&) = delete;

 private:
  std::function<void()> undo_;
};

// Sets a setting that has a getter to `value` and puts back the value it
// had before when the returned guard goes:
//   const auto limit = testsupport::setForScope(&RecvBudget::limit, &RecvBudget::setLimit, n);
template <typename Get, typename Set, typename Value>
[[nodiscard]] ScopeGuard setForScope(Get get, Set set, Value value) {
  auto before = get();
  set(value);
  return ScopeGuard([set, before]() { set(before); });
}

// The environment variable `name` set to `value` (nullopt: removed) until
// the returned guard goes; then it is as it was.
[[nodiscard]] inline ScopeGuard setEnvForScope(const std::string& name,
                                               const std::optional<std::string>& value) {
  const std::optional<std::string> before = platform::getEnv(name);
  platform::setEnv(name, value);
  return ScopeGuard([name, before]() { platform::setEnv(name, before); });
}

}  // namespace testsupport
