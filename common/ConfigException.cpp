#include "common/ConfigException.h"

namespace Vemora {

namespace {

struct CodeRow {
  const char* name;
  const char* description;
};

constexpr CodeRow kRows[] = {
    {"CF_MEM", "Out of memory."},
    {"CF_CONF", "Error in conf file."},
    {"CF_CANNOT_UNCOMPRESS", "Unable to decompress buffer."},
};

}  // namespace

ConfigException::ConfigException(int code) : Exception(code) {}

ConfigException::ConfigException(int code, const std::string& message,
                                 const std::string& sourceFile, int line)
    : Exception(code, message, sourceFile, line) {}

ConfigException::ConfigException(const ConfigException& other) = default;

ConfigException::~ConfigException() = default;

std::string ConfigException::text() const {
  const int c = code();
  if (c < 0 || c >= static_cast<int>(sizeof kRows / sizeof kRows[0])) {
    return formatText("Configuration", "", "");
  }
  return formatText("Configuration", kRows[c].name, kRows[c].description);
}

int ConfigException::category() const {
  return 1;
}

}  // namespace Vemora
