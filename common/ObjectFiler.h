// A tree of named, typed values and its text form: TAB-indented, one node
// per line or block, values escaped so that each stays on one line and free
// of braces:
//
//   Item(object)
//   {
//   	Data(string){a&123;b&125;}
//   	Id(uint){7}
//   	Target(object){}
//   }
//
// In a value '&' is written "&&;"; TAB, the bytes 0 to 31, 127, 128 to 255
// (as negative numbers), '{' and '}' as "&<signed decimal>;", and a blank at
// the start or the end of the value as "&32;", so that values read back
// byte for byte. Value nodes that were never set are not written.
//
// The reader is forgiving: it stops quietly at the first thing it cannot
// read (a missing '(' or ')', an unknown type, a value without its '}',
// nesting deeper than kMaxDepth) and keeps everything read before. An '&'
// without a ';' after it is taken literally.
//
// Nodes handed out are plain pointers into the tree, which owns them
// through counted pointers. A holder and its tree are used by one thread at
// a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "common/SmartPointer.h"

namespace Vemora {

class ObjectFiler {
 public:
  enum NodeType : int32_t {
    kObject = 0,
    kString = 1,
    kBool = 2,
    kInt = 3,
    kUInt = 4,
    kFloat = 5,
    kUndef = 6  // a value node created and not yet set
  };
  // Objects nested deeper than this are not read.
  static constexpr int kMaxDepth = 64;

  class ObjectNode;

  class Node {
   public:
    explicit Node(int32_t type) : type_(type) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // Appends the node's text at `depth` under `name`.
    virtual void write(std::string& out, int depth, const std::string& name) const = 0;
    // Reads the node's content from `text` at `position` (moved on); false
    // when the reading must stop there. `depth` is this node's depth.
    virtual bool read(const std::string& text, size_t& position, int depth) = 0;

    int32_t type() const { return type_; }
    ObjectNode* parent() const { return parent_; }
    void setParent(ObjectNode* parent) { parent_ = parent; }

   protected:
    int32_t type_;
    ObjectNode* parent_ = nullptr;
  };

  class ValueNode : public Node {
   public:
    ValueNode() : Node(kUndef) {}
    // Creates a node of a value type (1 to 6) for the reader.
    explicit ValueNode(int32_t type) : Node(type) {}

    void write(std::string& out, int depth, const std::string& name) const override;
    bool read(const std::string& text, size_t& position, int depth) override;

    void setString(const std::string& text);
    // "1" for true, "" for false.
    void setBool(bool value);
    void setInt(int64_t value);
    void setUInt(uint64_t value);

    const std::string& value() const { return value_; }
    std::string& value() { return value_; }
    // False for "" and "0", else true.
    bool getBool() const;
    // As _atoi64 reads the text (saturating).
    int64_t getInt() const;
    // The leading decimal digits.
    uint64_t getUInt() const;

    static std::string escape(const std::string& value);
    static std::string unescape(const std::string& raw);

   private:
    std::string value_;
  };

  class ObjectNode : public Node {
   public:
    using Children = std::map<std::string, SmartPointer<Node>>;

    ObjectNode() : Node(kObject) {}

    void write(std::string& out, int depth, const std::string& name) const override;
    bool read(const std::string& text, size_t& position, int depth) override;

    // Makes this object the node's parent and stores it under `name`,
    // releasing a child stored there before.
    void setChild(const SmartPointer<Node>& node, const std::string& name);
    // The child of that name, or null.
    Node* child(const std::string& name) const;
    const Children& children() const { return children_; }

   private:
    Children children_;
  };

  ObjectFiler() = default;
  virtual ~ObjectFiler() = default;
  ObjectFiler(const ObjectFiler&) = delete;
  ObjectFiler& operator=(const ObjectFiler&) = delete;

  // A null parent means the root, which is created on first use. The new
  // node replaces a child of the same name. Null when memory runs out or
  // the name cannot be written (empty, holding '(' or beginning with a
  // blank or '}').
  ObjectNode* addObject(ObjectNode* parent, const std::string& name);
  ValueNode* addValue(ObjectNode* parent, const std::string& name);
  // The child of that name when it is a value node (any type but object) /
  // an object node; else null.
  ValueNode* getValue(ObjectNode* parent, const std::string& name) const;
  ObjectNode* getObject(ObjectNode* parent, const std::string& name) const;

  // The whole tree as text; "" when there is no root.
  void toString(std::string& out) const;
  std::string toString() const;
  // Replaces the root by what the text yields; false only when the new
  // root cannot be made. A text that yields nothing gives an empty root.
  bool parse(const std::string& text);
  // The same, but true only when the whole text was read: every node
  // complete, every value in its braces and every object closed. A
  // truncated or badly nested text gives false (the tree then holds what
  // the forgiving reader kept).
  bool parseWhole(const std::string& text);

  // The root object, or null when there is none.
  ObjectNode* root() const;
  ObjectNode* ensureRoot();

  // True for a name the text form can carry.
  static bool isWritableName(const std::string& name);
  // A new root holding the top-level nodes of `text`; null only when memory
  // runs out.
  static SmartPointer<Node> parseNodes(const std::string& text);

 private:
  SmartPointer<Node> root_;
};

}  // namespace Vemora
