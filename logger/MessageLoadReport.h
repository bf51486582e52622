// What loading the ".mess" catalogue files did.
#pragma once

#include <list>
#include <string>

namespace Vemora {

class MessageLoadReport {
 public:
  bool ok = false;                  // the whole listing was processed
  std::string error;                // why loading stopped; empty when ok
  std::list<std::string> loaded;    // module names read, in listing order
  std::list<std::string> rejected;  // module names skipped
  std::list<int> counts;            // lines taken per loaded module
};

}  // namespace Vemora
