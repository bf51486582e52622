#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corelib/Atom.h"
#include "corelib/DateTime.h"
#include "corelib/TypedValue.h"

namespace {

using VemoraCorelib::Atom;
using VemoraCorelib::TypedValue;

TEST(TypedValueTest, StoredTextAndDisplay) {
  const struct {
    TypedValue value;
    int32_t type;
    const char* text;
    const char* display;
  } cases[] = {
      {TypedValue(true), 0, "1", "true"},
      {TypedValue(false), 0, "0", "false"},
      {TypedValue(0, ""), 0, "", "false"},
      {TypedValue(0, "x"), 0, "x", "true"},
      {TypedValue(static_cast<int32_t>(-5)), 3, "-5", "-5"},
      {TypedValue(static_cast<uint32_t>(4000000000u)), 4, "4000000000", "4000000000"},
      {TypedValue(static_cast<int64_t>(-9000000000)), 5, "-9000000000", "-9000000000"},
      {TypedValue(static_cast<uint64_t>(18446744073709551615u)), 6, "18446744073709551615",
       "18446744073709551615"},
      {TypedValue(2.5), 7, "2.5", "2.5"},
      {TypedValue(std::string("a\nb\\")), 9, "a\\nb\\\\", "a\nb\\"},
      {TypedValue("plain"), 9, "plain", "plain"},
      {TypedValue('A'), 12, "65", "A"},
      {TypedValue(static_cast<char>(0xE9)), 12, "-23", "\xE9"},
      {TypedValue(static_cast<wchar_t>(0xE9)), 13, "233", "\xE9"},
      {TypedValue(1, "raw"), 1, "raw", "raw"},
      {TypedValue(11, "raw"), 11, "raw", ""},
      {TypedValue(), 14, "", ""},
      {TypedValue::time(VemoraCorelib::kUnixEpochValue + 1500), 8, "2209075201500",
       "1970-01-01T00:00:01.500Z"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.type, c.type) << c.text;
    EXPECT_EQ(c.value.text, c.text);
    EXPECT_EQ(c.value.displayText(), c.display) << c.text;
  }
}

TEST(TypedValueTest, WideStringIsStoredAsUtf16LittleEndianBytes) {
  const TypedValue value(std::wstring(L"ab"));
  EXPECT_EQ(value.type, 10);
  EXPECT_EQ(value.text, std::string("a\0b\0", 4));
  std::wstring euro = L"x";
  euro += static_cast<wchar_t>(0x20AC);
  euro += L"\n";
  const TypedValue withEuro(euro);
  EXPECT_EQ(withEuro.text, std::string("x\0\xAC\x20\\\0n\0", 8));
  std::wstring back;
  ASSERT_TRUE(withEuro.read(back));
  EXPECT_EQ(back, euro);
  EXPECT_EQ(withEuro.wideDisplayText(), euro);
}

TEST(TypedValueTest, WideValueWithOddByteCountIsReadWithinBounds) {
  const TypedValue odd(10, std::string("a\0b", 3));
  std::wstring text;
  ASSERT_TRUE(odd.read(text));
  EXPECT_EQ(text, L"a");
  EXPECT_EQ(TypedValue(10, std::string("z")).wideDisplayText(), L"");
}

TEST(TypedValueTest, ExactTypeReads) {
  char c = 'q';
  EXPECT_FALSE(TypedValue(static_cast<int32_t>(65)).read(c));
  EXPECT_EQ(c, 'q');
  EXPECT_TRUE(TypedValue('x').read(c));
  EXPECT_EQ(c, 'x');
  wchar_t w = 0;
  EXPECT_TRUE(TypedValue(12, "-23").read(c));
  EXPECT_EQ(static_cast<unsigned char>(c), 0xE9);
  EXPECT_TRUE(TypedValue(13, "65601").read(w));  // cut to 16 bits
  EXPECT_EQ(static_cast<uint32_t>(w), 65u);
  std::string s = "keep";
  EXPECT_FALSE(TypedValue(std::wstring(L"w")).read(s));
  EXPECT_EQ(s, "keep");
}

TEST(TypedValueTest, TypeNames) {
  EXPECT_EQ(TypedValue::typeFromName("UINT64"), 6);
  EXPECT_EQ(TypedValue::typeFromName("float"), 14);
  EXPECT_EQ(TypedValue::typeFromName("wString"), 10);
  EXPECT_EQ(TypedValue::typeFromName(L"Time"), 8);
  EXPECT_EQ(TypedValue::typeName(12), "char");
  EXPECT_EQ(TypedValue::typeName(1), "");
  EXPECT_EQ(TypedValue::typeName(14), "");
  EXPECT_EQ(TypedValue::wideTypeName(13), L"wchar");
  for (int32_t type : {0, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13}) {
    EXPECT_EQ(TypedValue::typeFromName(TypedValue::typeName(type)), type);
  }
}

TEST(TypedValueTest, AtomsBecomeStrings) {
  const Atom narrow(std::string("name"));
  const Atom wide(std::wstring(L"wide"));
  EXPECT_EQ(TypedValue(narrow).type, 9);
  EXPECT_EQ(TypedValue(narrow).displayText(), "name");
  EXPECT_EQ(TypedValue(wide).type, 10);
  EXPECT_EQ(TypedValue(wide).wideDisplayText(), L"wide");
}

}  // namespace
