#include "common/Exception.h"

namespace Vemora {

Exception::Exception(int code) : code_(code) {}

Exception::Exception(int code, const std::string& message, const std::string& sourceFile, int line)
    : code_(code), message_(message) {
  addTrace(sourceFile, line);
}

Exception::~Exception() = default;

std::string Exception::text() const {
  return formatText("Exception", "", "");
}

int Exception::category() const {
  return 63;
}

void Exception::addTrace(const std::string& sourceFile, int line) {
  if (sourceFile.empty()) return;
  const size_t slash = sourceFile.find_last_of("\\/");
  std::string name = slash == std::string::npos ? sourceFile : sourceFile.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot + 1);
  trace_.push_back(TraceEntry{name, line});
}

std::string Exception::codeText() const {
  return std::to_string(category()) + "." + std::to_string(code_);
}

std::string Exception::formatText(const std::string& name, const std::string& /*codeName*/,
                                  const std::string& description) const {
  return name + ": " + (description.empty() ? std::string("Unknown error") : description) +
         " (Code: " + codeText() + ")";
}

std::string Exception::detailText() const {
  std::string out = text();
  if (!message_.empty()) out += "\r\n  >  (" + message_ + ")";
  if (!trace_.empty()) {
    out += "\r\n  >  ";
    for (size_t i = 0; i < trace_.size(); ++i) {
      if (i > 0) out += " - ";
      out += trace_[i].name + "(" + std::to_string(trace_[i].line) + ")";
    }
  }
  return out;
}

std::string Exception::tableText(const std::string& name, std::span<const CodeRow> rows) const {
  if (code_ < 0 || static_cast<size_t>(code_) >= rows.size()) return formatText(name, "", "");
  return formatText(name, rows[code_].name, rows[code_].description);
}

}  // namespace Vemora
