// The object-stream parser on any text (a damaged registry or stream file),
// narrow and wide, then the writer on what it parsed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "corelib/Exception.h"
#include "tests/corelib/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (bool wide : {false, true}) {
    corelib_test::MemoryStream stream(text, wide);
    try {
      stream.load();
      stream.childNames();
      if (wide) {
        stream.toWideText();
      } else {
        stream.toText();
      }
    } catch (const VemoraCorelib::Exception&) {
      // A malformed text is refused with an error; anything else is a fault.
    }
  }
  return 0;
}
