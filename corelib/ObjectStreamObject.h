// One object of an object stream: a wide name, a non-owning link to the
// enclosing object, typed attributes and child objects, each kept in name
// order under unique names. An object owns its children: releasing the
// last reference to it destroys the subtree.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "corelib/DualString.h"
#include "corelib/Exception.h"
#include "corelib/ObjectStream.h"
#include "corelib/TypedValue.h"

namespace VemoraCorelib {

class ObjectStream::Object {
 public:
  VEMORA_CORELIB_ERROR_CLASS(GetAttribute_NotFound);

  using Attributes = std::map<DualString, TypedValue>;
  using Children = std::map<DualString, ObjectPtr>;

  // A narrow name is converted to wide text.
  Object(const DualString& name, Object* parent);
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  const std::wstring& name() const { return name_; }
  Object* parent() const { return parent_; }
  // The parent's path, "." and the name; the root's path is its name.
  std::wstring path() const;

  // A copy of the attribute; GetAttribute_NotFound when it is missing.
  TypedValue getAttribute(const DualString& name) const;
  void setAttribute(const DualString& name, const TypedValue& value);
  // Adds the child under `name`, replacing an earlier child of that name
  // with its whole subtree.
  void addChild(const DualString& name, const ObjectPtr& child);
  // Null when there is no such child.
  ObjectPtr findChild(const DualString& name) const;

  const Attributes& attributes() const { return attributes_; }
  const Children& children() const { return children_; }

 private:
  std::wstring name_;
  Object* parent_;
  Attributes attributes_;
  Children children_;
};

}  // namespace VemoraCorelib
