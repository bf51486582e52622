#include "nodegraft/DcmlEditor.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "nodegraft/DcmlPath.h"
#include "nodegraft/TpySelector.h"

namespace Vemora {

namespace {

const char kCannotApply[] = "Cannot apply action.";
const char kCannotWrite[] = "Cannot write output.";

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

// The child objects that `subObjects` holds, in order.
std::vector<TiXmlElement*> objectsIn(TiXmlElement* subObjects) {
  std::vector<TiXmlElement*> objects;
  for (TiXmlElement* o = subObjects->FirstChildElement("Object"); o != nullptr;
       o = o->NextSiblingElement("Object")) {
    objects.push_back(o);
  }
  return objects;
}

// The SubObjects element that holds `object`; null for a top-level object.
TiXmlElement* holderOf(TiXmlElement* object) {
  TiXmlNode* parent = object->Parent();
  TiXmlElement* holder = parent == nullptr ? nullptr : parent->ToElement();
  return holder != nullptr && holder->ValueStr() == "SubObjects" ? holder : nullptr;
}

// Inserts a copy of `node` into `parent` before `next`, or last when `next`
// is null; the copy, or null. An object's place among the objects is before
// the next object, or last for the last one (where an object appended to a
// chain goes).
TiXmlNode* insertBefore(TiXmlNode* parent, TiXmlNode* next, const TiXmlNode& node) {
  return next != nullptr ? parent->InsertBeforeChild(next, node) : parent->InsertEndChild(node);
}

// The SubObjects of a copy of the source object inserted by `insert`; null
// (and nothing inserted) when the source object has none to take objects.
template <typename Insert>
TiXmlElement* insertSource(const TpySelector& s, Insert insert) {
  const TiXmlNode* source = s.current();
  if (source->FirstChildElement("SubObjects") == nullptr) return nullptr;
  TiXmlNode* copy = insert(*source);
  return copy == nullptr ? nullptr : copy->FirstChildElement("SubObjects");
}

// Moves copies of `objects` to the end of `into` and deletes the originals.
bool moveObjects(const std::vector<TiXmlElement*>& objects, TiXmlElement* into) {
  for (TiXmlElement* object : objects) {
    if (into->InsertEndChild(*object) == nullptr) return false;
    object->Parent()->RemoveChild(object);
  }
  return true;
}

// Puts the source object between the destination object and its child
// objects: they all move, in order, below the source object's own.
bool linkAfter(TpySelector& s, TpySelector& d) {
  TiXmlElement* target = d.current()->ToElement();
  if (target == nullptr) return false;
  TiXmlElement* holder = target->FirstChildElement("SubObjects");
  if (holder == nullptr) {
    d.append("<SubObjects></SubObjects>");
    d.child("SubObjects");
    if (!canInsert(d)) return false;
    d.append(s.xml());
    return true;
  }
  const std::vector<TiXmlElement*> children = objectsIn(holder);
  if (children.empty()) return false;  // nothing to move below the new object
  TiXmlElement* into =
      insertSource(s, [holder](const TiXmlNode& n) { return holder->InsertEndChild(n); });
  return into != nullptr && moveObjects(children, into);
}

// Puts the source object between the destination's parent object and the
// destination object: the source object takes the destination's place and
// the destination moves below it.
bool linkBefore(TpySelector& s, TpySelector& d) {
  TiXmlElement* target = d.current()->ToElement();
  TiXmlElement* holder = target == nullptr ? nullptr : holderOf(target);
  if (holder == nullptr) return false;  // a top-level object has no parent object
  TiXmlNode* next = target->NextSiblingElement("Object");
  TiXmlElement* into =
      insertSource(s, [&](const TiXmlNode& n) { return insertBefore(holder, next, n); });
  if (into == nullptr || into->InsertEndChild(*target) == nullptr) return false;
  d.remove();
  return true;
}

// Replaces the destination object by its child objects, in order (or
// removes it when it has no SubObjects).
bool unlink(TpySelector& d) {
  TiXmlElement* target = d.current()->ToElement();
  if (target == nullptr) return false;
  TiXmlElement* own = target->FirstChildElement("SubObjects");
  if (own == nullptr) {
    d.remove();
    return true;
  }
  const std::vector<TiXmlElement*> children = objectsIn(own);
  if (children.empty()) return false;  // no child object to take its place
  TiXmlElement* holder = holderOf(target);
  if (holder == nullptr) return false;  // no parent object to take the children
  TiXmlNode* next = target->NextSiblingElement("Object");
  for (TiXmlElement* child : children) {
    if (insertBefore(holder, next, *child) == nullptr) return false;
  }
  d.remove();
  return true;
}

// Writes a printed document with "&quot;" and "&apos;" as the quote
// characters themselves wherever that keeps it well-formed: in character
// data, and in attribute values but for the quote that delimits the value.
// Comments, CDATA sections, declarations, end tags and other markup are
// written as they are.
class PlainQuoteWriter {
 public:
  PlainQuoteWriter(std::string_view text, const DcmlEditor::Writer& write)
      : text_(text), write_(write) {}

  bool run() {
    if (text_.find("&quot;") == npos && text_.find("&apos;") == npos) return write_(text_);
    size_t at = 0;
    while (at < text_.size() && ok_) {
      const size_t markup = std::min(text_.find('<', at), text_.size());
      plainQuotesIn(at, markup, 0);
      at = markup < text_.size() ? markupEnd(markup) : markup;
    }
    flushTo(text_.size());
    return ok_;
  }

 private:
  static constexpr size_t npos = std::string_view::npos;

  // The index after the markup that begins at `at` (a '<').
  size_t markupEnd(size_t at) {
    const std::string_view rest = text_.substr(at);
    if (rest.starts_with("<!--")) return after("-->", at + 4);
    if (rest.starts_with("<![CDATA[")) return after("]]>", at + 9);
    if (rest.starts_with("<?xml ")) return after("?>", at + 2);
    if (rest.size() < 2 || rest[1] == '!' || rest[1] == '?' || rest[1] == '/') {
      return after(">", at + 1);
    }
    return startTagEnd(at);
  }

  size_t after(std::string_view close, size_t from) const {
    const size_t end = text_.find(close, from);
    return end == npos ? text_.size() : end + close.size();
  }

  size_t startTagEnd(size_t at) {
    size_t i = at + 1;
    while (i < text_.size() && text_[i] != '>') {
      const char c = text_[i];
      if (c != '"' && c != '\'') {
        ++i;
        continue;
      }
      const size_t close = std::min(text_.find(c, i + 1), text_.size());
      plainQuotesIn(i + 1, close, c);
      i = close + 1;
    }
    return std::min(i + 1, text_.size());
  }

  // Writes the entities in text_[from, to) plain, but for `delimiter`.
  void plainQuotesIn(size_t from, size_t to, char delimiter) {
    const std::string_view part = text_.substr(from, to - from);
    for (size_t i = part.find('&'); i != npos && ok_; i = part.find('&', i + 1)) {
      const std::string_view entity = part.substr(i, 6);
      const char* plain = entity == "&quot;" ? "\"" : entity == "&apos;" ? "'" : nullptr;
      if (plain == nullptr || *plain == delimiter) continue;
      flushTo(from + i);
      ok_ = ok_ && write_(std::string_view(plain, 1));
      written_ = from + i + entity.size();
    }
  }

  void flushTo(size_t end) {
    if (ok_ && end > written_) ok_ = write_(text_.substr(written_, end - written_));
    written_ = end;
  }

  std::string_view text_;
  const DcmlEditor::Writer& write_;
  size_t written_ = 0;  // text_[0, written_) has been written
  bool ok_ = true;
};

}  // namespace

DcmlEditor::Result DcmlEditor::apply(Request request, const Writer& write) {
  const std::string& action = request.action;
  std::optional<TpySelector> s(std::in_place, std::move(request.sourceText));
  std::optional<TpySelector> d(std::in_place, std::move(request.destinationText));
  if (action != "remove" && action != "unlink" && action != "exists") {
    s->child("DCML", 0);
    if (!s->valid() || s->parseError()) return failure("Source file should be DCML.");
    if (!findDcmlPath(*s, request.sourcePath) || !s->valid()) {
      return failure("Source path not found.");
    }
  }
  d->child("DCML", 0);
  if (!d->valid() || d->parseError()) return failure("Destination file should be DCML.");
  if (!findDcmlPath(*d, request.destinationPath) || !d->valid()) {
    return failure("Destination path not found.");
  }

  bool applied = true;
  if (action == "prepend" || action == "append") {
    applied = insertCopy(*s, *d, action == "prepend");
  } else if (action == "remove") {
    d->remove();
  } else if (action == "link-after") {
    applied = linkAfter(*s, *d);
  } else if (action == "link-before") {
    applied = linkBefore(*s, *d);
  } else if (action == "unlink") {
    applied = unlink(*d);
  } else if (action == "exists") {
    return write("EXISTS\n") ? Result() : failure(kCannotWrite);
  } else {
    return failure("Unknown action '" + action + "'");
  }
  if (!applied || !d->valid()) return failure(kCannotApply);

  s.reset();
  TiXmlPrinter printer;
  const std::string_view text = d->print(printer);
  d.reset();  // the printer holds all that is left to write
  const bool written = request.useEntities ? write(text) : PlainQuoteWriter(text, write).run();
  return written && write("\n") ? Result() : failure(kCannotWrite);
}

DcmlEditor::Result DcmlEditor::apply(Request request) {
  std::string output;
  Result result = apply(std::move(request), [&output](std::string_view chunk) {
    output.append(chunk);
    return true;
  });
  result.output = std::move(output);
  return result;
}

}  // namespace Vemora
