// StringStream::fromString on any text, then every getter and the text form
// again: no input may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/StringStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Vemora::StringStream stream;
  stream.fromString(text);
  std::string out;
  stream.toString(out, Vemora::StringStream::kMethodNone);
  stream.toString(out, Vemora::StringStream::kMethodChecksum);
  // Reading it back is always possible for what the stream wrote itself.
  Vemora::StringStream again;
  again.fromString(out);
  std::string s;
  bool b = false;
  int32_t i = 0;
  uint32_t u = 0;
  uint64_t u64 = 0;
  for (int round = 0; round < 64 && !stream.atEnd(); ++round) {
    switch (round % 6) {
      case 0: stream.getString(s); break;
      case 1: stream.getBool(b); break;
      case 2: stream.getInt(i); break;
      case 3: stream.getUInt(u); break;
      case 4: stream.getLong(i); break;
      default: stream.getUInt64(u64); break;
    }
  }
  return 0;
}
