#include "corelib/StreamBase.h"

#include "corelib/StringTools.h"

namespace VemoraCorelib {

StreamBase& StreamBase::operator<<(const Atom& value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(const std::wstring& value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(const std::string& value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(const wchar_t* value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(const char* value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(double value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(uint64_t value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(int64_t value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(uint32_t value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(int32_t value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(wchar_t value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(char value) {
  put(value);
  return *this;
}
StreamBase& StreamBase::operator<<(bool value) {
  put(value);
  return *this;
}

StreamBase& StreamBase::operator>>(Atom& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(std::wstring& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(std::string& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(double& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(uint64_t& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(int64_t& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(uint32_t& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(int32_t& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(wchar_t& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(char& value) {
  get(value);
  return *this;
}
StreamBase& StreamBase::operator>>(bool& value) {
  get(value);
  return *this;
}

bool StreamBase::put(const Atom& value) {
  return writeValue(TypedValue(value));
}

bool StreamBase::put(const std::wstring& value) {
  std::wstring copy = value;
  escapeHook(copy);
  return writeValue(TypedValue(copy));
}

bool StreamBase::put(const std::string& value) {
  std::string copy = value;
  escapeHook(copy);
  return writeValue(TypedValue(copy));
}

bool StreamBase::put(const wchar_t* value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(const char* value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(double value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(uint64_t value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(int64_t value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(uint32_t value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(int32_t value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(wchar_t value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(char value) {
  return writeValue(TypedValue(value));
}
bool StreamBase::put(bool value) {
  return writeValue(TypedValue(value));
}

bool StreamBase::readTyped(int32_t wanted, TypedValue& value) {
  if (!readValue(value)) return false;
  return value.type == wanted;
}

bool StreamBase::get(Atom& value) {
  TypedValue read;
  if (!readValue(read)) return false;
  if (read.type == TypedValue::kString) {
    std::string text;
    read.read(text);
    value = text;
    return true;
  }
  if (read.type == TypedValue::kWString) {
    std::wstring text;
    read.read(text);
    value = text;
    return true;
  }
  return false;
}

bool StreamBase::get(std::wstring& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kWString, read)) return false;
  read.read(value);
  unescapeHook(value);
  return true;
}

bool StreamBase::get(std::string& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kString, read)) return false;
  read.read(value);
  unescapeHook(value);
  return true;
}

bool StreamBase::get(double& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kDouble, read)) return false;
  value = StringTools::toDouble(read.text);
  return true;
}

bool StreamBase::get(uint64_t& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kUInt64, read)) return false;
  value = StringTools::toUInt64(read.text);
  return true;
}

bool StreamBase::get(int64_t& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kInt64, read)) return false;
  value = StringTools::toInt64(read.text);
  return true;
}

bool StreamBase::get(uint32_t& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kUInt32, read)) return false;
  value = StringTools::toUInt32(read.text);
  return true;
}

bool StreamBase::get(int32_t& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kInt32, read)) return false;
  value = StringTools::toInt32(read.text);
  return true;
}

bool StreamBase::get(wchar_t& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kWChar, read)) return false;
  return read.read(value);
}

bool StreamBase::get(char& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kChar, read)) return false;
  return read.read(value);
}

bool StreamBase::get(bool& value) {
  TypedValue read;
  if (!readTyped(TypedValue::kBool, read)) return false;
  value = StringTools::toBool(read.text);
  return true;
}

}  // namespace VemoraCorelib
