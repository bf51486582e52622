// Number readers of the 32-bit C runtime, where `long` is 32 bits. Every
// library that reads numbers from text uses these, never the host's
// strtol/atoi, so results saturate and wrap as they did there.
#pragma once

#include <cstdint>

namespace platform {

// All readers: leading white space, an optional sign, "0x" for base 16 or 0
// (base 0: a leading "0" means octal); `end` (when not null) gets the first
// unread character, or `text` when no digit was read; a saturated result
// sets errno to ERANGE; a base outside 0 and 2..36 and a null text give 0.
//
// strtol with a 32-bit long: saturates at INT32_MIN / INT32_MAX.
int32_t strtol32(const char* text, char** end, int base);
// strtoul with a 32-bit unsigned long: saturates at UINT32_MAX; a leading '-'
// negates in 32 bits ("-1" gives 4294967295).
uint32_t strtoul32(const char* text, char** end, int base);
// atoi / atol: strtol32 in base 10.
int32_t atoi32(const char* text);
int32_t atol32(const char* text);
// _atoi64 / _strtoi64: saturate at the 64-bit limits.
int64_t strtoi64(const char* text, char** end, int base);
uint64_t strtoui64(const char* text, char** end, int base);

}  // namespace platform
