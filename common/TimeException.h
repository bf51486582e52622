// Errors of the time classes: family "Time", category 4.
#pragma once

#include <string>

#include "common/Exception.h"

namespace Vemora {

class TimeException : public Exception {
 public:
  enum Code {
    TM_NONE = 0,
    TM_DAYS = 1,
    TM_HOURS = 2,
    TM_MINUTES = 3,
    TM_SECONDS = 4,
    TM_YEAR = 5,
    TM_MONTH = 6,
    TM_DAY = 7,
    TM_DATETIME = 8,
    TM_ANCIENT = 9,
    TM_INPUT = 10,
  };

  explicit TimeException(int code);
  TimeException(int code, const std::string& message, const std::string& sourceFile, int line);
  TimeException(const TimeException& other) = default;
  ~TimeException() override;

  // "Time: <description> (Code: 4.<code>)".
  std::string text() const override;
  int category() const override;
};

}  // namespace Vemora
