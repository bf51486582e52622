// Errors of the configuration reader. Category "Configuration", number 1;
// codes 0 CF_MEM, 1 CF_CONF (a syntax error), 2 CF_CANNOT_UNCOMPRESS.
#pragma once
#include <string>

#include "common/Exception.h"

namespace Vemora {

class ConfigException : public Exception {
 public:
  enum Code { kMemory = 0, kConf = 1, kCannotUncompress = 2 };

  explicit ConfigException(int code);
  ConfigException(int code, const std::string& message, const std::string& sourceFile, int line);
  ConfigException(const ConfigException& other);
  ~ConfigException() override;

  std::string text() const override;
  int category() const override;
};

}  // namespace Vemora
