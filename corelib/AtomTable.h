// Process-wide table of interned strings behind Atom: slots with a
// reference count, a map from string to slot and a list of free slots.
// One table for narrow and one for wide strings. Guarded by a lock, so atoms
// may be used from several threads.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/CriticalSection.h"

namespace VemoraCorelib {

template <typename String>
class AtomTable {
 public:
  static constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

  // The table for this string type, built on first use, never destroyed.
  static AtomTable& instance();

  // The slot holding `text` with one more reference (a new slot with count
  // 1 when the text is not held yet).
  uint32_t acquire(const String& text);
  // One more reference to a held slot; false for a slot not in use.
  bool addReference(uint32_t slot);
  // One reference less; at 0 the slot is freed. False for a slot not in use.
  bool release(uint32_t slot);
  // The text of a held slot, empty for a slot not in use.
  String text(uint32_t slot) const;
  // Reference count of a slot (0 when not in use).
  uint32_t count(uint32_t slot) const;

 private:
  struct Slot {
    std::unique_ptr<String> text;
    uint32_t count = 0;
  };
  AtomTable() = default;

  std::vector<Slot> slots_;
  std::map<String, uint32_t> index_;
  std::list<uint32_t> free_;
  mutable platform::CriticalSection lock_;
};

extern template class AtomTable<std::string>;
extern template class AtomTable<std::wstring>;

}  // namespace VemoraCorelib
