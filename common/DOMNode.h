// One entry of a configuration tree: name, type and value, with its children
// in file order. A node with an empty type is a section (no value). A node
// owns its first child and its next sibling, so a subtree goes with its root;
// the chain is freed without recursion on siblings.
#pragma once
#include <memory>
#include <string>

namespace Vemora {

class DOMNode {
 public:
  explicit DOMNode(const std::string& name);
  virtual ~DOMNode();
  DOMNode(const DOMNode&) = delete;
  DOMNode& operator=(const DOMNode&) = delete;

  void setType(const std::string& type) { type_ = type; }
  // Stores a value's text: "\\" gives one backslash, "\"" a double quote;
  // any other backslash pair keeps both characters, so "C:\data" stays
  // whole.
  void setValue(const std::string& text);
  // Appends at the end of the child list; takes ownership.
  void addChild(std::unique_ptr<DOMNode> child);

  const std::string& name() const { return name_; }
  const std::string& type() const { return type_; }
  const std::string& value() const { return value_; }
  DOMNode* firstChild() const { return firstChild_.get(); }
  DOMNode* nextSibling() const { return nextSibling_.get(); }

 private:
  std::string name_;
  std::string type_;
  std::string value_;
  std::unique_ptr<DOMNode> firstChild_;
  std::unique_ptr<DOMNode> nextSibling_;
  DOMNode* lastChild_ = nullptr;  // so that appending stays cheap
};

}  // namespace Vemora
