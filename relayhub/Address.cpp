#include "relayhub/Address.h"

namespace Vemora {

int Address::compare(const Address& other) const {
  const int byName = name.compare(other.name);
  if (byName != 0) return byName < 0 ? -1 : 1;
  const int byHost = host.compare(other.host);
  if (byHost != 0) return byHost < 0 ? -1 : 1;
  return 0;
}

Address Address::lowered() const {
  Address out(*this);
  for (std::string* part : {&out.name, &out.host}) {
    for (char& c : *part) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

bool Address::hasWildcard() const {
  return name.find_first_of("*?") != std::string::npos ||
         host.find_first_of("*?") != std::string::npos;
}

}  // namespace Vemora
