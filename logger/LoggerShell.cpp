#include "logger/LoggerShell.h"

#include <string>

namespace Vemora {

bool LoggerShell::levelAtLeast(int level) const {
  RLoggerInterface* target = target_.load();
  return target != nullptr && target->level() >= level;
}

void LoggerShell::call(int level, const char* text, const ParamStream& params) const {
  RLoggerInterface* target = target_.load();
  if (target == nullptr) return;
  target->log(level, text == nullptr ? std::string() : std::string(text), params);
}

}  // namespace Vemora
