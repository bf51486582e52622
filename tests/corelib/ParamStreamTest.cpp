#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corelib/Atom.h"
#include "corelib/ParamStream.h"

namespace {

using VemoraCorelib::Atom;
using VemoraCorelib::ParamStream;
using VemoraCorelib::TypedValue;

TEST(ParamStreamTest, Fill) {
  ParamStream two;
  two << static_cast<int32_t>(1) << std::string("x");
  ParamStream one;
  one << static_cast<int32_t>(1);
  ParamStream none;
  ParamStream seven;
  seven << static_cast<int32_t>(7);
  const struct {
    ParamStream* stream;
    const char* pattern;
    const char* text;
  } cases[] = {
      {&two, "a % b %", "a 1 b x"},
      {&one, "a % b %", "a 1 b "},
      {&none, "a % b %", "a % b %"},
      {&seven, "100\\% of %", "100\\% of 7"},
      {&seven, "ends with \\", "ends with \\"},
      {&two, "%%%", "1x"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.stream->fill(c.pattern), c.text) << c.pattern;
  // Every fill starts again at the first value.
  EXPECT_EQ(two.fill("%"), "1");
  EXPECT_EQ(two.fill("%"), "1");
  EXPECT_EQ(two.fill(std::wstring(L"<%|%>")), L"<1|x>");
}

TEST(ParamStreamTest, WriteRefusesBadValues) {
  ParamStream stream;
  EXPECT_FALSE(stream.writeValue(TypedValue(3, "")));
  EXPECT_FALSE(stream.writeValue(TypedValue(14, "x")));
  EXPECT_FALSE(stream.writeValue(TypedValue(-1, "x")));
  EXPECT_TRUE(stream.writeValue(TypedValue(9, "")));
  EXPECT_TRUE(stream.writeValue(TypedValue(10, "")));
  EXPECT_TRUE(stream.put(std::string()));
  EXPECT_EQ(stream.size(), 3u);
}

TEST(ParamStreamTest, ExtractionNeedsTheExactTypeAndConsumes) {
  ParamStream stream;
  stream << std::string("s") << static_cast<int32_t>(4);
  int32_t number = -1;
  EXPECT_FALSE(stream.get(number));  // a string is next: consumed anyway
  EXPECT_EQ(number, -1);
  EXPECT_TRUE(stream.get(number));
  EXPECT_EQ(number, 4);
  EXPECT_FALSE(stream.get(number));  // nothing left
}

TEST(ParamStreamTest, RoundTripOfEveryType) {
  ParamStream stream;
  stream << true << 'c' << static_cast<wchar_t>(0x263A) << static_cast<int32_t>(-3)
         << static_cast<uint32_t>(3000000000u) << static_cast<int64_t>(-1)
         << static_cast<uint64_t>(5) << 0.25 << std::string("line\nbreak")
         << std::wstring(L"wide\\") << "pointer" << Atom(std::string("at"));
  bool b = false;
  char c = 0;
  wchar_t w = 0;
  int32_t i = 0;
  uint32_t u = 0;
  int64_t l = 0;
  uint64_t ul = 0;
  double d = 0;
  std::string s;
  std::wstring ws;
  std::string p;
  Atom atom;
  stream >> b >> c >> w >> i >> u >> l >> ul >> d >> s >> ws >> p >> atom;
  EXPECT_TRUE(b);
  EXPECT_EQ(c, 'c');
  EXPECT_EQ(static_cast<uint32_t>(w), 0x263Au);
  EXPECT_EQ(i, -3);
  EXPECT_EQ(u, 3000000000u);
  EXPECT_EQ(l, -1);
  EXPECT_EQ(ul, 5u);
  EXPECT_EQ(d, 0.25);
  EXPECT_EQ(s, "line\nbreak");
  EXPECT_EQ(ws, L"wide\\");
  EXPECT_EQ(p, "pointer");
  EXPECT_EQ(atom.text(), "at");
}

TEST(ParamStreamTest, CopyStartsAtTheFirstValue) {
  ParamStream stream;
  stream << static_cast<int32_t>(1) << static_cast<int32_t>(2);
  int32_t v = 0;
  stream >> v;
  ParamStream copy(stream);
  copy >> v;
  EXPECT_EQ(v, 1);
  ParamStream assigned;
  assigned = stream;
  EXPECT_EQ(assigned.nextDisplayText(), "1");
  EXPECT_EQ(assigned.nextDisplayText(), "2");
  EXPECT_EQ(assigned.nextDisplayText(), "");
  EXPECT_EQ(assigned.nextWideDisplayText(), L"");
}

// A stream format that escapes through its hooks (as the object stream does).
class HookedStream : public ParamStream {
 public:
  void escapeHook(std::string& text) override { text = "[" + text + "]"; }
  void unescapeHook(std::string& text) override { text = text.substr(1, text.size() - 2); }
};

TEST(ParamStreamTest, StringPutAndGetPassTheHooks) {
  HookedStream stream;
  stream.put(std::string("v"));
  stream.put("raw");  // character pointers bypass the hooks
  EXPECT_EQ(stream.values().front().text, "[v]");
  EXPECT_EQ(stream.values().back().text, "raw");
  std::string out;
  ASSERT_TRUE(stream.get(out));
  EXPECT_EQ(out, "v");
}

}  // namespace
