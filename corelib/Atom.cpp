#include "corelib/Atom.h"

#include "corelib/AtomTable.h"

namespace VemoraCorelib {

Atom::Atom(const std::string& text) {
  *this = text;
}
Atom::Atom(const std::wstring& text) {
  *this = text;
}

Atom::Atom(const Atom& other) : wide_(other.wide_), index_(other.index_), length_(other.length_) {
  if (index_ == kNoAtom) return;
  const bool held = wide_ ? AtomTable<std::wstring>::instance().addReference(index_)
                          : AtomTable<std::string>::instance().addReference(index_);
  if (!held) {
    wide_ = false;
    index_ = kNoAtom;
    length_ = 0;
  }
}

Atom& Atom::operator=(const Atom& other) {
  if (this == &other) return *this;
  Atom copy(other);  // takes its reference before ours is dropped
  release();
  wide_ = copy.wide_;
  index_ = copy.index_;
  length_ = copy.length_;
  copy.index_ = kNoAtom;  // the reference moves to *this
  return *this;
}

Atom::~Atom() {
  release();
}

Atom& Atom::operator=(const std::string& text) {
  release();
  wide_ = false;
  length_ = static_cast<uint32_t>(text.size());
  index_ = AtomTable<std::string>::instance().acquire(text);
  return *this;
}

Atom& Atom::operator=(const std::wstring& text) {
  release();
  wide_ = true;
  length_ = static_cast<uint32_t>(text.size());
  index_ = AtomTable<std::wstring>::instance().acquire(text);
  return *this;
}

std::string Atom::text() const {
  if (wide_ || index_ == kNoAtom) return std::string();
  return AtomTable<std::string>::instance().text(index_);
}

std::wstring Atom::wideText() const {
  if (!wide_ || index_ == kNoAtom) return std::wstring();
  return AtomTable<std::wstring>::instance().text(index_);
}

void Atom::release() {
  if (index_ != kNoAtom) {
    if (wide_) {
      AtomTable<std::wstring>::instance().release(index_);
    } else {
      AtomTable<std::string>::instance().release(index_);
    }
  }
  wide_ = false;
  index_ = kNoAtom;
  length_ = 0;
}

}  // namespace VemoraCorelib
