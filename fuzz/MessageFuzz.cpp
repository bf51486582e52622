// The message reader as a PLAC feeds it: a stream text from the wire into a
// fresh message, then its dump, its wire form and its stored form, which
// must read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ObjectFiler.h"
#include "common/StringStream.h"
#include "relayhub/Message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Vemora::StringStream in;
  in.fromString(text);
  Vemora::Message msg(1);
  msg.fromStream(in);
  msg.hasTimedOut();
  msg.deadlineTicks();
  const std::string dump = msg.dump("   ");
  Vemora::StringStream out;
  msg.toStream(out);
  std::string wire;
  out.toString(wire, Vemora::StringStream::kMethodNone);
  Vemora::ObjectFiler filer;
  if (msg.save(filer)) {
    Vemora::ObjectFiler back;
    back.parse(filer.toString());
    Vemora::Message restored(1);
    if (!restored.load(back) || restored.getId() != msg.getId()) __builtin_trap();
  }
  return 0;
}
