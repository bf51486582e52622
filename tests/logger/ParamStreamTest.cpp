#include <gtest/gtest.h>

#include "logger/ParamStream.h"

using Vemora::ParamStream;

TEST(ParamStreamTest, EncodesItemsInCallOrder) {
  EXPECT_EQ(ParamStream().text(), "");
  EXPECT_EQ(ParamStream().addString("abc").addInt(42).text(), "sabc\x1An42\x1A");
  EXPECT_EQ(ParamStream().addString("").text(), "s\x1A");
  EXPECT_EQ(ParamStream().addCString(nullptr).addCString("q").text(), "s\x1Asq\x1A");
  // A text that already ends with the separator gets no second one.
  EXPECT_EQ(ParamStream().addString("x\x1A").text(), "sx\x1A");
}

TEST(ParamStreamTest, NumbersArePlainDecimal) {
  EXPECT_EQ(ParamStream().addInt(-5).text(), "n-5\x1A");
  EXPECT_EQ(ParamStream().addUInt(4000000000u).text(), "n4000000000\x1A");
  EXPECT_EQ(ParamStream().addLong(-7L).addULong(0UL).text(), "n-7\x1An0\x1A");
}

TEST(ParamStreamTest, CopiesAreIndependent) {
  ParamStream a;
  a.addInt(1);
  ParamStream b(a);
  b.addInt(2);
  EXPECT_EQ(a.text(), "n1\x1A");
  EXPECT_EQ(b.text(), "n1\x1An2\x1A");
}
