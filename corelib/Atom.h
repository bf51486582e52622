// An interned string: an index into the process-wide AtomTable of its kind
// (narrow or wide). Copies share the slot and each holds its own reference;
// the slot is freed with its last holder.
#pragma once

#include <cstdint>
#include <string>

namespace VemoraCorelib {

class Atom {
 public:
  static constexpr uint32_t kNoAtom = 0xFFFFFFFFu;

  Atom() = default;
  explicit Atom(const std::string& text);
  explicit Atom(const std::wstring& text);
  Atom(const Atom& other);
  Atom& operator=(const Atom& other);
  ~Atom();

  // Releases the current string and interns `text`.
  Atom& operator=(const std::string& text);
  Atom& operator=(const std::wstring& text);

  // The narrow text of a narrow atom, else "".
  std::string text() const;
  // The wide text of a wide atom, else L"".
  std::wstring wideText() const;
  // Drops this atom's reference; afterwards it holds no string (narrow).
  void release();

  bool isWide() const { return wide_; }
  bool empty() const { return index_ == kNoAtom; }
  uint32_t index() const { return index_; }
  uint32_t length() const { return length_; }

 private:
  bool wide_ = false;
  uint32_t index_ = kNoAtom;
  uint32_t length_ = 0;
};

}  // namespace VemoraCorelib
