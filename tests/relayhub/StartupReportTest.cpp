// What the daemon tells an operator outside its log: the readable text of a
// catalogue message on standard error, and how often a repeating failure
// (accept without file descriptors) is reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logger/LogCommons.h"
#include "logger/LogMessenger.h"
#include "logger/ParamStream.h"
#include "relayhub/HubLog.h"
#include "relayhub/RepeatReport.h"
#include "support/ScopeGuard.h"

namespace Vemora {
namespace {

TEST(StartupReport, CatalogueMessagesReadAsWordsWithoutTheCatalogue) {
  const auto none =
      testsupport::setForScope(&LogMessenger::catalogue, &LogMessenger::setCatalogue, nullptr);
  struct Case {
    int severity, module, id;
    ParamStream params;
    const char* text;
  };
  const Case cases[] = {
      {4, 48, 2, ParamStream().addString("relayhub.port"),
       "fatal 2 (relayhub): Required configuration key \"relayhub.port\" is missing, unreadable or "
       "out of range."},
      {2, 48, 15, ParamStream().addInt(5555).addInt(8),
       "error 15 (relayhub): No listener on port 5555 (setup code 8); no agent can connect."},
      // No text known: the number and the parameters, never "(Message not found.)".
      {2, 48, 99, ParamStream().addString("0.0.0.0").addInt(5555),
       "error 99 (relayhub): parameters: \"0.0.0.0\", \"5555\""},
      {1, 48, 98, ParamStream(), "warning 98 (relayhub): no parameters"},
      {2, 49, 1, ParamStream().addULong(10024),
       "error 1 (messaging): Accepting a connection failed (socket error 10024)."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HubLog::consoleText(c.severity, c.module, c.id, c.params.text()), c.text);
  }
  // Once a catalogue is installed its texts win.
  LogCommons catalogue;
  catalogue.addMessage(48, 99, "Own text %s on %i.");
  LogMessenger::setCatalogue(&catalogue);
  EXPECT_EQ(HubLog::consoleText(2, 48, 99, ParamStream().addString("a").addInt(7).text()),
            "error 99 (relayhub): Own text a on 7.");
  LogMessenger::setCatalogue(nullptr);  // before the catalogue goes
}

TEST(StartupReport, RepeatedFailureIsReportedFirstThenEveryIntervalWithItsCount) {
  RepeatReport report(10000);
  uint32_t count = 0;
  // 100 failures a second for 25 seconds: the first, then one report each
  // 10 seconds with the failures since the last report.
  std::vector<uint32_t> reported;
  for (uint64_t ms = 0; ms < 25000; ms += 10) {
    if (report.failure(ms, count)) reported.push_back(count);
  }
  EXPECT_EQ(reported, (std::vector<uint32_t>{1, 1000, 1000}));
  // A success ends the run and tells the failures not yet reported.
  ASSERT_TRUE(report.success(count));
  EXPECT_EQ(count, 499u);
  EXPECT_FALSE(report.success(count));
  // The next failure starts a new run and is reported at once.
  EXPECT_TRUE(report.failure(25001, count));
  EXPECT_EQ(count, 1u);
}

}  // namespace
}  // namespace Vemora
