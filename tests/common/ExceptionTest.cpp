#include <gtest/gtest.h>

#include "common/Exception.h"
#include "common/TimeException.h"

namespace {

using Vemora::Exception;
using Vemora::TimeException;

TEST(ExceptionTest, BaseTextAndCodeText) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {7, "Exception: Unknown error (Code: 63.7)"},
      {5, "Exception: Unknown error (Code: 63.5)"},
      {-1, "Exception: Unknown error (Code: 63.-1)"},
  };
  for (const auto& c : cases) {
    Exception e(c.code);
    EXPECT_EQ(e.text(), c.text);
    EXPECT_EQ(e.detailText(), c.text);  // no message, no trace
    EXPECT_EQ(e.category(), 63);
  }
}

TEST(ExceptionTest, TraceNamesDropFoldersAndExtension) {
  const struct {
    const char* file;
    const char* name;
  } cases[] = {
      {"x/y/Name", "Name"},         {"a.b.c", "a.b."},    {"C:\\src\\FilePlain.cpp", "FilePlain."},
      {"/src/dir.v2/Base", "Base"}, {"Plain.", "Plain."},
  };
  for (const auto& c : cases) {
    Exception e(1);
    e.addTrace(c.file, 3);
    ASSERT_EQ(e.trace().size(), 1u) << c.file;
    EXPECT_EQ(e.trace()[0].name, c.name);
    EXPECT_EQ(e.trace()[0].line, 3);
  }
  Exception e(1);
  e.addTrace("", 3);
  EXPECT_TRUE(e.trace().empty());
}

TEST(ExceptionTest, DetailTextListsMessageAndTrace) {
  Exception e(2, "m", "src/FileBase.cpp", 10);
  e.addTrace("src/FilePlain.cpp", 20);
  EXPECT_EQ(e.detailText(),
            "Exception: Unknown error (Code: 63.2)\r\n  >  (m)\r\n  >  FileBase.(10) - "
            "FilePlain.(20)");
  const Exception copy(e);
  EXPECT_EQ(copy.code(), 2);
  EXPECT_EQ(copy.message(), "m");
  ASSERT_EQ(copy.trace().size(), 2u);
  EXPECT_EQ(copy.trace()[1].name, "FilePlain.");
  EXPECT_EQ(copy.detailText(), e.detailText());
}

TEST(ExceptionTest, FormatTextWritesUnknownForEmptyDescription) {
  Exception e(20);
  EXPECT_EQ(e.formatText("File", "FL_X", "Broken."), "File: Broken. (Code: 63.20)");
  EXPECT_EQ(e.formatText("File", "", ""), "File: Unknown error (Code: 63.20)");
}

TEST(ExceptionTest, TimeFamilyTexts) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "Time: No exception! (Code: 4.0)"},
      {2, "Time: Hours out of range: (0-23). (Code: 4.2)"},
      {10, "Time: Illegal input format. (Code: 4.10)"},
      {11, "Time: Unknown error (Code: 4.11)"},
      {-3, "Time: Unknown error (Code: 4.-3)"},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeException(c.code).text(), c.text);
  try {
    throw TimeException(TimeException::TM_INPUT, "why", __FILE__, __LINE__);
  } catch (const Exception& caught) {  // caught through the base
    EXPECT_EQ(caught.category(), 4);
    EXPECT_EQ(caught.message(), "why");
    ASSERT_EQ(caught.trace().size(), 1u);
    EXPECT_EQ(caught.trace()[0].name, "ExceptionTest.");
  }
}

}  // namespace
