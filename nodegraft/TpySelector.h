// A cursor over one parsed XML document: a stack of node references from the
// document down to the current position. Moves, reads and edits all act on
// the current (last) entry; an entry may be null, meaning "not found", and
// every operation on a null or missing current entry does nothing (or gives
// the empty answer) instead of touching a node.
//
// Not thread-safe: one cursor belongs to one thread. Not copyable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nodegraft/TinyXml.h"

namespace Vemora {

class TpySelector {
 public:
  using Stack = std::vector<TiXmlNode*>;

  // Parses `text` into the cursor's own document and stands on the document.
  // A parse error does not stop the cursor; the document then holds what was
  // parsed before the error, and parseError() tells about it. The text is
  // not kept: a caller that moves it in has it freed once it is parsed.
  explicit TpySelector(std::string text);
  virtual ~TpySelector();
  TpySelector(const TpySelector&) = delete;
  TpySelector& operator=(const TpySelector&) = delete;

  // Deepest element nesting a document may have. The parser, printer and
  // node destructors recurse once per level, so a deeper (hostile) file is
  // refused before parsing instead of exhausting the stack.
  static constexpr size_t kMaxNesting = 4096;

  // True when the text given to the constructor was not well-formed XML (an
  // empty text included) or nests deeper than kMaxNesting; a text refused
  // for its depth leaves the document empty.
  bool parseError() const { return parseError_; }

  // Removes the last `n` entries (fewer when the stack runs out).
  TpySelector& up(size_t n);
  // Pushes the current node's first child element named `name` (any name
  // when empty), or null when there is none.
  TpySelector& child(const std::string& name);
  // Pushes the `index`-th child element named `name` (counted from 0), or
  // null.
  TpySelector& child(const std::string& name, uint32_t index);
  // Pushes the current node's next sibling node of any type, or null.
  TpySelector& next();
  bool hasNext() const;
  // Removes the current entry when it is null.
  TpySelector& dropInvalid();
  // True when the current entry exists and is not null.
  bool valid() const;
  // The current node, or null (also for an empty stack).
  TiXmlNode* current() const;

  // Text of the current element; "" when there is none.
  std::string text() const;
  // The current node in compact XML; "" when there is none.
  std::string xml() const;

  // Copies of the stack. A saved stack must not be restored after one of its
  // nodes has been removed.
  Stack save() const { return stack_; }
  TpySelector& restore(const Stack& saved);

  // Insert the node that `xmlText` describes as the first / last child of the
  // current node. Nothing happens when there is no current node or the text
  // does not describe a node.
  TpySelector& prepend(const std::string& xmlText);
  TpySelector& append(const std::string& xmlText);
  // Removes the current node from its parent and deletes it; the entry goes
  // from the stack (the parent is pushed when the stack became empty). A
  // node without parent (the document) stays.
  TpySelector& remove();

  // The whole document, one TAB of indent per level, trimmed at both ends.
  std::string print() const;
  // The same without a copy: prints the document into `printer`, and gives
  // the trimmed part of the printer's text.
  std::string_view print(TiXmlPrinter& printer) const;

 private:
  // Whether the elements of `text` nest at most `limit` deep (a quick scan
  // of the tags that errs on the deep side).
  static bool nestingWithin(const std::string& text, size_t limit);
  // The node described by `xmlText`, owned by the caller, or null.
  static TiXmlNode* buildFragment(const std::string& xmlText);

  TiXmlDocument document_;
  Stack stack_;
  bool parseError_ = false;
};

}  // namespace Vemora
