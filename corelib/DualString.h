// A name that is either narrow text (system code page) or wide text
// (UTF-16); only the text of its own kind is meaningful. Object streams
// key their objects and attributes by it.
#pragma once

#include <cstddef>
#include <string>

namespace VemoraCorelib {

class DualString {
 public:
  static constexpr std::size_t npos = std::string::npos;

  DualString() = default;
  DualString(const std::string& text);
  DualString(const char* text);
  DualString(const std::wstring& text);
  DualString(const wchar_t* text);
  virtual ~DualString() = default;

  // The held text, converted one unit per byte when the other kind is held.
  std::string toNarrow() const;
  std::wstring toWide() const;
  bool isWide() const { return isWide_; }
  std::size_t size() const { return isWide_ ? wide_.size() : narrow_.size(); }
  bool empty() const { return size() == 0; }

  // Searches the token's text in this one's kind; npos when absent.
  std::size_t find(const DualString& token, std::size_t from = 0) const;
  // Keeps the kind; positions past the end give an empty text.
  DualString substring(std::size_t from, std::size_t count = npos) const;

  // Wide texts compare by UTF-16 unit values, narrow ones byte by byte.
  // Texts of two kinds compare as wide texts: narrow to wide keeps every
  // byte and its order, so the order stays strict for mixed keys.
  bool operator<(const DualString& other) const;
  bool operator==(const DualString& other) const;
  bool operator!=(const DualString& other) const { return !(*this == other); }

 private:
  std::string narrow_;
  std::wstring wide_;
  bool isWide_ = false;
};

}  // namespace VemoraCorelib
