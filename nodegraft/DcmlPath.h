// Object lookup in DCML documents: the root element DCML holds Object
// elements; each Object has a Name child (its name, compared exactly) and an
// optional SubObjects child holding its child Objects.
#pragma once

#include <string>

#include "nodegraft/TpySelector.h"

namespace Vemora {

// From the current node on, walks the sibling nodes until one whose Name
// child's text equals `name`; true with the cursor on that node (the passed
// siblings stay on the stack), false when the siblings run out. False without
// moving when the cursor has no current node.
bool findDcmlSibling(TpySelector& cursor, const std::string& name);

// With the cursor on the DCML element, finds the object named by the dotted
// `path`. Empty components are skipped; "*" descends level by level into the
// first child object until an object named like the next component is
// reached; a trailing "*" finds nothing. An empty path selects the first
// top-level object and succeeds even when there is none (the cursor is then
// not valid). On failure the cursor is left where the search stopped.
bool findDcmlPath(TpySelector& cursor, const std::string& path);

}  // namespace Vemora
