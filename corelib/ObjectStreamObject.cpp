#include "corelib/ObjectStreamObject.h"

#include "corelib/ParamStream.h"

namespace VemoraCorelib {

ObjectStream::Object::Object(const DualString& name, Object* parent)
    : name_(name.toWide()), parent_(parent) {}

ObjectStream::Object::~Object() = default;

std::wstring ObjectStream::Object::path() const {
  if (parent_ == nullptr) return name_;
  return parent_->path() + L"." + name_;
}

TypedValue ObjectStream::Object::getAttribute(const DualString& name) const {
  const auto found = attributes_.find(name);
  if (found == attributes_.end()) {
    ParamStream arguments;
    arguments << name.toWide() << path();
    throw GetAttribute_NotFound(
        "@object-stream.get-attribute.not-found{Could not find attribute '%' of '%'};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments);
  }
  return found->second;
}

void ObjectStream::Object::setAttribute(const DualString& name, const TypedValue& value) {
  attributes_[name] = value;
}

void ObjectStream::Object::addChild(const DualString& name, const ObjectPtr& child) {
  children_[name] = child;
}

ObjectStream::ObjectPtr ObjectStream::Object::findChild(const DualString& name) const {
  const auto found = children_.find(name);
  return found == children_.end() ? nullptr : found->second;
}

}  // namespace VemoraCorelib
