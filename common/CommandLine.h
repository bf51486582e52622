// The daemon's command-line option reader: the arguments become a list of
// (name, value) pairs. "-x" is a one-character option, "--name" a long one;
// an option's value is the next argument ("-cfile" also gives c = file);
// the program path is the first pair, with an empty name. Outside quotes
// every '-' begins a new option. Thread-safe (no state).
#pragma once

#include <list>
#include <string>
#include <utility>

namespace Vemora {

class CommandLine {
 public:
  using OptionList = std::list<std::pair<std::string, std::string>>;

  CommandLine() = delete;

  static constexpr const char* kPrefixChars = "-";
  static constexpr const char* kQuoteChars = "\"'";

  // Joins the arguments into one line (an argument that begins with neither
  // '-' nor '"' is quoted) and appends its pairs to `out`. Never fails.
  static void parse(int argc, const char* const* argv, OptionList& out);
  // Appends the pairs of one command line to `out`.
  static void parseLine(const std::string& line, OptionList& out);
  // True when some pair has exactly this name (case-sensitive).
  static bool hasOption(const OptionList& list, const std::string& name);
  // Moves the value of the first pair of that name into `value` and removes
  // the pair; false (value untouched) when there is none.
  static bool takeOption(OptionList& list, const std::string& name, std::string& value);
};

}  // namespace Vemora
