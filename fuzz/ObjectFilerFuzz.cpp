// The ObjectFiler reader on any text (a damaged state file), then what the
// daemon reads from such a tree: a stored message and a stored box.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ObjectFiler.h"
#include "relayhub/Message.h"
#include "relayhub/MessageBox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Vemora::ObjectFiler filer;
  filer.parse(text);
  const std::string written = filer.toString();
  // What the writer produced reads back to the same text.
  Vemora::ObjectFiler again;
  again.parse(written);
  if (again.toString() != written) __builtin_trap();
  Vemora::Message msg(1);
  msg.load(filer);
  msg.dump("");
  Vemora::MessageBox box(nullptr);
  box.load(filer);
  return 0;
}
