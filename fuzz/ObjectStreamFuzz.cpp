// The object-stream parser on any text (a damaged registry or stream file),
// narrow and wide, then the writer on what it parsed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "corelib/Exception.h"
#include "corelib/ObjectStream.h"
#include "corelib/StringTools.h"

namespace {

using VemoraCorelib::DualString;
using VemoraCorelib::ObjectStream;
namespace StringTools = VemoraCorelib::StringTools;

class TextStream : public ObjectStream {
 public:
  TextStream(const std::string& text, bool wide) : wide_(wide) {
    std::string line;
    for (char c : text) {
      if (c == '\n') {
        lines_.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    lines_.push_back(line);
  }
  void save() override {}
  void load() override {
    ParseContext context(wide_);
    parseText(context);
    setState(kReadable);
  }
  bool readLine(ParseContext& context, DualString& line) override {
    while (next_ < lines_.size()) {
      std::string text = lines_[next_++];
      ++context.line;
      StringTools::trimRight(StringTools::trimLeft(text, true), true);
      if (text.empty() || text[0] == '#') continue;
      line = wide_ ? DualString(StringTools::convert(text)) : DualString(text);
      return true;
    }
    return false;
  }

 private:
  bool wide_;
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (bool wide : {false, true}) {
    TextStream stream(text, wide);
    try {
      stream.load();
      stream.childNames();
      if (wide) {
        stream.toWideText();
      } else {
        stream.toText();
      }
    } catch (const VemoraCorelib::Exception&) {
      // A malformed text is refused with an error; anything else is a fault.
    }
  }
  return 0;
}
