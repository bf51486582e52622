// An abstract logging interface with one scale of nine levels:
// 1 CRITICAL, 2 FATAL, 3 ERROR, 4 WARNING, 5 NOTICE, 6..9 trace lines of
// debug levels 1, 2, 4 and 5.
#pragma once

#include <string>

#include "logger/ParamStream.h"

namespace Vemora {

class RLoggerInterface {
 public:
  virtual ~RLoggerInterface() = default;
  virtual bool log(int level, const std::string& text, ParamStream params) = 0;
  // The highest interface level that currently gets through.
  virtual int level() = 0;
};

}  // namespace Vemora
