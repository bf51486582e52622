// Root of the value streams: reads and writes one typed value at a time,
// with escape hooks that a stream format can override.
#pragma once

#include <string>

#include "corelib/TypedValue.h"

namespace VemoraCorelib {

class PrimitiveStream {
 public:
  virtual ~PrimitiveStream() = default;

  // Reads the next value; false when none can be read.
  virtual bool readValue(TypedValue& value) = 0;
  // Appends a value; false when the stream refuses it.
  virtual bool writeValue(const TypedValue& value) = 0;

  // Change the text in place before writing / after reading; by default
  // nothing happens.
  virtual void escapeHook(std::wstring& text);
  virtual void escapeHook(std::string& text);
  virtual void unescapeHook(std::wstring& text);
  virtual void unescapeHook(std::string& text);
};

}  // namespace VemoraCorelib
