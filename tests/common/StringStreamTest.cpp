#include <gtest/gtest.h>

#include <vector>

#include "common/StringOps.h"
#include "common/StringStream.h"

namespace Vemora {
namespace {

std::string textOf(const StringStream& stream, int method) {
  std::string out;
  stream.toString(out, method);
  return out;
}

void fillMessageLike(StringStream& s) {
  s.putUInt(4000000000u)
      .putString("agent")
      .putString("")
      .putInt(-7)
      .putLong(2147483647)
      .putBool(true)
      .putBool(false)
      .putUInt64(18446744073709551615ull)
      .putString("line1\nline2 {x}");
}

TEST(StringStreamTest, TextForms) {
  StringStream empty;
  EXPECT_EQ(textOf(empty, StringStream::kMethodNone), "\n");

  StringStream one;
  one.putString("ab");
  EXPECT_EQ(textOf(one, StringStream::kMethodNone), std::string("method=none\n\x01"
                                                                "ab\0",
                                                                16));
  const std::string body(
      "\x01"
      "ab\0",
      4);
  EXPECT_EQ(textOf(one, StringStream::kMethodChecksum),
            "method=checksum,data=" + StringOps::fromUInt64(StringOps::hash64(body)) + "\n" + body);
  EXPECT_EQ(textOf(one, StringStream::kMethodEncrypt), "method=encrypt\n" + body);
  EXPECT_EQ(textOf(one, 9), "\n" + body);

  StringStream numbers;
  numbers.putInt(-5).putUInt(5).putBool(false).putUInt64(12);
  EXPECT_EQ(textOf(numbers, StringStream::kMethodNone), std::string("method=none\n\x08-5\0\x09"
                                                                    "5\0\x05"
                                                                    "0\0\x0d"
                                                                    "12\0",
                                                                    26));
}

TEST(StringStreamTest, RoundTripEveryMethod) {
  for (int method : {1, 2, 3}) {
    StringStream out;
    fillMessageLike(out);
    StringStream in;
    ASSERT_TRUE(in.fromString(textOf(out, method))) << method;
    uint32_t u = 0;
    std::string name, empty = "x", data;
    int32_t i = 0, l = 0;
    bool t = false, f = true;
    uint64_t big = 0;
    in.getUInt(u).getString(name).getString(empty).getInt(i).getLong(l).getBool(t).getBool(f);
    in.getUInt64(big).getString(data);
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(u, 4000000000u);
    EXPECT_EQ(name, "agent");
    EXPECT_EQ(empty, "");
    EXPECT_EQ(i, -7);
    EXPECT_EQ(l, 2147483647);
    EXPECT_TRUE(t);
    EXPECT_FALSE(f);
    EXPECT_EQ(big, 18446744073709551615ull);
    EXPECT_EQ(data, "line1\nline2 {x}");
  }
}

TEST(StringStreamTest, ChecksumAcceptsOriginalAndRejectsAnyChangedByte) {
  StringStream out;
  fillMessageLike(out);
  const std::string text = textOf(out, StringStream::kMethodChecksum);
  StringStream good;
  EXPECT_TRUE(good.fromString(text));

  const size_t bodyStart = text.find('\n') + 1;
  for (size_t at = bodyStart; at < text.size(); ++at) {
    std::string changed = text;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    StringStream bad;
    EXPECT_FALSE(bad.fromString(changed)) << "byte " << at;
    EXPECT_TRUE(bad.atEnd());
  }

  std::string upper = text;
  upper.replace(upper.find("checksum"), 8, "CHECKSUM");
  StringStream caseless;
  EXPECT_TRUE(caseless.fromString(upper));

  std::string trailing = text;
  trailing.insert(text.find('\n'), "xyz");
  StringStream digitsThenOther;
  EXPECT_TRUE(digitsThenOther.fromString(trailing));

  std::string noData = "method=checksum\n" + text.substr(bodyStart);
  StringStream missing;
  EXPECT_FALSE(missing.fromString(noData));
}

TEST(StringStreamTest, RejectedHeaders) {
  const std::vector<std::string> texts = {
      std::string("method=none\x01"
                  "ab",
                  14),  // no line end
      "\n",
      "Method=none\n\x01x",
      "method=bogus\n\x01x",
      "a=1\n\x01x",
  };
  for (const std::string& text : texts) {
    StringStream s;
    EXPECT_FALSE(s.fromString(text)) << text;
  }
  StringStream s;
  EXPECT_TRUE(s.fromString("method=NONE\n"));
  EXPECT_TRUE(s.atEnd());
}

TEST(StringStreamTest, UnknownCodeStopsButKeepsEarlierItems) {
  StringStream s;
  const std::string text(
      "method=none\n\x01"
      "a\0\x11"
      "b\0\x01"
      "c\0",
      21);
  EXPECT_FALSE(s.fromString(text));
  // The item before the bad piece stays; the cursor was not moved to it.
  EXPECT_TRUE(s.atEnd());
  s.putBool(true);
  std::string a;
  s.getString(a);
  EXPECT_EQ(a, "a");
}

TEST(StringStreamTest, CursorRules) {
  StringStream s;
  EXPECT_TRUE(s.atEnd());
  int32_t value = 42;
  s.getInt(value);
  EXPECT_EQ(value, 42);

  s.putUInt(9).putInt(8);
  EXPECT_FALSE(s.atEnd());
  s.getInt(value);  // a code 9 item: skipped, output unchanged
  EXPECT_EQ(value, 42);
  s.getInt(value);
  EXPECT_EQ(value, 8);
  EXPECT_TRUE(s.atEnd());

  // Extending an exhausted stream restarts at the first item.
  s.putInt(7);
  uint32_t first = 0;
  s.getUInt(first);
  EXPECT_EQ(first, 9u);
}

TEST(StringStreamTest, FromStringAppendsAndRestartsAtFirstOldItem) {
  StringStream s;
  s.putString("old");
  std::string got;
  s.getString(got);
  ASSERT_TRUE(s.atEnd());
  ASSERT_TRUE(
      s.fromString(std::string("method=none\n\x01"
                               "new\0",
                               17)));
  s.getString(got);
  EXPECT_EQ(got, "old");
  s.getString(got);
  EXPECT_EQ(got, "new");
  EXPECT_TRUE(s.atEnd());
}

TEST(StringStreamTest, BoolAndZeroByteEdgeCases) {
  StringStream s;
  ASSERT_TRUE(
      s.fromString(std::string("method=none\n\x05"
                               "0\0\x05\0\x05"
                               "yes\0",
                               22)));
  bool a = true, b = false, c = false;
  s.getBool(a).getBool(b).getBool(c);
  EXPECT_FALSE(a);
  EXPECT_TRUE(b);
  EXPECT_TRUE(c);

  // A zero byte inside a string ends the item; the next byte is a code.
  StringStream out;
  out.putString(
      std::string("x\0\x08"
                  "5",
                  4));
  StringStream in;
  ASSERT_TRUE(in.fromString(textOf(out, StringStream::kMethodNone)));
  std::string first;
  int32_t second = 0;
  in.getString(first).getInt(second);
  EXPECT_EQ(first, "x");
  EXPECT_EQ(second, 5);
}

TEST(StringStreamTest, ParseMethod) {
  EXPECT_EQ(StringStream::parseMethod("none"), 1);
  EXPECT_EQ(StringStream::parseMethod("ChEcKsUm"), 2);
  EXPECT_EQ(StringStream::parseMethod("encrypt"), 3);
  EXPECT_EQ(StringStream::parseMethod(""), 0);
  EXPECT_EQ(StringStream::parseMethod("none "), 0);
}

}  // namespace
}  // namespace Vemora
