#include "logger/ParamStream.h"

namespace Vemora {

ParamStream& ParamStream::addString(const std::string& value) {
  text_ += 's';
  text_ += value;
  if (value.empty() || value.back() != kSeparator) text_ += kSeparator;
  return *this;
}

ParamStream& ParamStream::addCString(const char* value) {
  return addString(value == nullptr ? std::string() : std::string(value));
}

ParamStream& ParamStream::addInt(int value) {
  text_ += 'n' + std::to_string(value) + kSeparator;
  return *this;
}

ParamStream& ParamStream::addUInt(unsigned int value) {
  text_ += 'n' + std::to_string(value) + kSeparator;
  return *this;
}

ParamStream& ParamStream::addLong(long value) {
  text_ += 'n' + std::to_string(value) + kSeparator;
  return *this;
}

ParamStream& ParamStream::addULong(unsigned long value) {
  text_ += 'n' + std::to_string(value) + kSeparator;
  return *this;
}

}  // namespace Vemora
