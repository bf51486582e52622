// The command-line parser of the core library's tools. Six kinds of option:
//   0 a positional argument;
//   1 a flag: "-" and its letter, or "--" and its long name;
//   2 like a flag, the value being the next argument;
//   3 like kind 2, the value being one of the allowed values;
//   4 one argument "name=value" (or "--name" followed by the value);
//   5 like kind 2, the value being the next argument and every later one,
//     joined by " ".
// Several letters may follow one "-" ("-abc" is -a -b -c); "--" ends the
// options. The help text has an aligned description column and an epilogue
// of free lines wrapped at 75 characters.
//
// Not thread-safe: a parser belongs to one thread.
#pragma once

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <vector>

namespace VemoraCorelib {

class CmdParser {
 public:
  struct Option {
    uint32_t id = 0;  // registration order
    int32_t kind = 0;
    char shortCode = 0;  // 0: none
    std::string longName;
    std::set<std::string> allowedValues;
    std::string description;  // for a positional argument: its name
    std::string value;        // as given on the command line
  };

  // Order of the option table: by kind, then options with a short code
  // before those without (by code), then with a long name before those
  // without (by name).
  struct KeyLess {
    bool operator()(const Option& a, const Option& b) const;
  };
  // The given options: the key order, then by value.
  struct GivenLess {
    bool operator()(const Option& a, const Option& b) const;
  };

  CmdParser();

  // Once per parser (later calls do nothing): stores the program name and,
  // with standardOptions, registers "help" (-?), "version", "revision",
  // "debug" and, with configOptions, -c and "filereg".
  void addStandardOptions(const std::string& programName, bool standardOptions,
                          bool extraPositionals, bool configOptions);
  // Registers an option; false (nothing changed) when its description of
  // kind, code, name and values is incomplete or its key is taken.
  bool addOption(const std::string& description, int32_t kind, char shortCode,
                 const std::string& longName, const std::set<std::string>& allowedValues);
  bool addFlag(const std::string& description, char shortCode, const std::string& longName);
  bool addArgOption(const std::string& description, char shortCode, const std::string& longName,
                    const std::set<std::string>& allowedValues);
  // Appends `text` to the help epilogue, wrapped into lines of at most 75
  // characters where it can be broken.
  void addHelpText(const std::string& text);

  // Parses the arguments (argv[0] first). True on success, with `out` set to
  // the help, version or revision text when one was asked for; false with
  // `out` holding the error message.
  bool parse(int argc, const char* const* argv, std::string& out);
  bool parse(const std::vector<std::string>& arguments, std::string& out);

  bool isSet(char shortCode) const;
  bool isSet(const std::string& longName) const;
  // The value of the first given option with this long name (in given-option
  // order); false when none was given or it takes no value.
  bool getValue(const std::string& longName, std::string& value) const;
  // The positional values of the last parse, in order.
  const std::list<Option>& positionalValues() const { return givenPositionals_; }
  const std::string& executablePath() const { return executablePath_; }
  const std::string& versionText() const { return versionText_; }
  const std::string& revisionText() const { return revisionText_; }
  int32_t helpColumn() const { return helpColumn_; }

  std::string helpText() const;

 private:
  struct ParseState;

  const Option* findLong(const std::string& name) const;
  const Option* findShort(char code) const;
  bool parseOptionArgument(ParseState& state, std::string& error);
  bool applyOption(ParseState& state, const Option& option, const std::string& name,
                   bool insideCluster, std::string& error);
  bool parseAssignment(const std::string& argument, std::string& error);
  bool addPositional(const std::string& value, std::string& error);
  static bool isAssignment(const std::string& argument);
  std::string optionHelp(const Option& option) const;

  std::vector<std::string> arguments_;
  std::set<Option, KeyLess> options_;
  int32_t helpColumn_ = 4;
  std::list<Option> positionals_;
  bool extraPositionals_ = false;
  std::string programName_;
  std::set<Option, GivenLess> given_;
  std::list<Option> givenPositionals_;
  std::string executablePath_;
  std::string versionText_;
  std::string revisionText_;
  bool standardOptionsAdded_ = false;
  std::list<std::string> epilogue_;
};

}  // namespace VemoraCorelib
