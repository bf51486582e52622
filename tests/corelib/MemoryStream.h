// An object stream over memory for tests and fuzzing: lines come from a
// text, saves collect the written text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "corelib/ObjectStream.h"
#include "corelib/StringTools.h"

namespace corelib_test {

class MemoryStream : public VemoraCorelib::ObjectStream {
 public:
  explicit MemoryStream(std::string text = "", bool wide = false) : wide_(wide) { setText(text); }

  void setText(const std::string& text) {
    lines_.clear();
    std::string line;
    for (char c : text) {
      if (c == '\n') {
        lines_.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines_.push_back(line);
  }

  void save() override {
    saved += wide_ ? VemoraCorelib::StringTools::convert(toWideText()) : toText();
    ++saves;
  }
  void load() override {
    ++loads;
    next_ = 0;
    ParseContext context(wide_);
    parseText(context);
    setState(kReadable);
  }
  bool readLine(ParseContext& context, VemoraCorelib::DualString& line) override {
    while (next_ < lines_.size()) {
      std::string text = lines_[next_++];
      ++context.line;
      VemoraCorelib::StringTools::trimRight(VemoraCorelib::StringTools::trimLeft(text, true), true);
      if (text.empty() || text[0] == '#') continue;
      line = wide_ ? VemoraCorelib::DualString(VemoraCorelib::StringTools::convert(text))
                   : VemoraCorelib::DualString(text);
      return true;
    }
    return false;
  }
  void parseOnly() {
    next_ = 0;
    ParseContext context(wide_);
    parseText(context);
  }

  std::string saved;
  int saves = 0;
  int loads = 0;

 private:
  bool wide_;
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

}  // namespace corelib_test
