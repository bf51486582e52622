#include "corelib/DualString.h"

#include "corelib/StringTools.h"

namespace VemoraCorelib {

DualString::DualString(const std::string& text) : narrow_(text) {}

DualString::DualString(const char* text) : narrow_(text == nullptr ? "" : text) {}

DualString::DualString(const std::wstring& text) : wide_(text), isWide_(true) {}

DualString::DualString(const wchar_t* text) : wide_(text == nullptr ? L"" : text), isWide_(true) {}

std::string DualString::toNarrow() const {
  return isWide_ ? StringTools::convert(wide_) : narrow_;
}

std::wstring DualString::toWide() const {
  return isWide_ ? wide_ : StringTools::convert(narrow_);
}

std::size_t DualString::find(const DualString& token, std::size_t from) const {
  if (isWide_) return wide_.find(token.toWide(), from);
  return narrow_.find(token.toNarrow(), from);
}

DualString DualString::substring(std::size_t from, std::size_t count) const {
  if (from >= size()) return isWide_ ? DualString(std::wstring()) : DualString(std::string());
  if (isWide_) return DualString(wide_.substr(from, count));
  return DualString(narrow_.substr(from, count));
}

bool DualString::operator<(const DualString& other) const {
  if (isWide_ != other.isWide_) return toWide() < other.toWide();
  return isWide_ ? wide_ < other.wide_ : narrow_ < other.narrow_;
}

bool DualString::operator==(const DualString& other) const {
  if (isWide_ != other.isWide_) return toWide() == other.toWide();
  return isWide_ ? wide_ == other.wide_ : narrow_ == other.narrow_;
}

}  // namespace VemoraCorelib
