#include "corelib/AtomTable.h"

namespace VemoraCorelib {

namespace {

// Holds the table's lock for one operation.
class Guard {
 public:
  explicit Guard(platform::CriticalSection& section) : section_(section) { section_.enter(); }
  ~Guard() { section_.leave(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  platform::CriticalSection& section_;
};

}  // namespace

template <typename String>
AtomTable<String>& AtomTable<String>::instance() {
  // Never destroyed: atoms in static objects may be released at exit.
  static AtomTable* table = new AtomTable();
  return *table;
}

template <typename String>
uint32_t AtomTable<String>::acquire(const String& text) {
  Guard guard(lock_);
  const auto found = index_.find(text);
  if (found != index_.end()) {
    ++slots_[found->second].count;
    return found->second;
  }
  uint32_t slot;
  if (!free_.empty()) {
    slot = free_.front();
    free_.pop_front();
  } else {
    slot = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[slot].text = std::make_unique<String>(text);
  slots_[slot].count = 1;
  index_[text] = slot;
  return slot;
}

template <typename String>
bool AtomTable<String>::addReference(uint32_t slot) {
  Guard guard(lock_);
  if (slot >= slots_.size() || slots_[slot].count == 0) return false;
  ++slots_[slot].count;
  return true;
}

template <typename String>
bool AtomTable<String>::release(uint32_t slot) {
  Guard guard(lock_);
  if (slot >= slots_.size() || slots_[slot].count == 0) return false;
  Slot& entry = slots_[slot];
  if (--entry.count > 0) return true;
  index_.erase(*entry.text);
  entry.text.reset();
  free_.push_back(slot);
  return true;
}

template <typename String>
String AtomTable<String>::text(uint32_t slot) const {
  Guard guard(lock_);
  if (slot >= slots_.size() || slots_[slot].count == 0) return String();
  return *slots_[slot].text;
}

template <typename String>
uint32_t AtomTable<String>::count(uint32_t slot) const {
  Guard guard(lock_);
  if (slot >= slots_.size()) return 0;
  return slots_[slot].count;
}

template class AtomTable<std::string>;
template class AtomTable<std::wstring>;

}  // namespace VemoraCorelib
