#include "nodegraft/DcmlEditor.h"

#include <cctype>
#include <utility>

#include "nodegraft/DcmlPath.h"
#include "nodegraft/TpySelector.h"

namespace Vemora {

namespace {

const char kCannotApply[] = "Cannot apply action.";

DcmlEditor::Result failure(const std::string& message) {
  DcmlEditor::Result result;
  result.exitCode = 2;
  result.error = message + "\n";
  return result;
}

// Whether the cursor stands on a node that an insertion can go into.
bool canInsert(const TpySelector& cursor) {
  const TiXmlNode* node = cursor.current();
  return node != nullptr && (node->ToElement() != nullptr || node->ToDocument() != nullptr);
}

// Whether the current node is a top-level object (its parent is the root).
bool isTopLevel(const TpySelector& cursor) {
  const TiXmlNode* node = cursor.current();
  const TiXmlNode* parent = node == nullptr ? nullptr : node->Parent();
  return parent != nullptr && parent->Parent() != nullptr && parent->Parent()->ToDocument();
}

// Objects named like the source object leave the destination's child
// objects first, so that the inserted copy replaces them.
void removeSameName(TpySelector& d, const std::string& name) {
  const TpySelector::Stack saved = d.save();
  d.child("SubObjects");
  while (true) {
    d.child("Object");
    if (!d.valid()) {
      d.dropInvalid();
      break;
    }
    if (!findDcmlSibling(d, name)) break;
    d.remove();
  }
  d.restore(saved);
}

bool insertCopy(TpySelector& s, TpySelector& d, bool first) {
  const std::string name = s.child("Name").text();
  s.up(1);
  removeSameName(d, name);
  d.child("SubObjects");
  if (!canInsert(d)) return false;
  if (first) {
    d.prepend(s.xml());
  } else {
    d.append(s.xml());
  }
  return true;
}

// Replaces the object under `d` by the source object and hangs the replaced
// one below it.
bool spliceIn(TpySelector& s, TpySelector& d) {
  const std::string moved = d.xml();
  d.remove();
  d.append(s.xml());
  d.child("Object").child("SubObjects");
  if (!canInsert(d)) return false;
  d.append(moved);
  return true;
}

// Puts the source object between the destination object and its child.
bool linkAfter(TpySelector& s, TpySelector& d) {
  d.child("SubObjects");
  if (!d.valid()) {
    d.dropInvalid();
    d.append("<SubObjects></SubObjects>");
    d.child("SubObjects");
    if (!canInsert(d)) return false;
    d.append(s.xml());
    return true;
  }
  d.child("Object");
  if (!d.valid()) return false;  // nothing to move below the new object
  return spliceIn(s, d);
}

// Puts the source object between the destination's parent and the
// destination object.
bool linkBefore(TpySelector& s, TpySelector& d) {
  // Two entries up is the parent object only when the destination was found
  // without passing siblings; otherwise a sibling's chain would be edited.
  const TiXmlNode* parentObject = d.current()->Parent()->Parent();
  d.up(2);
  if (d.current() != parentObject) return false;
  d.child("SubObjects").child("Object");
  if (!d.valid()) return false;  // no parent object, or nothing to move
  return spliceIn(s, d);
}

// Replaces the destination object by its child object (or removes it when it
// has no SubObjects).
bool unlink(TpySelector& d) {
  d.child("SubObjects");
  if (!d.valid()) {
    d.dropInvalid();
    d.remove();
    return true;
  }
  d.child("Object");
  if (!d.valid()) return false;  // no child object to take its place
  const std::string moved = d.xml();
  d.up(2);
  if (isTopLevel(d)) return false;  // no parent object to take the child
  // The entry below the object must be its parent's SubObjects; after a
  // sibling search it is a sibling, which must not receive the child.
  const TiXmlNode* parent = d.current()->Parent();
  d.remove();
  if (d.current() != parent || !canInsert(d)) return false;
  d.append(moved);
  return true;
}

// The printed document with "&quot;" and "&apos;" written as the quote
// characters themselves, except inside an attribute value that the same
// character delimits, where the plain character would end the value.
std::string withPlainQuotes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool inStartTag = false;
  char delimiter = 0;  // the quote around the attribute value being read
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!inStartTag && c == '<' && i + 1 < text.size() &&
        std::isalpha(static_cast<unsigned char>(text[i + 1]))) {
      inStartTag = true;
    } else if (inStartTag && delimiter == 0 && c == '>') {
      inStartTag = false;
    } else if (inStartTag && (c == '"' || c == '\'')) {
      delimiter = delimiter == 0 ? c : (delimiter == c ? 0 : delimiter);
    } else if (c == '&') {
      const char plain = text.compare(i, 6, "&quot;") == 0   ? '"'
                         : text.compare(i, 6, "&apos;") == 0 ? '\''
                                                             : 0;
      if (plain != 0 && plain != delimiter) {
        out += plain;
        i += 5;
        continue;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace

DcmlEditor::Result DcmlEditor::apply(const Request& request) {
  const std::string& action = request.action;
  TpySelector s(request.sourceText);
  TpySelector d(request.destinationText);
  if (action != "remove" && action != "unlink" && action != "exists") {
    s.child("DCML", 0);
    if (!s.valid() || s.parseError()) return failure("Source file should be DCML.");
    if (!findDcmlPath(s, request.sourcePath) || !s.valid()) {
      return failure("Source path not found.");
    }
  }
  d.child("DCML", 0);
  if (!d.valid() || d.parseError()) return failure("Destination file should be DCML.");
  if (!findDcmlPath(d, request.destinationPath) || !d.valid()) {
    return failure("Destination path not found.");
  }

  bool applied = true;
  if (action == "prepend" || action == "append") {
    applied = insertCopy(s, d, action == "prepend");
  } else if (action == "remove") {
    d.remove();
  } else if (action == "link-after") {
    applied = linkAfter(s, d);
  } else if (action == "link-before") {
    applied = linkBefore(s, d);
  } else if (action == "unlink") {
    applied = unlink(d);
  } else if (action == "exists") {
    Result result;
    result.output = "EXISTS\n";
    return result;
  } else {
    return failure("Unknown action '" + action + "'");
  }
  if (!applied || !d.valid()) return failure(kCannotApply);

  std::string text = d.print();
  if (!request.useEntities) text = withPlainQuotes(text);
  text += '\n';
  Result result;
  result.output = std::move(text);
  return result;
}

}  // namespace Vemora
