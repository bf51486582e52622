// The in-memory value stream: a first-in-first-out list of typed values
// with a read position. It is the argument list of every message template
// of the core library. A stream belongs to one thread at a time.
#pragma once

#include <list>
#include <string>

#include "corelib/StreamBase.h"

namespace VemoraCorelib {

class ParamStream : public StreamBase {
 public:
  ParamStream();
  // Copies every value; the read position is the first value.
  ParamStream(const ParamStream& other);
  ParamStream& operator=(const ParamStream& other);
  ~ParamStream() override;

  using StreamBase::operator<<;
  using StreamBase::operator>>;

  // False at the end; else copies the value at the read position and moves on.
  bool readValue(TypedValue& value) override;
  // Refuses a type outside 0..13 and an empty text for types other than
  // string and wstring.
  bool writeValue(const TypedValue& value) override;

  // Display text of the next value, "" when none is left.
  std::string nextDisplayText();
  std::wstring nextWideDisplayText();

  // Each '%' takes the next value's display text (empty once they are used
  // up); '\' and the character after it are copied as they are. Without any
  // value the template is returned unchanged. Starts at the first value.
  std::string fill(const std::string& text);
  std::wstring fill(const std::wstring& text);

  // Back to the first value.
  void rewind();
  const std::list<TypedValue>& values() const { return values_; }
  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }

 private:
  std::list<TypedValue> values_;
  std::list<TypedValue>::iterator position_;
};

}  // namespace VemoraCorelib
