// The parameter list of a trace line or a catalogue message: typed items in
// call order, each written as its kind letter ('s' text, 'n' number), the
// value text and the separator byte 0x1A. The encoded text is what travels
// inside a log record and what the placeholder filling reads.
#pragma once

#include <string>

namespace Vemora {

class ParamStream {
 public:
  static constexpr char kSeparator = '\x1A';

  ParamStream() = default;
  ParamStream(const ParamStream& other) = default;
  ParamStream& operator=(const ParamStream& other) = default;
  virtual ~ParamStream() = default;

  // Appends a text item. A text that already ends with 0x1A gets no second
  // separator. A null pointer counts as the empty text.
  ParamStream& addString(const std::string& value);
  ParamStream& addCString(const char* value);

  // Appends a number item in plain decimal ("-5", "4000000000").
  ParamStream& addInt(int value);
  ParamStream& addUInt(unsigned int value);
  ParamStream& addLong(long value);
  ParamStream& addULong(unsigned long value);

  // A copy of the encoded text.
  std::string text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace Vemora
