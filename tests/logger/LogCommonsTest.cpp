#include <gtest/gtest.h>

#include <string>

#include "LogTestSupport.h"
#include "logger/LogCommons.h"
#include "logger/ParamStream.h"

using Vemora::DateTime;
using Vemora::LogCommons;
using Vemora::LogRecord;
using Vemora::MessageLoadReport;
using Vemora::ParamStream;

namespace {

LogRecord debugRecord(int level, const std::string& text) {
  LogRecord r;
  r.kind = LogRecord::kDebug;
  r.applicationModule = 41;
  r.unitModule = 48;
  r.time = DateTime(1000);
  r.debugLevel = level;
  r.text = text;
  r.threadId = 7;
  return r;
}

LogRecord catalogueRecord(int severity, int id, const std::string& text) {
  LogRecord r = debugRecord(0, text);
  r.kind = LogRecord::kCatalogue;
  r.severity = severity;
  r.messageId = id;
  return r;
}

std::string wire(const LogRecord& r) {
  std::string out;
  LogCommons::serializeRecord(r, out);
  return out;
}

const std::string kTime = DateTime(1000).toString(false, false);

}  // namespace

TEST(LogCommonsTest, SeverityNames) {
  const struct {
    int number;
    const char* name;
  } rows[] = {{0, "NOTICE"}, {1, "WARNING"}, {2, "ERROR"}, {3, "CRITICAL"}, {4, "FATAL"}};
  for (const auto& row : rows) {
    EXPECT_EQ(LogCommons::severityName(row.number), row.name);
    EXPECT_EQ(LogCommons::severityFromName(row.name), row.number);
  }
  EXPECT_EQ(LogCommons::severityName(5), "");
  EXPECT_EQ(LogCommons::severityName(-1), "");
  EXPECT_EQ(LogCommons::severityFromName("NONE"), 5);
  EXPECT_EQ(LogCommons::severityFromName("NOTHING"), 5);
  EXPECT_EQ(LogCommons::severityFromName("warning"), 6);
  EXPECT_EQ(LogCommons::severityFromName(""), 6);
}

TEST(LogCommonsTest, WireTextOfADebugRecord) {
  EXPECT_EQ(wire(debugRecord(2, "x")),
            "Vemora\x1C"
            "DEBUG\x1C"
            "41\x1C"
            "48\x1C"
            "1000\x1C"
            "2\x1C"
            "x\x1C"
            "7\x1C");
  EXPECT_EQ(wire(catalogueRecord(3, 5, "sa\x1A")),
            "Vemora\x1CLOG\x1C"
            "41\x1C"
            "48\x1C"
            "1000\x1C"
            "3\x1Csa\x1A\x1C"
            "7\x1C"
            "5\x1C");
}

TEST(LogCommonsTest, RoundTripKeepsEveryField) {
  for (const LogRecord& original :
       {debugRecord(4, "hello world"), catalogueRecord(2, 17, "n3\x1A")}) {
    LogRecord parsed;
    ASSERT_TRUE(LogCommons::parseRecord(wire(original), parsed));
    EXPECT_EQ(parsed.kind, original.kind);
    EXPECT_EQ(parsed.applicationModule, 41);
    EXPECT_EQ(parsed.unitModule, 48);
    EXPECT_EQ(parsed.time.seconds(), 1000);
    EXPECT_EQ(parsed.text, original.text);
    EXPECT_EQ(parsed.threadId, 7u);
    EXPECT_EQ(parsed.messageId, original.messageId);
    EXPECT_EQ(parsed.severity, original.severity);
    EXPECT_EQ(parsed.debugLevel, original.debugLevel);
  }
  LogRecord parsed;
  ASSERT_TRUE(LogCommons::parseRecord(wire(debugRecord(1, "t")), parsed));
  EXPECT_EQ(parsed.messageId, LogRecord::kNoMessage);
}

TEST(LogCommonsTest, FieldSeparatorInTextCannotForgeFields) {
  // A trace text from an agent that tries to set the thread and message id.
  const LogRecord forged = catalogueRecord(0, 5,
                                           "abc\x1C"
                                           "999\x1C"
                                           "12345");
  LogRecord parsed;
  ASSERT_TRUE(LogCommons::parseRecord(wire(forged), parsed));
  EXPECT_EQ(parsed.text, "abc 999 12345");
  EXPECT_EQ(parsed.threadId, 7u);
  EXPECT_EQ(parsed.messageId, 5);
}

TEST(LogCommonsTest, ParseRejectsForeignTexts) {
  LogRecord r;
  EXPECT_FALSE(
      LogCommons::parseRecord("vemora\x1C"
                              "DEBUG\x1C",
                              r));
  EXPECT_FALSE(LogCommons::parseRecord("Vemora\x1CINFO\x1C", r));
  EXPECT_FALSE(LogCommons::parseRecord("", r));
  // Missing and non-numeric fields read as 0 and empty.
  ASSERT_TRUE(LogCommons::parseRecord("Vemora\x1CLOG\x1Cxx", r));
  EXPECT_EQ(r.applicationModule, 0);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.messageId, 0);
}

TEST(LogCommonsTest, DebugTest) {
  EXPECT_TRUE(LogCommons::isDebugRecord(wire(debugRecord(1, ""))));
  EXPECT_FALSE(LogCommons::isDebugRecord(wire(catalogueRecord(1, 1, ""))));
  EXPECT_FALSE(
      LogCommons::isDebugRecord("Vemora\x1C"
                                "DEBU"));  // 11 characters
  EXPECT_TRUE(
      LogCommons::isDebugRecord("Vemora\x1C"
                                "DEBUG"));
}

TEST(LogCommonsTest, ModuleText) {
  const struct {
    int app, unit, id;
    const char* text;
  } rows[] = {
      {41, 48, 5, "(41.48.05)"}, {41, 1, 99999, "(41.01)   "}, {41, 48, 12, "(41.48.12)"},
      {41, 10, 0, "(41.10.00)"}, {1, -3, -2, "(1.0-3.0-2)"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LogCommons::moduleText(row.app, row.unit, row.id), row.text);
  }
}

TEST(LogCommonsTest, LogFileLines) {
  const std::string params = ParamStream().addString("abc").addInt(42).text();
  const struct {
    LogRecord record;
    bool found;
    std::string line;
  } rows[] = {
      {catalogueRecord(0, 5, "Started."), true, "NOTICE   " + kTime + " (41.48.05) 7: Started."},
      {catalogueRecord(3, 5, "x"), true, "CRITICAL " + kTime + " (41.48.05) 7: x"},
      {debugRecord(3, "trace"), false, "debug-3  " + kTime + " (41.48)    7: trace"},
      {debugRecord(5, "t"), true, "debug-5  " + kTime + " (41.48)    7: t"},
      {catalogueRecord(2, 4, params), false,
       "ERROR    " + kTime + " (41.48.04) 7: (Message not found.) Parameters: abc  42  "},
      {catalogueRecord(2, 4, "s"), false,
       "ERROR    " + kTime + " (41.48.04) 7: (Message not found.) Parameters: "},
      {catalogueRecord(2, 4, ""), false,
       "ERROR    " + kTime + " (41.48.04) 7: (Message not found.)"},
      // A separator as the last byte has no kind letter behind it.
      {catalogueRecord(1, 4, "sab\x1B"), false,
       "WARNING  " + kTime + " (41.48.04) 7: (Message not found.) Parameters: ab  "},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LogCommons::formatLine(row.record, row.found), row.line);
  }
}

TEST(LogCommonsTest, Substitution) {
  const std::string textItem = ParamStream().addString("relayhub").text();
  const std::string numberItem = ParamStream().addInt(12).text();
  const struct {
    const char* text;
    std::string params;
    const char* result;
  } rows[] = {
      {"Loaded %i messages for module \"%s\".", numberItem + textItem,
       "Loaded 12 messages for module \"relayhub\"."},
      {"Loaded %i messages for module \"%s\".", "",
       "Loaded <\?\?\?> messages for module \"<\?\?\?>\"."},
      {"%s", ParamStream().addInt(3).text(), "\\3\\"},
      {"%s and %s", textItem, "relayhub and <\?\?\?>"},
      {"end %", textItem, "end <\?\?\?>"},
      {"100%% done", textItem, "100% done"},
      {"100%% done", "", "100<\?\?\?> done"},
      {"%f %d %p %x", numberItem + numberItem + numberItem + numberItem, "12 \\12\\ \\12\\ \\12\\"},
      {"no placeholders", textItem, "no placeholders"},
      {"%s|%s|%s", ParamStream().addString("").addString("b").text() + "\x1A", "|b|\\\\"},
  };
  for (const auto& row : rows) {
    std::string text = row.text;
    LogCommons::substitute(text, row.params);
    EXPECT_EQ(text, row.result) << row.text;
  }
}

TEST(LogCommonsTest, ModuleTables) {
  EXPECT_EQ(LogCommons::moduleId("RelayHub"), 48);
  EXPECT_EQ(LogCommons::moduleId("LOG"), 2);
  EXPECT_EQ(LogCommons::moduleId("configuration"), 1);
  EXPECT_EQ(LogCommons::moduleId("nosuchmodule"), 64);
  EXPECT_EQ(LogCommons::moduleName(48), "relayhub");
  EXPECT_EQ(LogCommons::moduleName(1), "Configuration");
  EXPECT_EQ(LogCommons::moduleName(11), "<<Unknown>>");
  EXPECT_EQ(LogCommons::moduleName(58), "<<Unknown>>");
  EXPECT_EQ(LogCommons::messageFileModuleId("RelayHub"), 41);
  EXPECT_EQ(LogCommons::messageFileModuleId("nosuch"), 0);
  EXPECT_EQ(LogCommons::messageFileModuleName(41), "relayhub");
  EXPECT_EQ(LogCommons::messageFileModuleName(1), "core");
  EXPECT_EQ(LogCommons::messageFileModuleName(2), "<<Unknown>>");
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = logtest::freshFolder("conf"); }
  void writeMess(const std::string& name, const std::string& text) {
    logtest::writeAll(folder + "\\LogMessages\\" + name, text);
  }
  std::string folder;
};

TEST_F(CatalogueTest, LoadsFilteredModulesAndReadsLines) {
  writeMess("configuration.mess", "// comment\n\n5: Config %s\r\n05: second five\n");
  writeMess("Configuration.mess", "1: capital\n");
  writeMess("relayhub.mess", "  12 :  text: with colon \n7:a\n7:b\n \n");
  writeMess("unknown.mess", "1: never\n");
  writeMess("ipc.mess", "1: filtered out\n");
  logtest::writeAll(folder + "\\LogMessages\\notes.txt", "1: not a catalogue\n");
  LogCommons catalogue;
  MessageLoadReport report;
  const MessageLoadReport result =
      catalogue.loadMessages(report, folder, "relayhub,configuration,messaging");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.error, "");
  std::list<std::string> loaded = result.loaded;
  loaded.sort();
  EXPECT_EQ(loaded, (std::list<std::string>{"configuration", "relayhub"}));
  std::list<std::string> rejected = result.rejected;
  rejected.sort();
  EXPECT_EQ(rejected, (std::list<std::string>{"Configuration", "ipc", "unknown"}));
  auto count = result.counts.begin();
  for (const std::string& module : result.loaded) {
    EXPECT_EQ(*count++, module == "relayhub" ? 4 : 2) << module;
  }
  std::string text;
  ASSERT_TRUE(catalogue.lookupMessage(1, 5, text));
  EXPECT_EQ(text, "Config %s");  // the first text of a number stays
  ASSERT_TRUE(catalogue.lookupMessage(48, 12, text));
  EXPECT_EQ(text, "text: with colon");
  ASSERT_TRUE(catalogue.lookupMessage(48, 7, text));
  EXPECT_EQ(text, "a");
  ASSERT_TRUE(catalogue.lookupMessage(48, 0, text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(catalogue.lookupMessage(6, 1, text));
  EXPECT_FALSE(catalogue.lookupMessage(41, 12, text));
}

TEST_F(CatalogueTest, FilterAllAndMissingFolder) {
  writeMess("ipc.mess", "1: one\n");
  writeMess("unknown.mess", "1: never\n");
  LogCommons catalogue;
  MessageLoadReport report;
  catalogue.loadMessages(report, folder + "\\", "all");
  EXPECT_TRUE(report.ok);
  EXPECT_EQ(report.loaded, std::list<std::string>{"ipc"});
  EXPECT_EQ(report.rejected, std::list<std::string>{"unknown"});

  LogCommons empty;
  MessageLoadReport none;
  empty.loadMessages(none, "C:\\no\\such\\folder", "all");
  EXPECT_TRUE(none.ok);
  EXPECT_TRUE(none.loaded.empty());
  EXPECT_TRUE(none.rejected.empty());
}
