#include "common/DOMNode.h"

namespace Vemora {

DOMNode::DOMNode(const std::string& name) : name_(name) {}

DOMNode::~DOMNode() {
  // Siblings are freed one after the other, so a long list cannot exhaust
  // the stack; children nest only as deep as the parser allows.
  std::unique_ptr<DOMNode> next = std::move(nextSibling_);
  while (next) next = std::move(next->nextSibling_);
}

void DOMNode::setValue(const std::string& text) {
  value_.clear();
  value_.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      const char n = text[i + 1];
      if (n == '\\' || n == '"') {
        value_ += n;
        ++i;
        continue;
      }
    }
    value_ += c;
  }
}

void DOMNode::addChild(std::unique_ptr<DOMNode> child) {
  if (!child) return;
  DOMNode* raw = child.get();
  if (lastChild_ == nullptr) {
    firstChild_ = std::move(child);
  } else {
    lastChild_->nextSibling_ = std::move(child);
  }
  lastChild_ = raw;
  while (lastChild_->nextSibling_) lastChild_ = lastChild_->nextSibling_.get();
}

}  // namespace Vemora
