// The address of an agent and of its message box: a name and a host.
#pragma once

#include <string>

namespace Vemora {

class ObjectFiler;

// Plain value record. Ordered by name, then host, each compared byte-wise,
// so that maps of boxes keyed by it iterate in a stable order.
class Address {
 public:
  Address() = default;
  Address(std::string name, std::string host) : name(std::move(name)), host(std::move(host)) {}
  virtual ~Address() = default;
  Address(const Address&) = default;
  Address& operator=(const Address&) = default;

  // The first non-zero of the byte-wise comparisons of names and hosts, or 0.
  int compare(const Address& other) const;
  bool operator<(const Address& other) const { return compare(other) < 0; }
  bool operator==(const Address& other) const { return compare(other) == 0; }
  bool operator!=(const Address& other) const { return compare(other) != 0; }

  // name "@" host, as trace lines show it.
  std::string toText() const { return name + "@" + host; }

  // True when the name or the host holds "*" or "?" (a broadcast target).
  bool hasWildcard() const;

  // The same address in lower case (ASCII): the key of its message box, so
  // that addresses compare without regard to case.
  Address lowered() const;
  bool isEmpty() const { return name.empty() && host.empty(); }

  std::string name;
  std::string host;
};

}  // namespace Vemora
