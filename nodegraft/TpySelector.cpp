#include "nodegraft/TpySelector.h"

#include <memory>

#include "corelib/StringTools.h"

namespace Vemora {

namespace {

// Nodes that print their children: elements and the document. Children
// linked under a text, comment or declaration node would silently vanish from
// the printed document.
bool canHoldChildren(const TiXmlNode* node) {
  return node->ToElement() != nullptr || node->ToDocument() != nullptr;
}

}  // namespace

TpySelector::TpySelector(std::string text) {
  if (nestingWithin(text, kMaxNesting)) {
    document_.Parse(text.c_str());
    parseError_ = document_.Error();
  } else {
    parseError_ = true;
  }
  stack_.push_back(&document_);
}

bool TpySelector::nestingWithin(const std::string& text, size_t limit) {
  size_t depth = 0;
  size_t pos = text.find('<');
  while (pos != std::string::npos && pos + 1 < text.size()) {
    const char kind = text[pos + 1];
    size_t end;
    if (text.compare(pos, 4, "<!--") == 0) {
      end = text.find("-->", pos + 4);
    } else if (text.compare(pos, 9, "<![CDATA[") == 0) {
      end = text.find("]]>", pos + 9);
    } else if (kind == '?' || kind == '!') {
      end = text.find('>', pos + 2);
    } else if (kind == '/') {
      if (depth > 0) --depth;
      end = text.find('>', pos + 2);
    } else {
      // An opening tag: find its end outside quoted attribute values.
      end = pos + 1;
      char quote = 0;
      while (end < text.size() && (quote != 0 || text[end] != '>')) {
        if (quote != 0 && text[end] == quote) {
          quote = 0;
        } else if (quote == 0 && (text[end] == '"' || text[end] == '\'')) {
          quote = text[end];
        }
        ++end;
      }
      const bool selfClosing = end < text.size() && text[end - 1] == '/';
      if (!selfClosing && ++depth > limit) return false;
      if (end >= text.size()) end = std::string::npos;
    }
    if (end == std::string::npos) break;
    pos = text.find('<', end + 1);
  }
  return true;
}

TpySelector::~TpySelector() = default;

TpySelector& TpySelector::up(size_t n) {
  while (n > 0 && !stack_.empty()) {
    stack_.pop_back();
    --n;
  }
  return *this;
}

TpySelector& TpySelector::child(const std::string& name) {
  TiXmlNode* node = current();
  if (node == nullptr) return *this;
  stack_.push_back(name.empty() ? node->FirstChildElement() : node->FirstChildElement(name));
  return *this;
}

TpySelector& TpySelector::child(const std::string& name, uint32_t index) {
  TiXmlNode* node = current();
  if (node == nullptr) return *this;
  TiXmlElement* found = name.empty() ? node->FirstChildElement() : node->FirstChildElement(name);
  for (uint32_t step = 0; step < index && found != nullptr; ++step) {
    found = name.empty() ? found->NextSiblingElement() : found->NextSiblingElement(name);
  }
  stack_.push_back(found);
  return *this;
}

TpySelector& TpySelector::next() {
  TiXmlNode* node = current();
  if (node != nullptr) stack_.push_back(node->NextSibling());
  return *this;
}

bool TpySelector::hasNext() const {
  const TiXmlNode* node = current();
  return node != nullptr && node->NextSibling() != nullptr;
}

TpySelector& TpySelector::dropInvalid() {
  if (!stack_.empty() && stack_.back() == nullptr) stack_.pop_back();
  return *this;
}

bool TpySelector::valid() const {
  return current() != nullptr;
}

TiXmlNode* TpySelector::current() const {
  return stack_.empty() ? nullptr : stack_.back();
}

std::string TpySelector::text() const {
  const TiXmlNode* node = current();
  const TiXmlElement* element = node == nullptr ? nullptr : node->ToElement();
  if (element == nullptr) return std::string();
  const char* value = element->GetText();
  return value == nullptr ? std::string() : std::string(value);
}

std::string TpySelector::xml() const {
  const TiXmlNode* node = current();
  std::string out;
  if (node != nullptr) out << *node;
  return out;
}

TpySelector& TpySelector::restore(const Stack& saved) {
  stack_ = saved;
  return *this;
}

TiXmlNode* TpySelector::buildFragment(const std::string& xmlText) {
  // The wrapper is opened twice and never closed: the parse stops with an
  // error at the end, but by then the wrapper holds the fragment as its first
  // child (or, for an empty fragment, the inner wrapper).
  TiXmlDocument scratch;
  const std::string wrapped = "<TMP>" + xmlText + "<TMP>";
  scratch.Parse(wrapped.c_str());
  TiXmlElement* wrapper = scratch.FirstChildElement("TMP");
  if (wrapper == nullptr || wrapper->FirstChild() == nullptr) return nullptr;
  return wrapper->FirstChild()->Clone();
}

TpySelector& TpySelector::prepend(const std::string& xmlText) {
  TiXmlNode* node = current();
  if (node == nullptr || !canHoldChildren(node)) return *this;
  std::unique_ptr<TiXmlNode> fragment(buildFragment(xmlText));
  if (!fragment) return *this;
  if (node->FirstChild() != nullptr) {
    node->InsertBeforeChild(node->FirstChild(), *fragment);  // inserts a copy
  } else {
    node->LinkEndChild(fragment.release());  // takes ownership
  }
  return *this;
}

TpySelector& TpySelector::append(const std::string& xmlText) {
  TiXmlNode* node = current();
  if (node == nullptr || !canHoldChildren(node)) return *this;
  std::unique_ptr<TiXmlNode> fragment(buildFragment(xmlText));
  if (!fragment) return *this;
  if (node->LastChild() != nullptr) {
    node->InsertAfterChild(node->LastChild(), *fragment);  // inserts a copy
  } else {
    node->LinkEndChild(fragment.release());  // takes ownership
  }
  return *this;
}

TpySelector& TpySelector::remove() {
  TiXmlNode* node = current();
  if (node == nullptr) return *this;
  TiXmlNode* parent = node->Parent();
  if (parent == nullptr) return *this;
  parent->RemoveChild(node);  // deletes the node and its subtree
  stack_.pop_back();
  if (stack_.empty()) stack_.push_back(parent);
  return *this;
}

std::string TpySelector::print() const {
  TiXmlPrinter printer;
  return std::string(print(printer));
}

std::string_view TpySelector::print(TiXmlPrinter& printer) const {
  printer.SetIndent("\t");
  document_.Accept(&printer);
  // As StringTools::trimLeft and trimRight with the whitespace set.
  const std::string& set = VemoraCorelib::StringTools::whitespace();
  const std::string_view text(printer.Str());
  const size_t first = text.find_first_not_of(set);
  if (first == std::string_view::npos) return std::string_view();
  return text.substr(first, text.find_last_not_of(set) - first + 1);
}

}  // namespace Vemora
