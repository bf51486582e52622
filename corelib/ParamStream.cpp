#include "corelib/ParamStream.h"

namespace VemoraCorelib {

namespace {

template <typename String, typename Next>
String fillImpl(const String& text, Next next) {
  using Char = typename String::value_type;
  String out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const Char c = text[i];
    if (c == static_cast<Char>('%')) {
      out += next();
    } else if (c == static_cast<Char>('\\')) {
      out += c;
      if (i + 1 < text.size()) out += text[++i];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

ParamStream::ParamStream() : position_(values_.begin()) {}

ParamStream::ParamStream(const ParamStream& other)
    : StreamBase(other), values_(other.values_), position_(values_.begin()) {}

ParamStream& ParamStream::operator=(const ParamStream& other) {
  if (this != &other) {
    values_ = other.values_;
    position_ = values_.begin();
  }
  return *this;
}

ParamStream::~ParamStream() = default;

bool ParamStream::readValue(TypedValue& value) {
  if (position_ == values_.end()) return false;
  value = *position_;
  ++position_;
  return true;
}

bool ParamStream::writeValue(const TypedValue& value) {
  if (value.type < 0 || value.type > 13) return false;
  if (value.text.empty() && value.type != TypedValue::kString &&
      value.type != TypedValue::kWString) {
    return false;
  }
  values_.push_back(value);
  if (values_.size() == 1) position_ = values_.begin();
  return true;
}

std::string ParamStream::nextDisplayText() {
  TypedValue value;
  if (!readValue(value)) return std::string();
  return value.displayText();
}

std::wstring ParamStream::nextWideDisplayText() {
  TypedValue value;
  if (!readValue(value)) return std::wstring();
  return value.wideDisplayText();
}

std::string ParamStream::fill(const std::string& text) {
  if (values_.empty()) return text;
  rewind();
  return fillImpl(text, [this] { return nextDisplayText(); });
}

std::wstring ParamStream::fill(const std::wstring& text) {
  if (values_.empty()) return text;
  rewind();
  return fillImpl(text, [this] { return nextWideDisplayText(); });
}

void ParamStream::rewind() {
  position_ = values_.begin();
}

}  // namespace VemoraCorelib
