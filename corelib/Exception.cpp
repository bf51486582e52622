#include "corelib/Exception.h"

#include "corelib/StringTools.h"

namespace VemoraCorelib {

namespace {

// Three states: between items, in an id, in text. A '}' in text is held
// and emitted only when plain text follows between items.
template <typename String>
String reduce(const String& message) {
  using Char = typename String::value_type;
  enum class State { kBetween, kId, kText };
  State state = State::kBetween;
  bool heldBrace = false;
  String out;
  for (Char c : message) {
    switch (state) {
      case State::kBetween:
        if (c == static_cast<Char>(';')) break;
        if (c == static_cast<Char>('@')) {
          state = State::kId;
          break;
        }
        if (heldBrace) out += static_cast<Char>('}');
        heldBrace = false;
        out += c;
        state = State::kText;
        break;
      case State::kId:
        if (c == static_cast<Char>('{')) state = State::kText;
        break;
      case State::kText:
        if (c == static_cast<Char>('@')) {
          state = State::kBetween;
        } else if (c == static_cast<Char>('}')) {
          heldBrace = true;
          state = State::kBetween;
        } else {
          out += c;
        }
        break;
    }
  }
  return out;
}

}  // namespace

Exception::Exception() = default;
Exception::Exception(const std::string& message) : message_(message) {}
Exception::Exception(const std::wstring& message) : wideMessage_(message) {}
Exception::Exception(const std::wstring& message, const ParamStream& arguments)
    : wideMessage_(message), arguments_(arguments) {}

Exception::Exception(const std::string& message, const std::string& context,
                     const ParamStream& arguments)
    : message_(message), arguments_(arguments), contexts_{context} {}

Exception::Exception(const std::string& context, const Exception& nested)
    : contexts_{context}, nested_{nested} {}

Exception::Exception(const Exception& other) = default;
Exception& Exception::operator=(const Exception& other) = default;
Exception::~Exception() = default;

std::string Exception::text(bool withName) const {
  if (message_.empty() && !wideMessage_.empty()) {
    return StringTools::convert(wideText(withName));
  }
  std::string out = withName ? name_ + ":" : std::string();
  if (!message_.empty()) {
    ParamStream arguments(arguments_);
    out += " " + arguments.fill(reduceMarkup(message_));
  }
  for (const Exception& nested : nested_) out += "\n" + nested.text(true);
  return out;
}

std::wstring Exception::wideText(bool withName) const {
  if (wideMessage_.empty() && !message_.empty()) {
    return StringTools::convert(text(withName));
  }
  std::wstring out = withName ? StringTools::convert(name_) + L":" : std::wstring();
  if (!wideMessage_.empty()) {
    ParamStream arguments(arguments_);
    out += L" " + arguments.fill(reduceMarkup(wideMessage_));
  }
  for (const Exception& nested : nested_) out += L"\n" + nested.wideText(true);
  return out;
}

std::string Exception::messageWithContext() const {
  std::string out = message_;
  for (const std::string& context : contexts_) out += context;
  return out;
}

std::string Exception::sourceContext(const std::string& filePath, uint32_t line) {
  const std::size_t slash = filePath.rfind('\\');
  const std::string file = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
  return " @logsrc{file=\"" + file + "\" line=" + StringTools::toString(line) + "};";
}

std::string Exception::reduceMarkup(const std::string& message) {
  return reduce(message);
}
std::wstring Exception::reduceMarkup(const std::wstring& message) {
  return reduce(message);
}

void Exception::addContext(const std::string& context) {
  contexts_.push_back(context);
}
void Exception::addNested(const Exception& nested) {
  nested_.push_back(nested);
}

}  // namespace VemoraCorelib
