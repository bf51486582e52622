// Typed insertion and extraction on top of PrimitiveStream. An extraction
// succeeds only when the next value has exactly the wanted type; the value
// is consumed either way. The operators drop the success result; put and
// get return it.
#pragma once

#include <cstdint>
#include <string>

#include "corelib/Atom.h"
#include "corelib/PrimitiveStream.h"

namespace VemoraCorelib {

class StreamBase : public PrimitiveStream {
 public:
  virtual StreamBase& operator<<(const Atom& value);
  virtual StreamBase& operator<<(const std::wstring& value);
  virtual StreamBase& operator<<(const std::string& value);
  virtual StreamBase& operator<<(const wchar_t* value);
  virtual StreamBase& operator<<(const char* value);
  virtual StreamBase& operator<<(double value);
  virtual StreamBase& operator<<(uint64_t value);
  virtual StreamBase& operator<<(int64_t value);
  virtual StreamBase& operator<<(uint32_t value);
  virtual StreamBase& operator<<(int32_t value);
  virtual StreamBase& operator<<(wchar_t value);
  virtual StreamBase& operator<<(char value);
  virtual StreamBase& operator<<(bool value);

  virtual StreamBase& operator>>(Atom& value);
  virtual StreamBase& operator>>(std::wstring& value);
  virtual StreamBase& operator>>(std::string& value);
  virtual StreamBase& operator>>(double& value);
  virtual StreamBase& operator>>(uint64_t& value);
  virtual StreamBase& operator>>(int64_t& value);
  virtual StreamBase& operator>>(uint32_t& value);
  virtual StreamBase& operator>>(int32_t& value);
  virtual StreamBase& operator>>(wchar_t& value);
  virtual StreamBase& operator>>(char& value);
  virtual StreamBase& operator>>(bool& value);

  // Integer types that are neither int32_t nor int64_t on this platform.
  StreamBase& operator<<(long long value) { return *this << static_cast<int64_t>(value); }
  StreamBase& operator<<(unsigned long long value) { return *this << static_cast<uint64_t>(value); }

  bool put(const Atom& value);
  bool put(const std::wstring& value);
  bool put(const std::string& value);
  bool put(const wchar_t* value);
  bool put(const char* value);
  bool put(double value);
  bool put(uint64_t value);
  bool put(int64_t value);
  bool put(uint32_t value);
  bool put(int32_t value);
  bool put(wchar_t value);
  bool put(char value);
  bool put(bool value);

  bool get(Atom& value);
  bool get(std::wstring& value);
  bool get(std::string& value);
  bool get(double& value);
  bool get(uint64_t& value);
  bool get(int64_t& value);
  bool get(uint32_t& value);
  bool get(int32_t& value);
  bool get(wchar_t& value);
  bool get(char& value);
  bool get(bool& value);

 private:
  bool readTyped(int32_t wanted, TypedValue& value);
};

}  // namespace VemoraCorelib
