#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "corelib/AppFrame.h"
#include "corelib/Exception.h"
#include "corelib/FileRegistry.h"
#include "corelib/ImsAgent.h"

namespace {

using VemoraCorelib::AppFrame;

// A tool whose configure and run do what the test asks.
class Tool : public AppFrame {
 public:
  explicit Tool(std::vector<const char*> arguments, bool configureResult = true,
                std::function<int(Tool&)> work = nullptr)
      : AppFrame("tool", "tool", "9", true, "Maker"),
        arguments_(std::move(arguments)),
        configureResult_(configureResult),
        work_(std::move(work)) {
    setArguments(static_cast<int>(arguments_.size()), arguments_.data());
    if (!configure()) setState(kFailed);
    if (!processCommandLine()) setState(kFailed);
  }
  bool configure() override {
    parser().addArgOption("Input", 'i', "input", {});
    return configureResult_;
  }
  bool shutdown() override { return true; }
  int run() override {
    ++runs;
    return work_ ? work_(*this) : 0;
  }
  int runs = 0;

 private:
  std::vector<const char*> arguments_;
  bool configureResult_;
  std::function<int(Tool&)> work_;
};

TEST(AppFrameTest, CommandLineOutcomes) {
  const struct {
    std::vector<const char*> arguments;
    int32_t state;
    const char* printedStart;
  } cases[] = {
      {{"tool", "-i", "x"}, AppFrame::kRun, ""},
      {{"tool", "--version"}, AppFrame::kInformationPrinted, "Version=6.5.0.0"},
      {{"tool", "--revision"}, AppFrame::kInformationPrinted, "Revision=21803"},
      {{"tool", "-?"}, AppFrame::kInformationPrinted, "Usage: tool [options]\nOptions:\n"},
      {{"tool", "-z"}, AppFrame::kFailed, "ERROR: Unknown option 'z'\n"},
      {{"tool", "-i"}, AppFrame::kFailed, "ERROR: Missing argument to 'i' option\n"},
  };
  for (const auto& k : cases) {
    ::testing::internal::CaptureStdout();
    Tool tool(k.arguments);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(tool.state(), k.state) << k.printedStart;
    EXPECT_EQ(printed.substr(0, std::string(k.printedStart).size()), k.printedStart);
    if (k.state == AppFrame::kFailed || k.state == AppFrame::kRun) {
      EXPECT_EQ(printed, k.printedStart);
    }
    EXPECT_EQ(tool.runs, 0);
  }
}

TEST(AppFrameTest, SeveralTextsAreJoined) {
  ::testing::internal::CaptureStdout();
  Tool tool({"tool", "--revision", "-?", "--version"});
  const std::string printed = ::testing::internal::GetCapturedStdout();
  const std::string help = tool.parser().helpText();
  EXPECT_EQ(printed, help + "\nVersion=6.5.0.0\nRevision=21803");
}

TEST(AppFrameTest, FailedConfigureFails) {
  Tool tool({"tool"}, false);
  EXPECT_EQ(tool.state(), AppFrame::kFailed);
}

TEST(AppFrameTest, FrameworkObjects) {
  Tool tool({"tool"});
  EXPECT_EQ(tool.name(), "appframe");
  EXPECT_EQ(tool.frameworkLogger().source(), "appframe");
  EXPECT_EQ(tool.applicationLogger().source(), "anonymous");
  EXPECT_EQ(tool.systemBase().name(), "system-base");
  EXPECT_EQ(tool.confAgent().name(), "conf-agent");
  EXPECT_TRUE(tool.initialize());
  EXPECT_FALSE(VemoraCorelib::FileRegistry::useFileRegistry());  // the frame has no "filereg"
  VemoraCorelib::ImsMessage message("system", "query", "x");
  EXPECT_EQ(tool.systemBase().handleMessage(message), 1);  // no request in it
  EXPECT_EQ(tool.handleMessage(message), 1);
  EXPECT_EQ(tool.handleHookMessage(1, message), 1);
}

TEST(AppFrameTest, RunWrapperTurnsExceptionsIntoExitCode2) {
  const struct {
    std::function<int(Tool&)> work;
    std::string printed;
    int code;
  } cases[] = {
      {[](Tool&) { return 7; }, "", 7},
      {[](Tool&) -> int { throw std::range_error("r"); }, "ERROR: STD range error", 2},
      {[](Tool&) -> int { throw std::bad_alloc(); }, "ERROR: STD out of memory", 2},
      {[](Tool&) -> int { throw 42; }, "ERROR: Unknown exception", 2},
      {[](Tool&) -> int { throw std::runtime_error("x"); }, "ERROR: Unknown exception", 2},
      {[](Tool&) -> int {
         throw VemoraCorelib::Exception("@a.b{Failed % times};", "", VemoraCorelib::ParamStream());
       },
       " Failed % times", 2},  // no arguments: the template stays
  };
  for (const auto& k : cases) {
    Tool tool({"tool"}, true, k.work);
    ::testing::internal::CaptureStdout();
    const int code = tool.execute();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), k.printed);
    EXPECT_EQ(code, k.code);
    EXPECT_EQ(tool.runs, 1);
  }
}

TEST(AppFrameTest, DuplicateHookFromRunIsPrinted) {
  Tool tool({"tool"}, true, [](Tool& t) {
    t.setMessageHook(false, "x", "y", "z", 0);
    t.setMessageHook(false, "x", "y", "z", 0);
    return 0;
  });
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tool.execute(), 2);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Trying to set a hook identical to a hook already set"), std::string::npos)
      << printed;
  EXPECT_NE(printed.back(), '\n');
}

TEST(AppFrameTest, SignalHandlerOnlyRaisesTheFlag) {
  AppFrame::quitFlag()->store(false);
  EXPECT_FALSE(AppFrame::quitRequested());
  AppFrame::signalHandler(2);
  EXPECT_TRUE(AppFrame::quitRequested());
  AppFrame::quitFlag()->store(false);
}

}  // namespace
