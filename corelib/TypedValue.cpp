#include "corelib/TypedValue.h"

#include <map>
#include <vector>

#include "corelib/Atom.h"
#include "corelib/DateTimeDetails.h"
#include "corelib/StringTools.h"

namespace VemoraCorelib {

namespace {

constexpr char kEscape = '\\';

const std::map<int32_t, std::string>& namesByType() {
  static const std::map<int32_t, std::string> names = {
      {TypedValue::kBool, "bool"},       {TypedValue::kInt32, "int32"},
      {TypedValue::kUInt32, "uint32"},   {TypedValue::kInt64, "int64"},
      {TypedValue::kUInt64, "uint64"},   {TypedValue::kDouble, "double"},
      {TypedValue::kTime, "time"},       {TypedValue::kString, "string"},
      {TypedValue::kWString, "wstring"}, {TypedValue::kChar, "char"},
      {TypedValue::kWChar, "wchar"},
  };
  return names;
}

const std::map<std::string, int32_t>& typesByName() {
  static const std::map<std::string, int32_t> types = [] {
    std::map<std::string, int32_t> m;
    for (const auto& [type, name] : namesByType()) m[name] = type;
    return m;
  }();
  return types;
}

std::string escaped(const std::string& text) {
  return StringTools::escape(text, '\n', 'n', kEscape);
}

std::wstring escaped(const std::wstring& text) {
  return StringTools::escape(text, L'\n', L'n', L'\\');
}

}  // namespace

TypedValue::TypedValue(int32_t type, std::string text) : type(type), text(std::move(text)) {}
TypedValue::TypedValue(bool value) : type(kBool), text(value ? "1" : "0") {}
TypedValue::TypedValue(char value)
    : type(kChar),
      text(StringTools::toString(static_cast<int32_t>(static_cast<signed char>(value)))) {}
TypedValue::TypedValue(wchar_t value)
    : type(kWChar), text(StringTools::toString(static_cast<uint32_t>(value) & 0xFFFFu)) {}
TypedValue::TypedValue(int32_t value) : type(kInt32), text(StringTools::toString(value)) {}
TypedValue::TypedValue(uint32_t value) : type(kUInt32), text(StringTools::toString(value)) {}
TypedValue::TypedValue(int64_t value) : type(kInt64), text(StringTools::toString(value)) {}
TypedValue::TypedValue(uint64_t value) : type(kUInt64), text(StringTools::toString(value)) {}
TypedValue::TypedValue(double value) : type(kDouble), text(StringTools::toString(value)) {}
TypedValue::TypedValue(const std::string& value) : type(kString), text(escaped(value)) {}
TypedValue::TypedValue(const std::wstring& value)
    : type(kWString), text(wideToBytes(escaped(value))) {}
TypedValue::TypedValue(const char* value) : TypedValue(std::string(value ? value : "")) {}
TypedValue::TypedValue(const wchar_t* value) : TypedValue(std::wstring(value ? value : L"")) {}

TypedValue::TypedValue(const Atom& value) {
  if (value.isWide()) {
    *this = TypedValue(value.wideText());
  } else {
    *this = TypedValue(value.text());
  }
}

TypedValue TypedValue::time(int64_t value) {
  return TypedValue(kTime, StringTools::toString(static_cast<uint64_t>(value)));
}

bool TypedValue::read(char& out) const {
  if (type != kChar) return false;
  out = static_cast<char>(StringTools::toInt32(text));
  return true;
}

bool TypedValue::read(wchar_t& out) const {
  if (type != kWChar) return false;
  out = static_cast<wchar_t>(static_cast<uint32_t>(StringTools::toInt32(text)) & 0xFFFFu);
  return true;
}

bool TypedValue::read(std::string& out) const {
  if (type != kString) return false;
  out = StringTools::unescape(text, 'n', '\n', kEscape);
  return true;
}

bool TypedValue::read(std::wstring& out) const {
  if (type != kWString) return false;
  out = StringTools::unescape(bytesToWide(text), L'n', L'\n', L'\\');
  return true;
}

std::string TypedValue::displayText() const {
  switch (type) {
    case kBool:
      return (text.empty() || text == "0") ? "false" : "true";
    case 1:
    case 2:
    case kInt32:
    case kUInt32:
    case kInt64:
    case kUInt64:
    case kDouble:
      return text;
    case kTime: {
      std::string out;
      DateTimeDetails(static_cast<int64_t>(StringTools::toUInt64(text)))
          .toString(out, true, false, false);
      return out;
    }
    case kString: {
      std::string out;
      read(out);
      return out;
    }
    case kWString: {
      std::wstring out;
      read(out);
      return StringTools::convert(out);
    }
    case kChar:
      return std::string(1, static_cast<char>(StringTools::toInt32(text)));
    case kWChar: {
      wchar_t unit = 0;
      read(unit);
      return std::string(1, StringTools::convert(unit));
    }
    default:
      return std::string();
  }
}

std::wstring TypedValue::wideDisplayText() const {
  if (type == kWString) {
    std::wstring out;
    read(out);
    return out;
  }
  if (type == kWChar) {
    wchar_t unit = 0;
    read(unit);
    return std::wstring(1, unit);
  }
  return StringTools::convert(displayText());
}

std::string TypedValue::typeName(int32_t type) {
  const auto found = namesByType().find(type);
  return found == namesByType().end() ? std::string() : found->second;
}

std::wstring TypedValue::wideTypeName(int32_t type) {
  return StringTools::convert(typeName(type));
}

int32_t TypedValue::typeFromName(const std::string& name) {
  std::string lower = name;
  StringTools::toLower(lower);
  const auto found = typesByName().find(lower);
  return found == typesByName().end() ? kNone : found->second;
}

int32_t TypedValue::typeFromName(const std::wstring& name) {
  // A name with units above 0xFF is no type name; convert() would print.
  for (wchar_t c : name) {
    if ((static_cast<uint32_t>(c) & 0xFFFFu) > 0x7Fu) return kNone;
  }
  return typeFromName(StringTools::convert(name));
}

std::string TypedValue::wideToBytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (wchar_t c : text) {
    const uint32_t unit = static_cast<uint32_t>(c) & 0xFFFFu;
    bytes += static_cast<char>(unit & 0xFFu);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::wstring TypedValue::bytesToWide(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const uint32_t low = static_cast<unsigned char>(bytes[i]);
    const uint32_t high = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<wchar_t>(low | (high << 8));
  }
  return text;
}

}  // namespace VemoraCorelib
