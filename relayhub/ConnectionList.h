// The handler thread's list of connection entries and the entry being
// stepped. Erasing the current entry moves the position to the next one.
#pragma once

#include <list>

#include "relayhub/ConnectionEntry.h"

namespace Vemora {

class ConnectionList {
 public:
  using Entries = std::list<ConnectionEntry>;

  ConnectionList() : current(entries.end()) {}
  virtual ~ConnectionList() = default;
  ConnectionList(const ConnectionList&) = delete;
  ConnectionList& operator=(const ConnectionList&) = delete;

  bool empty() const { return entries.empty(); }
  size_t size() const { return entries.size(); }
  // Moves every entry of `queue` to the end, in order, without copies.
  void takeAll(Entries& queue) { entries.splice(entries.end(), queue); }
  // Erases the current entry; the position moves to the next one.
  void eraseCurrent() {
    if (current != entries.end()) current = entries.erase(current);
  }
  void clear() {
    entries.clear();
    current = entries.end();
  }

  Entries entries;
  Entries::iterator current;
};

}  // namespace Vemora
