#include "corelib/ObjectStream.h"

#include <new>

#include "corelib/ObjectStreamObject.h"
#include "corelib/ParamStream.h"
#include "corelib/StringTools.h"

namespace VemoraCorelib {

namespace {

// The text of one kind: names, literals and attribute values.
struct NarrowText {
  using Text = std::string;
  static Text of(const DualString& text) { return text.toNarrow(); }
  static Text typeName(int32_t type) { return TypedValue::typeName(type); }
  // A wstring holds UTF-16 bytes; every other value is narrow already.
  static Text value(const TypedValue& value) {
    if (value.type != TypedValue::kWString) return value.text;
    return StringTools::convert(TypedValue::bytesToWide(value.text));
  }
};

struct WideText {
  using Text = std::wstring;
  static Text of(const DualString& text) { return text.toWide(); }
  static Text typeName(int32_t type) { return TypedValue::wideTypeName(type); }
  static Text value(const TypedValue& value) {
    if (value.type == TypedValue::kWString) return TypedValue::bytesToWide(value.text);
    return StringTools::convert(value.text);
  }
};

template <class Kind>
void writeObject(typename Kind::Text& out, const DualString& name,
                 const ObjectStream::Object& object, std::size_t depth) {
  using Text = typename Kind::Text;
  const Text indent(depth, '\t');
  out += indent + Kind::of(name) + Text(1, '\n');
  out += indent + Text(1, '{') + Text(1, '\n');
  for (const auto& [attributeName, value] : object.attributes()) {
    out += indent + Text(1, '\t') + Kind::of(attributeName) + Text(1, '(') +
           Kind::typeName(value.type) + Text(1, ')') + Text(1, '=') + Kind::value(value) +
           Text(1, '\n');
  }
  for (const auto& [childName, child] : object.children()) {
    writeObject<Kind>(out, childName, *child, depth + 1);
  }
  out += indent + Text(1, '}') + Text(1, '\n');
}

template <class Kind>
typename Kind::Text treeText(const ObjectStream::ObjectPtr& root) {
  typename Kind::Text out;
  if (!root) return out;
  for (const auto& [name, child] : root->children()) writeObject<Kind>(out, name, *child, 0);
  return out;
}

// A deep copy, so that a stream can be added to itself.
ObjectStream::ObjectPtr cloneTree(const ObjectStream::Object& from, ObjectStream::Object* parent) {
  auto copy = std::make_shared<ObjectStream::Object>(DualString(from.name()), parent);
  for (const auto& [name, value] : from.attributes()) copy->setAttribute(name, value);
  for (const auto& [name, child] : from.children()) {
    copy->addChild(name, cloneTree(*child, copy.get()));
  }
  return copy;
}

ParamStream lineArgument(uint64_t line) {
  ParamStream arguments;
  arguments << line;
  return arguments;
}

}  // namespace

ObjectStream::ParseContext::ParseContext(bool wide)
    : newline(wide ? DualString(L"\n") : DualString("\n")),
      openParenthesis(wide ? DualString(L"(") : DualString("(")),
      closeParenthesis(wide ? DualString(L")") : DualString(")")),
      openBracket(wide ? DualString(L"{") : DualString("{")),
      closeBracket(wide ? DualString(L"}") : DualString("}")),
      equals(wide ? DualString(L"=") : DualString("=")) {}

ObjectStream::ObjectStream() = default;

ObjectStream::~ObjectStream() = default;

bool ObjectStream::readValue(TypedValue&) {
  return false;
}

bool ObjectStream::writeValue(const TypedValue&) {
  return false;
}

void ObjectStream::escapeHook(std::wstring& text) {
  text = StringTools::escapeSet(text, L"=\n", L"?n", L'\\');
}

void ObjectStream::escapeHook(std::string& text) {
  text = StringTools::escapeSet(text, "=\n", "?n", '\\');
}

void ObjectStream::unescapeHook(std::wstring& text) {
  text = StringTools::unescapeSet(text, L"?n", L"=\n", L'\\');
}

void ObjectStream::unescapeHook(std::string& text) {
  text = StringTools::unescapeSet(text, "?n", "=\n", '\\');
}

void ObjectStream::beginObject(const DualString& name) {
  try {
    if (!root_) {
      root_ = std::make_shared<Object>(name, nullptr);
      current_ = root_.get();
    }
    if (current_ == nullptr) current_ = root_.get();
    auto child = std::make_shared<Object>(name, current_);
    current_->addChild(name, child);
    current_ = child.get();
  } catch (const std::bad_alloc&) {
    throw Write_OutOfMemory("@out-of-memory{Out of memory};", VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  if (state_ != kLoading) state_ = kWriting;
  if (textKind_ == kKindUnset) textKind_ = name.isWide() ? kWideText : kNarrowText;
}

void ObjectStream::setAttribute(const DualString& name, const TypedValue& value) {
  if (current_ == nullptr || current_ == root_.get()) {
    throw Write_ObjectNotStarted(
        "@object-stream.write.object-not-started{Attempting to write to an object not started};",
        VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  current_->setAttribute(name, value);
}

void ObjectStream::endObject() {
  if (current_ == nullptr) {
    throw Write_ObjectNotStarted(
        "@object-stream.write.object-not-started{Attempting to write to an object not started};",
        VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  if (current_ != root_.get()) {
    current_ = current_->parent();
    return;
  }
  current_ = nullptr;
  save();
  releaseTree();
  state_ = kReadable;
}

std::string ObjectStream::toText() const {
  return treeText<NarrowText>(root_);
}

std::wstring ObjectStream::toWideText() const {
  return treeText<WideText>(root_);
}

void ObjectStream::requireReadable() const {
  if (state_ == kReadable) return;
  throw Read_ReadingNotAllowed(
      "@object-stream.read.reading-not-allowed{Attempting to read from a stream that is not "
      "ready for reading};",
      VEMORA_CORELIB_SOURCE_CONTEXT());
}

void ObjectStream::requireEntered() const {
  requireReadable();
  if (current_ != nullptr) return;
  throw Read_ObjectNotEntered(
      "@object-stream.read.object-not-entered{Attempting to read from a stream without "
      "entering an object first};",
      VEMORA_CORELIB_SOURCE_CONTEXT());
}

ObjectStream::Entry ObjectStream::enterObject(const DualString& name) {
  requireReadable();
  ObjectPtr child = current_ == nullptr ? nullptr : current_->findChild(name);
  if (!child) {
    ParamStream arguments;
    arguments << name.toWide();
    throw Read_ObjectNotFound(
        "@object-stream.read.object-not-found{Attempted to enter object '%' but no such object "
        "exists};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments);
  }
  current_ = child.get();
  return Entry(name, child);
}

TypedValue ObjectStream::readAttribute(const DualString& name) const {
  requireEntered();
  try {
    return current_->getAttribute(name);
  } catch (const Object::GetAttribute_NotFound&) {
    ParamStream arguments;
    arguments << name.toWide() << current_->path();
    throw Read_AttributeNotFound(
        "@object-stream.read.attribute-not-found{Trying to read attribute '%' of '%' but no "
        "such attribute exists};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments);
  }
}

std::set<DualString> ObjectStream::childNames() {
  if (state_ == kEmpty) {
    throw Read_StreamEmpty(
        "@object-stream.read.stream.empty{Attempting to read from an empty stream};",
        VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  requireReadable();
  if (!root_) {
    load();
    current_ = root_.get();
  }
  std::set<DualString> names;
  if (current_ == nullptr) return names;
  for (const auto& entry : current_->children()) names.insert(entry.first);
  return names;
}

void ObjectStream::leaveObject() {
  requireEntered();
  if (current_ == root_.get()) {
    releaseTree();
  } else {
    current_ = current_->parent();
  }
}

void ObjectStream::addStream(const ObjectStream& other) {
  if (other.state_ != kReadable) {
    throw AddStream_CannotReadFromStream(
        "@object-stream.add-stream.cannot-read-from-stream{Attempting to add another stream "
        "that is not ready for reading};",
        VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  if (!other.root_) return;
  ObjectPtr source = other.root_;
  if (&other == this) {
    try {
      source = cloneTree(*other.root_, nullptr);
    } catch (const std::bad_alloc&) {
      throw Write_OutOfMemory("@out-of-memory{Out of memory};", VEMORA_CORELIB_SOURCE_CONTEXT());
    }
  }
  for (const auto& [name, value] : source->attributes()) setAttribute(name, value);
  copyContent(*source);
}

void ObjectStream::copyContent(const Object& from) {
  for (const auto& [name, child] : from.children()) {
    beginObject(name);
    for (const auto& [attributeName, value] : child->attributes()) {
      setAttribute(attributeName, value);
    }
    copyContent(*child);
    endObject();
  }
}

void ObjectStream::releaseTree() {
  current_ = nullptr;
  root_.reset();
}

void ObjectStream::parseText(ParseContext& context) {
  releaseTree();
  state_ = kLoading;
  DualString line;
  std::size_t depth = 0;  // objects open
  while (readLine(context, line)) {
    if (depth == 0) {
      parseObjectStart(context, line);
      depth = 1;
    } else if (line == context.closeBracket) {
      endObject();
      --depth;
    } else if (line.find(context.equals) != DualString::npos) {
      parseAttribute(context, line);
    } else {
      if (depth >= kMaxParseDepth) {
        throw Parse_NestingTooDeep(
            "@object-stream.parse.nesting-too-deep{Objects nested too deeply in line %};",
            VEMORA_CORELIB_SOURCE_CONTEXT(), lineArgument(context.line));
      }
      parseObjectStart(context, line);
      ++depth;
    }
  }
  if (depth > 0) {
    throw Parse_PrematureEndOfStream(
        "@object-stream.parse.premature-end-of-stream{Unexpected end of data in line %};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), lineArgument(context.line));
  }
}

void ObjectStream::parseObjectStart(ParseContext& context, const DualString& name) {
  beginObject(name);
  DualString bracket;
  if (!readLine(context, bracket) || bracket != context.openBracket) {
    throw Parse_MissingOpenBracket(
        "@object-stream.parse.missing-open-bracket{Expected '{' in line %};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), lineArgument(context.line));
  }
}

void ObjectStream::parseAttribute(const ParseContext& context, const DualString& line) {
  const std::size_t open = line.find(context.openParenthesis);
  if (open == DualString::npos) {
    throw Parse_MissingOpenParenthesis(
        "@object-stream.parse.missing-open-parenthesis{Missing '(' in line %};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), lineArgument(context.line));
  }
  const std::size_t close = line.find(context.closeParenthesis, open + 1);
  if (close == DualString::npos) {
    throw Parse_MissingCloseParenthesis(
        "@object-stream.parse.missing-close-parenthesis{Missing ')' in line %};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), lineArgument(context.line));
  }
  const DualString typeName = line.substring(open + 1, close - open - 1);
  // The character after ")" is "=" in written text; whatever it is, it is skipped.
  const DualString text = line.substring(close + 2);
  TypedValue value;
  if (line.isWide()) {
    value.type = TypedValue::typeFromName(typeName.toWide());
    value.text = value.type == TypedValue::kWString ? TypedValue::wideToBytes(text.toWide())
                                                    : StringTools::convert(text.toWide());
  } else {
    value.type = TypedValue::typeFromName(typeName.toNarrow());
    value.text = value.type == TypedValue::kWString
                     ? TypedValue::wideToBytes(StringTools::convert(text.toNarrow()))
                     : text.toNarrow();
  }
  setAttribute(line.substring(0, open), value);
}

}  // namespace VemoraCorelib
