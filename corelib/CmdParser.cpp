#include "corelib/CmdParser.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

#include "corelib/Logger.h"
#include "corelib/StringTools.h"

namespace VemoraCorelib {

namespace {

constexpr size_t kEpilogueWidth = 75;
constexpr size_t kLowestBreak = 31;

// Sort key shared by the option table and the given-option set.
auto keyOf(const CmdParser::Option& o) {
  return std::make_tuple(o.kind, o.shortCode == 0, o.shortCode, o.longName.empty(), o.longName);
}

bool isBreakChar(char c) {
  return c == ' ' || c == '\n' || c == '\t';
}

std::string quoteless(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

struct CmdParser::ParseState {
  size_t index = 0;     // the argument being handled
  std::string cluster;  // letters still pending after "-x"
  bool optionsAllowed = true;
};

bool CmdParser::KeyLess::operator()(const Option& a, const Option& b) const {
  return keyOf(a) < keyOf(b);
}

bool CmdParser::GivenLess::operator()(const Option& a, const Option& b) const {
  const auto ka = keyOf(a);
  const auto kb = keyOf(b);
  if (ka != kb) return ka < kb;
  return a.value < b.value;
}

CmdParser::CmdParser() : versionText_("6.5.0.0"), revisionText_("21803") {}

void CmdParser::addStandardOptions(const std::string& programName, bool standardOptions,
                                   bool extraPositionals, bool configOptions) {
  if (standardOptionsAdded_) return;
  standardOptionsAdded_ = true;
  programName_ = programName;
  if (standardOptions) {
    addFlag("Display this help text", '?', "help");
    if (!versionText_.empty()) addFlag("Display version information", 0, "version");
    if (!revisionText_.empty()) addFlag("Display SVN revision information", 0, "revision");
    addArgOption("Set debug level", 0, "debug", {});
    if (configOptions) {
      addArgOption("Specify configuration file explicitly", 'c', "", {});
      addArgOption("Specify alternate file registry", 0, "filereg", {});
    }
  }
  extraPositionals_ = extraPositionals;
}

bool CmdParser::addOption(const std::string& description, int32_t kind, char shortCode,
                          const std::string& longName, const std::set<std::string>& allowedValues) {
  if (kind < 0 || kind > 5) return false;
  Option option;
  option.id = static_cast<uint32_t>(options_.size());
  option.kind = kind;
  option.shortCode = shortCode;
  option.longName = longName;
  option.allowedValues = allowedValues;
  option.description = description;
  if (kind == 0) {
    if (shortCode != 0 || !longName.empty() || !allowedValues.empty()) return false;
    positionals_.push_back(option);
  } else {
    if (shortCode == 0 && longName.empty()) return false;
    if (kind == 3 && allowedValues.empty()) return false;
    if (!options_.insert(option).second) return false;
  }
  helpColumn_ = std::max(helpColumn_, static_cast<int32_t>(longName.size()) + 4);
  return true;
}

bool CmdParser::addFlag(const std::string& description, char shortCode,
                        const std::string& longName) {
  return addOption(description, 1, shortCode, longName, {});
}

bool CmdParser::addArgOption(const std::string& description, char shortCode,
                             const std::string& longName,
                             const std::set<std::string>& allowedValues) {
  return addOption(description, 2, shortCode, longName, allowedValues);
}

void CmdParser::addHelpText(const std::string& text) {
  const size_t indentEnd = text.find_first_not_of(" \t\n");
  const std::string indent = text.substr(0, std::min(indentEnd, text.size()));
  std::string rest = text;
  while (rest.size() > kEpilogueWidth) {
    // A break inside the indent would give back the same text for ever, so
    // only breaks past the indent count.
    size_t cut = std::string::npos;
    for (size_t p = kEpilogueWidth; p >= kLowestBreak && p >= indent.size(); --p) {
      const char c = rest[p];
      if (isBreakChar(c) || c == '-' || c == '\\') {
        cut = p;
        break;
      }
    }
    if (cut == std::string::npos) break;
    const bool keepChar = !isBreakChar(rest[cut]);
    epilogue_.push_back(rest.substr(0, keepChar ? cut + 1 : cut));
    std::string tail = rest.substr(cut + 1);
    StringTools::trimLeft(tail, true);
    rest = indent + tail;
  }
  epilogue_.push_back(rest);
}

bool CmdParser::parse(int argc, const char* const* argv, std::string& out) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] == nullptr ? "" : argv[i]);
  return parse(arguments, out);
}

bool CmdParser::parse(const std::vector<std::string>& arguments, std::string& out) {
  arguments_ = arguments;
  given_.clear();
  givenPositionals_.clear();
  ParseState state;
  if (!programName_.empty()) {
    if (arguments_.empty()) {
      out = "Missing executable argument";
      return false;
    }
    executablePath_ = arguments_[0];
    state.index = 1;
  }
  for (; state.index < arguments_.size(); ++state.index) {
    const std::string& argument = arguments_[state.index];
    bool ok = true;
    if (argument.empty() || argument == "-") continue;
    if (!state.optionsAllowed) {
      ok = addPositional(argument, out);
    } else if (argument == "--") {
      state.optionsAllowed = false;
    } else if (argument[0] == '-') {
      ok = parseOptionArgument(state, out);
    } else if (isAssignment(argument)) {
      ok = parseAssignment(argument, out);
    } else {
      ok = addPositional(argument, out);
    }
    if (!ok) return false;
  }
  out.clear();
  std::string debugValue;
  if (isSet('?')) {
    out = helpText();
  } else if (isSet("version")) {
    out = versionText_;
  } else if (isSet("revision")) {
    out = revisionText_;
  } else if (getValue("debug", debugValue)) {
    const int32_t level = Logger::levelFromName(debugValue);
    if (level <= 8) Logger::setMaximumLevel(level);
  }
  return true;
}

bool CmdParser::parseOptionArgument(ParseState& state, std::string& error) {
  const std::string& argument = arguments_[state.index];
  if (argument.compare(0, 2, "--") == 0) {
    const std::string name = argument.substr(2);
    const Option* option = findLong(name);
    if (option == nullptr) {
      if (extraPositionals_) return addPositional(name, error);
      error = "Unknown option '" + name + "'";
      return false;
    }
    return applyOption(state, *option, name, false, error);
  }
  state.cluster = argument.substr(1);
  while (!state.cluster.empty()) {
    const char code = state.cluster[0];
    state.cluster.erase(0, 1);
    const Option* option = findShort(code);
    if (option == nullptr) {
      // The letters after an unknown one are still read as options.
      if (extraPositionals_) {
        if (!addPositional(std::string(1, code), error)) return false;
        continue;
      }
      error = "Unknown option '" + std::string(1, code) + "'";
      return false;
    }
    if (!applyOption(state, *option, std::string(1, code), !state.cluster.empty(), error)) {
      return false;
    }
  }
  return true;
}

bool CmdParser::applyOption(ParseState& state, const Option& option, const std::string& name,
                            bool insideCluster, std::string& error) {
  Option given = option;
  if (option.kind > 1) {
    if (insideCluster) {
      error = "Option '" + name + "' requires argument but is located inside an options token";
      return false;
    }
    if (state.index + 1 >= arguments_.size()) {
      error = "Missing argument to '" + name + "' option";
      return false;
    }
    const std::string& next = arguments_[state.index + 1];
    if (option.kind == 5) {
      given.value = next;
      for (size_t i = state.index + 2; i < arguments_.size(); ++i)
        given.value += " " + arguments_[i];
      state.index = arguments_.size() - 1;
    } else {
      if (option.kind == 3 && option.allowedValues.count(next) == 0) {
        error = "Invalid argument to '" + name + "' option";
        return false;
      }
      given.value = quoteless(next);
      ++state.index;
    }
  }
  given_.insert(given);
  return true;
}

bool CmdParser::isAssignment(const std::string& argument) {
  if (argument.empty()) return false;
  const unsigned char first = static_cast<unsigned char>(argument[0]);
  if (!std::isalpha(first) && first != '_') return false;
  for (size_t i = 1; i < argument.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(argument[i]);
    if (c == '=') return true;
    if (!std::isalnum(c) && c != '_') return false;
  }
  return false;
}

bool CmdParser::parseAssignment(const std::string& argument, std::string& error) {
  const size_t equals = argument.find('=');
  const std::string name = argument.substr(0, equals);
  const Option* option = findLong(name);
  if (option == nullptr) {
    error = "Unknown option '" + name + "'";
    return false;
  }
  if (option->kind != 4) {
    error = "Option '" + name + "' must be option=value";
    return false;
  }
  Option given = *option;
  given.value = argument.substr(equals + 1);
  given_.insert(given);
  return true;
}

bool CmdParser::addPositional(const std::string& value, std::string& error) {
  if (givenPositionals_.size() >= positionals_.size()) {
    if (!extraPositionals_) {
      error = "Too many arguments";
      return false;
    }
    Option extra;
    extra.id = static_cast<uint32_t>(options_.size());
    positionals_.push_back(extra);
  }
  auto declaration = positionals_.begin();
  std::advance(declaration, givenPositionals_.size());
  Option given = *declaration;
  given.value = value;
  givenPositionals_.push_back(given);
  return true;
}

const CmdParser::Option* CmdParser::findLong(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (const Option& option : options_) {
    if (option.longName == name) return &option;
  }
  return nullptr;
}

const CmdParser::Option* CmdParser::findShort(char code) const {
  if (code == 0) return nullptr;
  for (const Option& option : options_) {
    if (option.shortCode == code) return &option;
  }
  return nullptr;
}

bool CmdParser::isSet(char shortCode) const {
  if (shortCode == 0) return false;
  return std::any_of(given_.begin(), given_.end(),
                     [&](const Option& o) { return o.shortCode == shortCode; });
}

bool CmdParser::isSet(const std::string& longName) const {
  if (longName.empty()) return false;
  return std::any_of(given_.begin(), given_.end(),
                     [&](const Option& o) { return o.longName == longName; });
}

bool CmdParser::getValue(const std::string& longName, std::string& value) const {
  if (longName.empty()) return false;
  for (const Option& option : given_) {
    if (option.longName != longName) continue;
    if (option.kind <= 1) return false;
    value = option.value;
    return true;
  }
  return false;
}

std::string CmdParser::optionHelp(const Option& option) const {
  std::string text = "  ";
  const char* argText = option.kind > 1 ? " <arg>" : "";
  if (option.shortCode != 0) {
    text += "-";
    text += option.shortCode;
    if (!option.longName.empty()) {
      text += argText;
      text += "\n    --" + option.longName;
    }
    text += argText;
  } else {
    if (option.kind != 4) text += "--";
    text += option.longName;
    text += option.kind == 4 ? "=<value>" : argText;
  }
  // The line that carries the description is padded, so the descriptions of
  // one- and two-line options share one column.
  const size_t lineStart = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
  const size_t width = static_cast<size_t>(std::max(helpColumn_ + 9, 0));
  if (text.size() - lineStart < width) text.append(width - (text.size() - lineStart), ' ');
  text += ": " + option.description;
  if (!option.allowedValues.empty()) {
    std::string list = "(One of: ";
    bool first = true;
    for (const std::string& value : option.allowedValues) {
      if (!first) list += ", ";
      list += value;
      first = false;
    }
    list += ")";
    const std::string lead(static_cast<size_t>(std::max(helpColumn_ + 11, 0)), ' ');
    const int32_t lineSize = 69 - helpColumn_;
    if (lineSize <= 0 || lineSize > 255) {
      text += "\n" + lead + list;
    } else {
      StringTools::LineSizeSearcher searcher(static_cast<uint8_t>(lineSize));
      size_t start = 0;
      size_t breakPos = 0;
      size_t skip = 0;
      while (start < list.size() &&
             searcher.search(breakPos, skip, list, start, std::string::npos)) {
        if (breakPos > start) text += "\n" + lead + list.substr(start, breakPos - start);
        // Always move on, also past a line feed that the search stopped at.
        start = std::max(start + 1, breakPos + skip);
      }
    }
  }
  return text;
}

std::string CmdParser::helpText() const {
  std::string text = "Usage:";
  if (!programName_.empty()) text += " " + programName_;
  if (!options_.empty()) text += " [options]";
  for (const Option& positional : positionals_) text += " <" + positional.description + ">";
  if (!options_.empty()) {
    std::map<uint32_t, const Option*> byId;
    for (const Option& option : options_) byId[option.id] = &option;
    text += "\nOptions:\n";
    bool first = true;
    for (const auto& entry : byId) {
      if (!first) text += "\n";
      text += optionHelp(*entry.second);
      first = false;
    }
  }
  if (!epilogue_.empty()) {
    text += "\n";
    for (const std::string& line : epilogue_) text += "\n" + line;
  }
  if (text.empty() || text.back() != '\n') text += "\n";
  return text;
}

}  // namespace VemoraCorelib
