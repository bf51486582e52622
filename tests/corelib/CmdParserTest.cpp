#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corelib/CmdParser.h"
#include "corelib/Logger.h"

namespace {

using VemoraCorelib::CmdParser;
using VemoraCorelib::Logger;

class CmdParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parser_.addStandardOptions("tool", true, false, false);
    ASSERT_TRUE(parser_.addArgOption("The action", 'a', "action", {}));
    ASSERT_TRUE(parser_.addFlag("Be quiet", 'q', ""));
    ASSERT_TRUE(parser_.addFlag("Be loud", 'l', "loud"));
    ASSERT_TRUE(parser_.addOption("A mode", 3, 'm', "mode", {"fast", "slow"}));
    ASSERT_TRUE(parser_.addOption("A setting", 4, 0, "set", {}));
    ASSERT_TRUE(parser_.addOption("The rest", 5, 'r', "rest", {}));
    ASSERT_TRUE(parser_.addOption("file", 0, 0, "", {}));
  }
  void TearDown() override { Logger::setMaximumLevel(7); }

  bool parse(const std::vector<std::string>& arguments) { return parser_.parse(arguments, out_); }
  std::string value(const std::string& name) {
    std::string v = "<none>";
    parser_.getValue(name, v);
    return v;
  }

  CmdParser parser_;
  std::string out_;
};

TEST_F(CmdParserTest, RejectsTheseCommandLines) {
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{}, "Missing executable argument"},
      {{"tool", "-a"}, "Missing argument to 'a' option"},
      {{"tool", "--action"}, "Missing argument to 'action' option"},
      {{"tool", "-ab"}, "Option 'a' requires argument but is located inside an options token"},
      {{"tool", "-qa", "x", "-aq", "y"},
       "Option 'a' requires argument but is located inside an options token"},
      {{"tool", "--nothing"}, "Unknown option 'nothing'"},
      {{"tool", "-z"}, "Unknown option 'z'"},
      {{"tool", "-qz"}, "Unknown option 'z'"},
      {{"tool", "x=1"}, "Unknown option 'x'"},
      {{"tool", "action=1"}, "Option 'action' must be option=value"},
      {{"tool", "-m", "medium"}, "Invalid argument to 'm' option"},
      {{"tool", "--mode", "\"fast\""}, "Invalid argument to 'mode' option"},
      {{"tool", "f1", "f2"}, "Too many arguments"},
  };
  for (const auto& k : cases) {
    EXPECT_FALSE(parse(k.arguments)) << k.message;
    EXPECT_EQ(out_, k.message);
  }
}

TEST_F(CmdParserTest, TakesValuesOfEachKind) {
  ASSERT_TRUE(
      parse({"/bin/tool", "-a", "x", "-m", "slow", "set=a=b", "-ql", "f", "-r", "1", "-2", "--x"}));
  EXPECT_EQ(out_, "");
  EXPECT_EQ(parser_.executablePath(), "/bin/tool");
  EXPECT_EQ(value("action"), "x");
  EXPECT_EQ(value("mode"), "slow");
  EXPECT_EQ(value("set"), "a=b");  // the text after the first "="
  EXPECT_EQ(value("rest"), "1 -2 --x");
  EXPECT_TRUE(parser_.isSet('q'));
  EXPECT_TRUE(parser_.isSet("loud"));
  EXPECT_TRUE(parser_.isSet('l'));
  EXPECT_FALSE(parser_.isSet('?'));
  EXPECT_FALSE(parser_.getValue("loud", out_));  // a flag has no value
  EXPECT_EQ(value("debug"), "<none>");           // not given
  ASSERT_EQ(parser_.positionalValues().size(), 1u);
  EXPECT_EQ(parser_.positionalValues().front().value, "f");
}

TEST_F(CmdParserTest, QuotesAndSpecialArguments) {
  ASSERT_TRUE(parse({"tool", "-a", "\"a b\"", "", "-", "--set", "\"v\""}));
  EXPECT_EQ(value("action"), "a b");
  EXPECT_EQ(value("set"), "v");  // kind 4 in its "--" form
  ASSERT_TRUE(parse({"tool", "-a", "'x'"}));
  EXPECT_EQ(value("action"), "'x'");
  ASSERT_TRUE(parse({"tool", "-a", "\""}));
  EXPECT_EQ(value("action"), "\"");
  ASSERT_TRUE(parse({"tool", "--", "-a"}));
  ASSERT_EQ(parser_.positionalValues().size(), 1u);
  EXPECT_EQ(parser_.positionalValues().front().value, "-a");
  EXPECT_FALSE(parser_.isSet('a'));
  EXPECT_TRUE(parse({"tool", "9=x"}));  // not a name: a positional argument
  EXPECT_FALSE(parse({"tool", "--", "x", "y"}));
  EXPECT_EQ(out_, "Too many arguments");
}

TEST_F(CmdParserTest, RepeatedOptionsKeepEveryValue) {
  ASSERT_TRUE(parse({"tool", "-a", "y", "-a", "x", "--action", "x"}));
  EXPECT_EQ(value("action"), "x");  // the first in value order
  ASSERT_TRUE(parse({"tool"}));     // a new parse forgets the last
  EXPECT_EQ(value("action"), "<none>");
}

TEST_F(CmdParserTest, InformationTextsAndTheDebugLevel) {
  ASSERT_TRUE(parse({"tool", "--debug", "flood"}));
  EXPECT_EQ(Logger::maximumLevel(), 8);
  ASSERT_TRUE(parse({"tool", "--debug", "Warning"}));
  EXPECT_EQ(Logger::maximumLevel(), 3);
  ASSERT_TRUE(parse({"tool", "--debug", "loud"}));
  EXPECT_EQ(Logger::maximumLevel(), 0);
  Logger::setMaximumLevel(7);
  ASSERT_TRUE(parse({"tool", "-?", "--debug", "flood"}));
  EXPECT_EQ(Logger::maximumLevel(), 7);
  EXPECT_EQ(out_, parser_.helpText());
  ASSERT_TRUE(parse({"tool", "--version", "--revision"}));
  EXPECT_EQ(out_, "6.5.0.0");
  ASSERT_TRUE(parse({"tool", "--revision", "--debug", "flood"}));
  EXPECT_EQ(out_, "21803");
  EXPECT_EQ(Logger::maximumLevel(), 7);
}

TEST(CmdParserRegistrationTest, RefusesIncompleteOrTakenOptions) {
  CmdParser parser;
  EXPECT_FALSE(parser.addOption("x", 0, 'p', "", {}));
  EXPECT_FALSE(parser.addOption("x", 0, 0, "pos", {}));
  EXPECT_FALSE(parser.addOption("x", 0, 0, "", {"v"}));
  EXPECT_FALSE(parser.addOption("x", 1, 0, "", {}));
  EXPECT_FALSE(parser.addOption("x", 3, 'm', "mode", {}));
  EXPECT_FALSE(parser.addOption("x", 6, 'k', "", {}));
  EXPECT_EQ(parser.helpColumn(), 4);
  EXPECT_TRUE(parser.addFlag("x", 'f', "a-long-name"));
  EXPECT_EQ(parser.helpColumn(), 15);
  EXPECT_FALSE(parser.addFlag("y", 'f', "a-long-name"));          // same key
  EXPECT_TRUE(parser.addArgOption("y", 'f', "a-long-name", {}));  // another kind
  EXPECT_TRUE(parser.addFlag("z", 'f', ""));
  EXPECT_TRUE(parser.addFlag("short", 0, "s"));
  EXPECT_EQ(parser.helpColumn(), 15);
}

TEST(CmdParserRegistrationTest, StandardOptionsOnlyOnce) {
  CmdParser parser;
  parser.addStandardOptions("tool", true, false, true);
  parser.addStandardOptions("other", true, true, true);
  EXPECT_EQ(parser.helpText(),
            "Usage: tool [options]\n"
            "Options:\n"
            "  -?\n"
            "    --help           : Display this help text\n"
            "  --version          : Display version information\n"
            "  --revision         : Display SVN revision information\n"
            "  --debug <arg>      : Set debug level\n"
            "  -c <arg>           : Specify configuration file explicitly\n"
            "  --filereg <arg>    : Specify alternate file registry\n");
  std::string out;
  EXPECT_FALSE(parser.parse({"tool", "extra"}, out));  // extra positionals not allowed
}

TEST(CmdParserRegistrationTest, ExtraPositionalsTakeUnknownOptions) {
  CmdParser parser;
  parser.addStandardOptions("tool", false, true, false);
  parser.addFlag("x", 'x', "");
  std::string out;
  ASSERT_TRUE(parser.parse({"tool", "a", "--zz", "-yx", "b"}, out));
  std::vector<std::string> values;
  for (const auto& p : parser.positionalValues()) values.push_back(p.value);
  EXPECT_EQ(values, (std::vector<std::string>{"a", "zz", "y", "b"}));
  EXPECT_TRUE(parser.isSet('x'));
  EXPECT_FALSE(parser.parse({"tool", "k=v"}, out));
}

TEST(CmdParserHelpTest, LaysOutEveryKind) {
  CmdParser parser;
  parser.addStandardOptions("tool", false, false, false);
  parser.addOption("input", 0, 0, "", {});
  parser.addOption("Mode", 3, 'm', "mode", {"fast", "slow"});
  parser.addOption("Key", 4, 0, "key", {});
  parser.addOption("Rest", 5, 'r', "", {});
  parser.addFlag("Flag", 'f', "");
  parser.addHelpText("Notes:");
  EXPECT_EQ(parser.helpText(),
            "Usage: tool [options] <input>\n"
            "Options:\n"
            "  -m <arg>\n"
            "    --mode <arg> : Mode\n"
            "                   (One of: fast, slow)\n"
            "  key=<value>    : Key\n"
            "  -r <arg>       : Rest\n"
            "  -f             : Flag\n"
            "\n"
            "Notes:\n");
  CmdParser bare;
  EXPECT_EQ(bare.helpText(), "Usage:\n");
}

TEST(CmdParserHelpTest, WrapsLongValueLists) {
  CmdParser parser;
  std::set<std::string> values;
  for (char c = 'a'; c <= 'p'; ++c) values.insert(std::string(6, c));
  parser.addOption("Pick", 3, 'p', "", values);
  const std::string help = parser.helpText();
  const std::string lead(15, ' ');
  EXPECT_EQ(help, "Usage: [options]\nOptions:\n  -p <arg>   : Pick\n" + lead +
                      "(One of: aaaaaa, bbbbbb, cccccc, dddddd, eeeeee, ffffff, gggggg,\n" + lead +
                      "hhhhhh, iiiiii, jjjjjj, kkkkkk, llllll, mmmmmm, nnnnnn, oooooo,\n" + lead +
                      "pppppp)\n");
}

TEST(CmdParserHelpTest, EpilogueLinesWrapAt75) {
  const std::string a70(70, 'a');
  const std::string b10(10, 'b');
  const std::string fortyBlanks(40, ' ');
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"short line", {"short line"}},
      {"", {""}},
      {"    ", {"    "}},
      {a70 + " " + b10, {a70, b10}},
      {a70 + "  \t " + b10, {a70 + "  \t", b10}},  // the rest is trimmed
      {a70 + "xx-" + b10, {a70 + "xx-", b10}},     // a hyphen stays
      {a70 + "xx\\" + b10, {a70 + "xx\\", b10}},   // so does a backslash
      {std::string(40, 'a') + "\n" + std::string(40, 'b'),
       {std::string(40, 'a'), std::string(40, 'b')}},
      {"    " + a70 + " " + b10, {"    " + a70, "    " + b10}},  // the indent comes back
      {std::string(100, 'x'), {std::string(100, 'x')}},          // nowhere to break
      {a70 + " " + a70 + " " + b10, {a70, a70, b10}},
      // An indent past the reach of a break: no break inside it is taken.
      {std::string(80, ' ') + "abc", {std::string(80, ' ') + "abc"}},
      {fortyBlanks + std::string(50, 'x') + " y", {fortyBlanks + std::string(50, 'x') + " y"}},
      {fortyBlanks + std::string(20, 'x') + " " + std::string(30, 'y'),
       {fortyBlanks + std::string(20, 'x'), fortyBlanks + std::string(30, 'y')}},
  };
  for (const auto& k : cases) {
    CmdParser parser;
    parser.addHelpText(k.text);
    std::string expected = "Usage:\n";
    for (const std::string& line : k.lines) expected += "\n" + line;
    if (expected.back() != '\n') expected += "\n";
    EXPECT_EQ(parser.helpText(), expected) << "[" << k.text << "]";
  }
}

}  // namespace
