#include "common/TimeException.h"

namespace Vemora {

namespace {

constexpr Exception::CodeRow kRows[] = {
    {"TM_NONE", "No exception!"},
    {"TM_DAYS", "Days out of range: (0 - 24,855)."},
    {"TM_HOURS", "Hours out of range: (0-23)."},
    {"TM_MINUTES", "Minutes out of range: (0-59)."},
    {"TM_SECONDS", "Seconds out of range: (0-59)."},
    {"TM_YEAR", "Year out of range: (1970 - 2037)."},
    {"TM_MONTH", "Month out of range: (1 - 12)."},
    {"TM_DAY", "Day out of range: (1 - days of the month in question)."},
    {"TM_DATETIME", "Illegal date and/or time."},
    {"TM_ANCIENT", "Illegal date/time. Cannot have date before 01.01.1970 0:00:00!"},
    {"TM_INPUT", "Illegal input format."},
};

}  // namespace

TimeException::TimeException(int code) : Exception(code) {}

TimeException::TimeException(int code, const std::string& message, const std::string& sourceFile,
                             int line)
    : Exception(code, message, sourceFile, line) {}

TimeException::~TimeException() = default;

std::string TimeException::text() const {
  return tableText("Time", kRows);
}

int TimeException::category() const {
  return 4;
}

}  // namespace Vemora
