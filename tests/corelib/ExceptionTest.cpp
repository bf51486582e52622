#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "corelib/Exception.h"
#include "corelib/ParamStream.h"

namespace {

using VemoraCorelib::Exception;
using VemoraCorelib::ParamStream;

class Unit {
 public:
  VEMORA_CORELIB_ERROR_CLASS(Ims_OutOfMemory);
};

TEST(ExceptionTest, MarkupReduction) {
  const struct {
    const char* message;
    const char* reduced;
  } cases[] = {
      {"@a.b{Hello %};", "Hello %"},
      {"@x{A};@y{B};", "AB"},
      {"a}b", "a}b"},
      {"mail@host", "mailhost"},
      {"@id{text}; tail", "text} tail"},
      {"@unterminated{abc", "abc"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Exception::reduceMarkup(c.message), c.reduced) << c.message;
}

TEST(ExceptionTest, Rendering) {
  const std::string duplicate =
      "@ims.hook.duplicate{Trying to set a hook identical to a hook already set};";
  const Exception plain(duplicate, "ctx", ParamStream());
  EXPECT_EQ(plain.text(true), "Exception: Trying to set a hook identical to a hook already set");
  EXPECT_EQ(plain.text(false), " Trying to set a hook identical to a hook already set");

  const Unit::Ims_OutOfMemory oom("@out-of-memory{Out of memory};", "ctx");
  EXPECT_EQ(oom.text(true), "Ims_OutOfMemory: Out of memory");
  EXPECT_EQ(oom.name(), "Ims_OutOfMemory");

  const Exception wrapper("ctx", oom);
  EXPECT_EQ(wrapper.text(true), "Exception:\nIms_OutOfMemory: Out of memory");
  EXPECT_EQ(wrapper.text(false), "\nIms_OutOfMemory: Out of memory");
  EXPECT_EQ(Exception().text(true), "Exception:");
  EXPECT_EQ(Exception().text(false), "");
}

TEST(ExceptionTest, PlaceholdersAreFilledFromTheArguments) {
  ParamStream arguments;
  arguments << static_cast<int32_t>(3) << static_cast<int32_t>(4);
  EXPECT_EQ(Exception("@m{% of %};", "", arguments).text(false), " 3 of 4");
  EXPECT_EQ(Exception("@m{% of %};", "", ParamStream()).text(false), " % of %");
  ParamStream one;
  one << std::string("x");
  EXPECT_EQ(Exception("@m{% and % and %};", "", one).text(false), " x and  and ");
}

TEST(ExceptionTest, WideMessages) {
  const Exception wide(std::wstring(L"@w{Wide %};"), [] {
    ParamStream p;
    p << static_cast<int32_t>(5);
    return p;
  }());
  EXPECT_EQ(wide.text(false), " Wide 5");
  EXPECT_EQ(wide.wideText(false), L" Wide 5");
  EXPECT_EQ(wide.text(true), "Exception: Wide 5");
  const Exception narrow(std::string("plain"));
  EXPECT_EQ(narrow.wideText(true), L"Exception: plain");
}

TEST(ExceptionTest, ContextsAndCopies) {
  Exception e("@m{x};", Exception::sourceContext("C:\\src\\corelib\\Ims.cpp", 42), ParamStream());
  e.addContext(" @extra{};");
  EXPECT_EQ(e.messageWithContext(), "@m{x}; @logsrc{file=\"Ims.cpp\" line=42}; @extra{};");
  const Exception copy(e);
  EXPECT_EQ(copy.messageWithContext(), e.messageWithContext());
  EXPECT_EQ(copy.text(true), "Exception: x");
  EXPECT_EQ(Exception::sourceContext("Ims.cpp", 7), " @logsrc{file=\"Ims.cpp\" line=7};");
  // The context never reaches the printed text.
  EXPECT_EQ(e.text(false), " x");
}

TEST(ExceptionTest, ThrowSiteContextNamesTheFile) {
  try {
    throw Unit::Ims_OutOfMemory("@out-of-memory{Out of memory};", VEMORA_CORELIB_SOURCE_CONTEXT());
  } catch (const Exception& caught) {
    ASSERT_EQ(caught.contexts().size(), 1u);
    EXPECT_EQ(caught.contexts().front().rfind(" @logsrc{file=\"ExceptionTest.cpp\" line=", 0), 0u);
  }
}

TEST(ExceptionTest, NestedChainRendersInOrder) {
  Exception outer(std::string("@o{Outer};"));
  outer.addNested(Exception(std::string("@a{A};")));
  outer.addNested(Exception("ctx", Exception(std::string("@b{B};"))));
  EXPECT_EQ(outer.text(true), "Exception: Outer\nException: A\nException:\nException: B");
}

}  // namespace
