#include "corelib/PrimitiveStream.h"

namespace VemoraCorelib {

void PrimitiveStream::escapeHook(std::wstring&) {}
void PrimitiveStream::escapeHook(std::string&) {}
void PrimitiveStream::unescapeHook(std::wstring&) {}
void PrimitiveStream::unescapeHook(std::string&) {}

}  // namespace VemoraCorelib
