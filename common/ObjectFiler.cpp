#include "common/ObjectFiler.h"

#include <new>

#include "common/StringOps.h"
#include "platform/Numbers.h"

namespace Vemora {

namespace {

const char* const kTypeNames[] = {"object", "string", "bool", "int", "uint", "float", "undef"};
constexpr int32_t kTypeCount = 7;

// A blank of the text form: any byte whose signed value is 32 or less.
bool isBlank(char c) {
  return static_cast<signed char>(c) <= 32;
}

// Set by the node readers when they pass over damage that the forgiving
// reader tolerates (an object that the text ends inside, a value without
// braces); one parse runs on one thread, so a per-thread flag is enough.
thread_local bool t_damaged = false;

void skipBlanks(const std::string& text, size_t& position) {
  while (position < text.size() && isBlank(text[position])) ++position;
}

const char* typeName(int32_t type) {
  return type >= 0 && type < kTypeCount ? kTypeNames[type] : "undef";
}

// The type of a type word (any case); -1 for an unknown word.
int32_t typeOf(std::string word) {
  StringOps::toLower(word);
  for (int32_t type = 0; type < kTypeCount; ++type) {
    if (word == kTypeNames[type]) return type;
  }
  return -1;
}

bool isWritten(const std::string& name, const SmartPointer<ObjectFiler::Node>& node) {
  if (node.isNull() || !ObjectFiler::isWritableName(name)) return false;
  return node->type() != ObjectFiler::kUndef;
}

// Reads one node (name, type and content) at `position`. False when the
// reading must stop there; `node` then holds what was made, if anything.
bool readNode(const std::string& text, size_t& position, int depth, std::string& name,
              SmartPointer<ObjectFiler::Node>& node) {
  skipBlanks(text, position);
  const size_t open = text.find('(', position);
  if (open == std::string::npos || open == position) return false;
  name = text.substr(position, open - position);
  position = open + 1;
  skipBlanks(text, position);
  const size_t close = text.find(')', position);
  if (close == std::string::npos) return false;
  const int32_t type = typeOf(text.substr(position, close - position));
  position = close + 1;
  if (type < 0) return false;
  if (type == ObjectFiler::kObject) {
    if (depth >= ObjectFiler::kMaxDepth) return false;
    node = SmartPointer<ObjectFiler::Node>(new (std::nothrow) ObjectFiler::ObjectNode());
  } else {
    node = SmartPointer<ObjectFiler::Node>(new (std::nothrow) ObjectFiler::ValueNode(type));
  }
  if (node.isNull()) return false;
  return node->read(text, position, depth);
}

// Reads one node into `parent`. A value that could not be read whole is
// dropped; an object keeps the children read before the stop.
bool readChild(const std::string& text, size_t& position, int depth,
               ObjectFiler::ObjectNode& parent) {
  std::string name;
  SmartPointer<ObjectFiler::Node> node;
  const bool ok = readNode(text, position, depth, name, node);
  if (!node.isNull() && (ok || node->type() == ObjectFiler::kObject)) parent.setChild(node, name);
  return ok;
}

}  // namespace

// ---- ValueNode

void ObjectFiler::ValueNode::write(std::string& out, int depth, const std::string& name) const {
  if (type_ == kUndef) return;  // never set: nothing to keep
  out.append(static_cast<size_t>(depth), '\t');
  out += name;
  out += '(';
  out += typeName(type_);
  out += "){";
  out += escape(value_);
  out += "}\n";
}

bool ObjectFiler::ValueNode::read(const std::string& text, size_t& position, int /*depth*/) {
  skipBlanks(text, position);
  if (position >= text.size() || text[position] != '{') {
    t_damaged = true;
    return true;
  }
  ++position;
  skipBlanks(text, position);
  const size_t close = text.find('}', position);
  if (close == std::string::npos) {
    position = text.size();  // a truncated value ends the reading
    return false;
  }
  value_ = unescape(text.substr(position, close - position));
  position = close + 1;
  return true;
}

void ObjectFiler::ValueNode::setString(const std::string& text) {
  type_ = kString;
  value_ = text;
}

void ObjectFiler::ValueNode::setBool(bool value) {
  type_ = kBool;
  value_.clear();
  if (value) value_.push_back('1');
}

void ObjectFiler::ValueNode::setInt(int64_t value) {
  type_ = kInt;
  value_ = StringOps::fromInt64(value);
}

void ObjectFiler::ValueNode::setUInt(uint64_t value) {
  type_ = kUInt;
  value_ = StringOps::fromUInt64(value);
}

bool ObjectFiler::ValueNode::getBool() const {
  return !(value_.empty() || value_ == "0");
}

int64_t ObjectFiler::ValueNode::getInt() const {
  return platform::strtoi64(value_.c_str(), nullptr, 10);
}

uint64_t ObjectFiler::ValueNode::getUInt() const {
  return StringOps::toUInt64(value_);
}

std::string ObjectFiler::ValueNode::escape(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  const size_t last = value.size() - 1;
  for (size_t i = 0; i < value.size(); ++i) {
    const signed char b = static_cast<signed char>(value[i]);
    if (b == '&') {
      out += "&&;";
    } else if (b < 32 || b == '{' || b == '}' || b == 127 || (b == ' ' && (i == 0 || i == last))) {
      // TAB and blanks at either end too, since the reader skips blanks.
      out += '&';
      out += std::to_string(static_cast<int>(b));
      out += ';';
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string ObjectFiler::ValueNode::unescape(const std::string& raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      out += raw[i];
      continue;
    }
    const size_t end = raw.find(';', i + 1);
    if (end == std::string::npos) {
      out += '&';  // damaged: no ';' follows, so the '&' is literal
      continue;
    }
    const std::string inner = raw.substr(i + 1, end - i - 1);
    if (inner == "&") {
      out += '&';
    } else {
      out += static_cast<char>(platform::atoi32(inner.c_str()) & 0xFF);
    }
    i = end;
  }
  return out;
}

// ---- ObjectNode

void ObjectFiler::ObjectNode::write(std::string& out, int depth, const std::string& name) const {
  const size_t indent = static_cast<size_t>(depth);
  bool any = false;
  for (const auto& [childName, child] : children_) {
    if (isWritten(childName, child)) any = true;
  }
  out.append(indent, '\t');
  out += name;
  if (!any) {
    out += "(object){}\n";
    return;
  }
  out += "(object)\n";
  out.append(indent, '\t');
  out += "{\n";
  for (const auto& [childName, child] : children_) {
    if (isWritten(childName, child)) child->write(out, depth + 1, childName);
  }
  out.append(indent, '\t');
  out += "}\n";
}

bool ObjectFiler::ObjectNode::read(const std::string& text, size_t& position, int depth) {
  skipBlanks(text, position);
  if (position >= text.size() || text[position] != '{') {
    t_damaged = true;
    return true;
  }
  ++position;
  for (;;) {
    skipBlanks(text, position);
    if (position >= text.size()) {
      t_damaged = true;  // the text ends inside the object
      return true;
    }
    if (text[position] == '}') {
      ++position;
      return true;
    }
    if (!readChild(text, position, depth + 1, *this)) return false;
  }
}

void ObjectFiler::ObjectNode::setChild(const SmartPointer<Node>& node, const std::string& name) {
  if (node.isNull()) return;
  node->setParent(this);
  children_[name] = node;
}

ObjectFiler::Node* ObjectFiler::ObjectNode::child(const std::string& name) const {
  const auto it = children_.find(name);
  return it == children_.end() ? nullptr : it->second.get();
}

// ---- ObjectFiler

ObjectFiler::ObjectNode* ObjectFiler::root() const {
  return root_.isNull() ? nullptr : static_cast<ObjectNode*>(root_.get());
}

ObjectFiler::ObjectNode* ObjectFiler::ensureRoot() {
  if (root_.isNull()) root_ = SmartPointer<Node>(new (std::nothrow) ObjectNode());
  return root();
}

ObjectFiler::ObjectNode* ObjectFiler::addObject(ObjectNode* parent, const std::string& name) {
  if (!isWritableName(name)) return nullptr;
  ObjectNode* into = parent != nullptr ? parent : ensureRoot();
  if (into == nullptr) return nullptr;
  ObjectNode* node = new (std::nothrow) ObjectNode();
  SmartPointer<Node> held(node);
  if (held.isNull()) return nullptr;
  into->setChild(held, name);
  return node;
}

ObjectFiler::ValueNode* ObjectFiler::addValue(ObjectNode* parent, const std::string& name) {
  if (!isWritableName(name)) return nullptr;
  ObjectNode* into = parent != nullptr ? parent : ensureRoot();
  if (into == nullptr) return nullptr;
  ValueNode* node = new (std::nothrow) ValueNode();
  SmartPointer<Node> held(node);
  if (held.isNull()) return nullptr;
  into->setChild(held, name);
  return node;
}

ObjectFiler::ValueNode* ObjectFiler::getValue(ObjectNode* parent, const std::string& name) const {
  ObjectNode* from = parent != nullptr ? parent : root();
  if (from == nullptr) return nullptr;
  Node* node = from->child(name);
  if (node == nullptr || node->type() == kObject) return nullptr;
  return static_cast<ValueNode*>(node);
}

ObjectFiler::ObjectNode* ObjectFiler::getObject(ObjectNode* parent, const std::string& name) const {
  ObjectNode* from = parent != nullptr ? parent : root();
  if (from == nullptr) return nullptr;
  Node* node = from->child(name);
  if (node == nullptr || node->type() != kObject) return nullptr;
  return static_cast<ObjectNode*>(node);
}

void ObjectFiler::toString(std::string& out) const {
  out.clear();
  const ObjectNode* top = root();
  if (top == nullptr) return;
  for (const auto& [name, child] : top->children()) {
    if (isWritten(name, child)) child->write(out, 0, name);
  }
}

std::string ObjectFiler::toString() const {
  std::string out;
  toString(out);
  return out;
}

bool ObjectFiler::parse(const std::string& text) {
  SmartPointer<Node> parsed = parseNodes(text);
  if (parsed.isNull()) return false;
  root_ = parsed;
  return true;
}

bool ObjectFiler::parseWhole(const std::string& text) {
  t_damaged = false;
  SmartPointer<Node> parsed = parseNodes(text);
  const bool damaged = t_damaged;
  t_damaged = false;
  if (parsed.isNull()) return false;
  root_ = parsed;
  return !damaged;
}

bool ObjectFiler::isWritableName(const std::string& name) {
  if (name.empty() || isBlank(name[0]) || name[0] == '}') return false;
  return name.find('(') == std::string::npos;
}

SmartPointer<ObjectFiler::Node> ObjectFiler::parseNodes(const std::string& text) {
  ObjectNode* top = new (std::nothrow) ObjectNode();
  SmartPointer<Node> held(top);
  if (held.isNull()) return held;
  size_t position = 0;
  for (;;) {
    skipBlanks(text, position);
    if (position >= text.size()) break;
    if (!readChild(text, position, 0, *top)) {
      t_damaged = true;
      break;
    }
  }
  return held;
}

}  // namespace Vemora
