#include "common/ConfigException.h"

namespace Vemora {

namespace {

constexpr Exception::CodeRow kRows[] = {
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
  return tableText("Configuration", kRows);
}

int ConfigException::category() const {
  return 1;
}

}  // namespace Vemora
