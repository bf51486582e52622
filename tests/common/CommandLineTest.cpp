#include <gtest/gtest.h>

#include <vector>

#include "common/CommandLine.h"

namespace Vemora {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs parseArgs(std::vector<const char*> args) {
  CommandLine::OptionList list;
  CommandLine::parse(static_cast<int>(args.size()), args.data(), list);
  return Pairs(list.begin(), list.end());
}

Pairs parseLine(const std::string& line) {
  CommandLine::OptionList list;
  CommandLine::parseLine(line, list);
  return Pairs(list.begin(), list.end());
}

struct ArgsCase {
  std::vector<const char*> args;
  Pairs expected;
};

TEST(CommandLineTest, ArgumentsBecomePairs) {
  const std::vector<ArgsCase> cases = {
      {{"prog", "-c", "my file.conf", "--port", "4000"},
       {{"", "prog"}, {"c", "my file.conf"}, {"port", "4000"}}},
      {{"prog", "-?"}, {{"", "prog"}, {"?", ""}}},
      {{"prog", "--help", "--port", "1"}, {{"", "prog"}, {"help", ""}, {"port", "1"}}},
      {{"prog", "--port", "-5"}, {{"", "prog"}, {"port", ""}, {"5", ""}}},
      {{"prog", "-cfile"}, {{"", "prog"}, {"c", "file"}}},
      {{"prog", "-c", "a-b c"}, {{"", "prog"}, {"c", "a-b c"}}},
      {{"prog", "-c my file"}, {{"", "prog"}, {"c", "my"}, {"", "file"}}},
      {{"prog", "-c", ""}, {{"", "prog"}, {"c", ""}}},
      {{"prog", "--a-b"}, {{"", "prog"}, {"a", ""}, {"b", ""}}},
      {{"prog", "-x-y"}, {{"", "prog"}, {"x", ""}, {"y", ""}}},
      {{"prog", "-"}, {{"", "prog"}, {"", "-"}}},
  };
  for (const ArgsCase& c : cases) {
    EXPECT_EQ(parseArgs(c.args), c.expected) << c.args.size() << " args, second " << c.args[1];
  }
}

TEST(CommandLineTest, LineTokenizer) {
  const std::vector<std::pair<std::string, Pairs>> cases = {
      {"", {}},
      {"   ", {}},
      {"\"a\" 'b c'", {{"", "a"}, {"", "b c"}}},
      {"-c \"x", {{"c", "\"x"}}},  // an unterminated quote keeps its quote
      {"-c 'it\"s'", {{"c", "it\"s"}}},
      {"--name\"v\"", {{"name", "v"}}},
      {"ab\"cd\"", {{"", "ab"}, {"", "cd"}}},
      {"-a\t-b\r\n-c v", {{"a", ""}, {"b", ""}, {"c", "v"}}},
      {"--long", {{"long", ""}}},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(parseLine(line), expected) << line;
}

TEST(CommandLineTest, HasAndTakeOption) {
  CommandLine::OptionList list;
  const char* args[] = {"prog", "-c", "one", "-c", "two", "-C", "up"};
  CommandLine::parse(7, args, list);
  EXPECT_TRUE(CommandLine::hasOption(list, "c"));
  EXPECT_TRUE(CommandLine::hasOption(list, "C"));
  EXPECT_FALSE(CommandLine::hasOption(list, "x"));

  std::string value = "untouched";
  EXPECT_FALSE(CommandLine::takeOption(list, "x", value));
  EXPECT_EQ(value, "untouched");
  ASSERT_TRUE(CommandLine::takeOption(list, "c", value));
  EXPECT_EQ(value, "one");
  ASSERT_TRUE(CommandLine::takeOption(list, "c", value));
  EXPECT_EQ(value, "two");
  EXPECT_FALSE(CommandLine::takeOption(list, "c", value));
  ASSERT_TRUE(CommandLine::takeOption(list, "C", value));
  EXPECT_EQ(value, "up");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.front(), std::make_pair(std::string(), std::string("prog")));
}

}  // namespace
}  // namespace Vemora
