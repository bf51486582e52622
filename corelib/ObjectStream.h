// A tree of named objects with typed attributes and named child objects,
// turned into a tab-indented text and back. Writing goes object by object
// (begin, attributes, end); reading enters objects by name; parsing reads
// the text line by line. Where the text goes, where lines come from and
// when the text is written are left to subclasses (save, load, readLine).
// Not a value stream: readValue and writeValue refuse every value. One
// thread uses a stream at a time; it takes no lock.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "corelib/DualString.h"
#include "corelib/Exception.h"
#include "corelib/PrimitiveStream.h"
#include "corelib/TypedValue.h"

namespace VemoraCorelib {

class ObjectStream : public PrimitiveStream {
 public:
  class Object;
  using ObjectPtr = std::shared_ptr<Object>;
  using Entry = std::pair<DualString, ObjectPtr>;

  enum State { kEmpty = 0, kWriting = 1, kLoading = 2, kReadable = 3 };
  enum TextKind { kKindUnset = 0, kWideText = 1, kNarrowText = 2 };

  // Objects of a parsed text may be nested this deep (top-level objects at
  // depth 0), so walks over a loaded tree stay within the stack.
  static constexpr std::size_t kMaxParseDepth = 1000;

  // One per parse: the physical lines read so far and the tokens in the
  // parse's kind.
  struct ParseContext {
    explicit ParseContext(bool wide);
    uint64_t line = 0;
    DualString newline, openParenthesis, closeParenthesis, openBracket, closeBracket, equals;
  };

  VEMORA_CORELIB_ERROR_CLASS(Write_OutOfMemory);
  VEMORA_CORELIB_ERROR_CLASS(Write_ObjectNotStarted);
  VEMORA_CORELIB_ERROR_CLASS(AddStream_CannotReadFromStream);
  VEMORA_CORELIB_ERROR_CLASS(Read_ReadingNotAllowed);
  VEMORA_CORELIB_ERROR_CLASS(Read_StreamEmpty);
  VEMORA_CORELIB_ERROR_CLASS(Read_ObjectNotEntered);
  VEMORA_CORELIB_ERROR_CLASS(Read_ObjectNotFound);
  VEMORA_CORELIB_ERROR_CLASS(Read_AttributeNotFound);
  VEMORA_CORELIB_ERROR_CLASS(Parse_MissingOpenBracket);
  VEMORA_CORELIB_ERROR_CLASS(Parse_PrematureEndOfStream);
  VEMORA_CORELIB_ERROR_CLASS(Parse_MissingOpenParenthesis);
  VEMORA_CORELIB_ERROR_CLASS(Parse_MissingCloseParenthesis);
  VEMORA_CORELIB_ERROR_CLASS(Parse_NestingTooDeep);

  ObjectStream();
  ~ObjectStream() override;
  ObjectStream(const ObjectStream&) = delete;
  ObjectStream& operator=(const ObjectStream&) = delete;

  // Loose values are not stored: both always give false.
  bool readValue(TypedValue& value) override;
  bool writeValue(const TypedValue& value) override;

  // "=" as '\' '?', a newline as '\' 'n', '\' doubled; and back. Neither
  // the writer nor the parser applies them.
  void escapeHook(std::wstring& text) override;
  void escapeHook(std::string& text) override;
  void unescapeHook(std::wstring& text) override;
  void unescapeHook(std::string& text) override;

  // ---- writing --------------------------------------------------------------

  // Adds an object under the current one (replacing one of the same name)
  // and makes it current; the first call creates the hidden root.
  void beginObject(const DualString& name);
  // Stores a copy in the current object, replacing one of the same name.
  void setAttribute(const DualString& name, const TypedValue& value);
  // Back to the parent; at the root: save, release the tree, readable.
  void endObject();
  // The text of the whole tree, top-level objects at depth 0.
  std::string toText() const;
  std::wstring toWideText() const;

  // ---- reading (state readable) -------------------------------------------

  Entry enterObject(const DualString& name);
  TypedValue readAttribute(const DualString& name) const;
  // Names of the current object's children; loads first when the stream
  // holds no tree. Empty when nothing was loaded.
  std::set<DualString> childNames();
  // Back to the parent; at the root the loaded tree is released.
  void leaveObject();

  // Copies the tree of a readable stream in at the current position.
  virtual void addStream(const ObjectStream& other);

  // ---- the medium ------------------------------------------------------------

  // Writes the text; called when the root is ended.
  virtual void save() = 0;
  // Fills the tree (normally through parseText) and makes it readable.
  virtual void load() = 0;
  // The next line that is neither empty nor a comment, trimmed, in the
  // stream's kind; raises context.line for every physical line read. False
  // at the end of the data.
  virtual bool readLine(ParseContext& context, DualString& line) = 0;

  State state() const { return state_; }
  TextKind textKind() const { return textKind_; }
  const Object* currentObject() const { return current_; }
  const ObjectPtr& root() const { return root_; }

 protected:
  // Replaces the tree by the parsed lines; leaves the stream loading with
  // the root current. Parse errors keep what was parsed before them.
  void parseText(ParseContext& context);
  void setState(State state) { state_ = state; }
  void setTextKind(TextKind kind) { textKind_ = kind; }

 private:
  void releaseTree();
  void requireReadable() const;
  void requireEntered() const;
  void parseObjectStart(ParseContext& context, const DualString& name);
  void parseAttribute(const ParseContext& context, const DualString& line);
  void copyContent(const Object& from);

  ObjectPtr root_;
  Object* current_ = nullptr;
  State state_ = kEmpty;
  TextKind textKind_ = kKindUnset;
};

}  // namespace VemoraCorelib
