#include "common/CommandLine.h"

#include <cstring>

namespace Vemora {

namespace {

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool isPrefix(char c) {
  return c != '\0' && std::strchr(CommandLine::kPrefixChars, c) != nullptr;
}
bool isQuote(char c) {
  return c != '\0' && std::strchr(CommandLine::kQuoteChars, c) != nullptr;
}

// The tokenizer's state over one line.
class Tokenizer {
 public:
  Tokenizer(const std::string& line, CommandLine::OptionList& out) : line_(line), out_(out) {}

  void run() {
    for (i_ = 0; i_ < line_.size(); ++i_) step(line_[i_]);
    finish();
  }

 private:
  void push() {
    out_.emplace_back(name_, value_);
    name_.clear();
    value_.clear();
  }

  std::string gathered() const { return line_.substr(start_, i_ - start_); }

  // Text gathered before a quote or a prefix: a long option's name, or a
  // value that is stored with the pending name.
  void takeGathered(bool pushName) {
    if (i_ <= start_) return;
    if (longName_) {
      name_ = gathered();
      longName_ = false;
      if (pushName) push();
    } else {
      value_ = gathered();
      push();
    }
  }

  void step(char c) {
    if (between_) {
      if (isWhitespace(c)) return;
      between_ = false;
      if (isPrefix(c) && !name_.empty()) push();  // an option without a value
      start_ = i_;
    }
    if (quote_ != '\0') {
      if (c == quote_) {
        value_ = line_.substr(start_ + 1, i_ - start_ - 1);
        push();
        quote_ = '\0';
        between_ = true;
      }
      return;
    }
    if (isWhitespace(c)) {
      if (longName_) {
        name_ = gathered();
        longName_ = false;
      } else if (i_ > start_) {
        value_ = gathered();
        push();
      }
      between_ = true;
      return;
    }
    if (isQuote(c)) {
      takeGathered(false);
      quote_ = c;
      start_ = i_;
      return;
    }
    if (isPrefix(c)) prefix();
  }

  void prefix() {
    takeGathered(true);
    longName_ = false;
    start_ = i_;
    if (i_ + 1 >= line_.size()) return;  // a lone '-' at the end is a value
    if (isPrefix(line_[i_ + 1])) {
      longName_ = true;
      ++i_;
      start_ = i_ + 1;
      return;
    }
    ++i_;
    name_ = std::string(1, line_[i_]);
    between_ = true;
  }

  void finish() {
    if (!between_) {
      // An unterminated quote keeps its quote character.
      const std::string text = line_.substr(start_);
      if (longName_) {
        name_ = text;
      } else {
        value_ = text;
      }
      push();
    } else if (!name_.empty()) {
      push();
    }
  }

  const std::string& line_;
  CommandLine::OptionList& out_;
  size_t i_ = 0;
  size_t start_ = 0;
  char quote_ = '\0';
  bool longName_ = false;
  bool between_ = true;
  std::string name_;
  std::string value_;
};

}  // namespace

void CommandLine::parse(int argc, const char* const* argv, OptionList& out) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    const std::string argument = argv[i];
    if (i > 0) line.push_back(' ');
    if (!argument.empty() && (isPrefix(argument[0]) || argument[0] == '"')) {
      line += argument;
    } else {
      line += "\"" + argument + "\"";
    }
  }
  parseLine(line, out);
}

void CommandLine::parseLine(const std::string& line, OptionList& out) {
  Tokenizer(line, out).run();
}

bool CommandLine::hasOption(const OptionList& list, const std::string& name) {
  for (const auto& pair : list) {
    if (pair.first == name) return true;
  }
  return false;
}

bool CommandLine::takeOption(OptionList& list, const std::string& name, std::string& value) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->first == name) {
      value = it->second;
      list.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace Vemora
