// One entry of a directory listing (FileUtils::listDirectory).
#pragma once

#include <string>

namespace Vemora {

struct DirectoryEntry {
  std::string name;     // the entry's own name, without its folder
  bool isFile = false;  // true when the entry is not a directory
};

}  // namespace Vemora
