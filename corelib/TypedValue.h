// A typed value: a type number and the value written as text. The numbers
// and names are stored in object-stream files and must not change.
#pragma once

#include <cstdint>
#include <string>

namespace VemoraCorelib {

class Atom;

struct TypedValue {
  enum Type : int32_t {
    kBool = 0,
    kInt32 = 3,
    kUInt32 = 4,
    kInt64 = 5,
    kUInt64 = 6,
    kDouble = 7,
    kTime = 8,
    kString = 9,
    kWString = 10,
    kChar = 12,
    kWChar = 13,
    kNone = 14,
  };

  // Type 14, empty text.
  TypedValue() = default;
  // A value with a given type and its stored text as is (stream readers).
  TypedValue(int32_t type, std::string text);
  explicit TypedValue(bool value);
  explicit TypedValue(char value);
  explicit TypedValue(wchar_t value);
  explicit TypedValue(int32_t value);
  explicit TypedValue(uint32_t value);
  explicit TypedValue(int64_t value);
  explicit TypedValue(uint64_t value);
  explicit TypedValue(double value);
  // Stored escaped (LF as '\' 'n', '\' doubled).
  explicit TypedValue(const std::string& value);
  // Escaped the same way, then stored as UTF-16LE bytes.
  explicit TypedValue(const std::wstring& value);
  // Text pointers are strings (never bools); null gives an empty string.
  explicit TypedValue(const char* value);
  explicit TypedValue(const wchar_t* value);
  // Type 10 for a wide atom, 9 for a narrow one.
  explicit TypedValue(const Atom& value);
  // A time value (milliseconds since 1899-12-31T00:00:00Z).
  static TypedValue time(int64_t value);

  // Exact-type reads: false (out unchanged) when the type differs.
  bool read(char& out) const;
  bool read(wchar_t& out) const;
  bool read(std::string& out) const;
  bool read(std::wstring& out) const;

  std::string displayText() const;
  std::wstring wideDisplayText() const;

  // "bool", "int32", ... for the table's numbers, "" otherwise.
  static std::string typeName(int32_t type);
  static std::wstring wideTypeName(int32_t type);
  // Case-insensitive; 14 for an unknown name.
  static int32_t typeFromName(const std::string& name);
  static int32_t typeFromName(const std::wstring& name);

  // Raw UTF-16LE bytes <-> wide text; an odd last byte is ignored.
  static std::string wideToBytes(const std::wstring& text);
  static std::wstring bytesToWide(const std::string& bytes);

  int32_t type = kNone;
  std::string text;
};

}  // namespace VemoraCorelib
