#include "nodegraft/DcmlPath.h"

#include <vector>

#include "corelib/StringTools.h"

namespace Vemora {

namespace {

// The Name text of the current node; the cursor ends where it started.
std::string objectName(TpySelector& cursor) {
  cursor.child("Name", 0);
  std::string name = cursor.text();
  cursor.up(1);
  return name;
}

// Moves into the first child object of the current object.
bool descend(TpySelector& cursor) {
  cursor.child("SubObjects").child("Object");
  return cursor.valid();
}

}  // namespace

bool findDcmlSibling(TpySelector& cursor, const std::string& name) {
  if (!cursor.valid()) return false;
  while (true) {
    if (objectName(cursor) == name) return true;
    if (!cursor.hasNext()) return false;
    cursor.next();
  }
}

bool findDcmlPath(TpySelector& cursor, const std::string& path) {
  const std::vector<std::string> parts =
      VemoraCorelib::StringTools::splitToVector(path, '.', 0, true);
  cursor.child("Object");
  size_t i = 0;
  while (i < parts.size()) {
    if (parts[i] != "*") {
      if (!findDcmlSibling(cursor, parts[i])) return false;
      ++i;
      if (i == parts.size()) return true;
      if (!descend(cursor)) return false;
      continue;
    }
    if (i + 1 == parts.size()) return false;  // a trailing "*" finds nothing
    if (!cursor.valid()) return false;
    if (objectName(cursor) == parts[i + 1]) {
      i += 2;
      if (i == parts.size()) return true;
    }
    if (!descend(cursor)) return false;
  }
  return true;
}

}  // namespace Vemora
