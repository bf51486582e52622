#include "platform/Numbers.h"

#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The sign and magnitude of a number as the C runtime scans it: leading
// white space, an optional sign, "0x" for base 16 or 0, a leading "0" giving
// base 8 for base 0. The magnitude saturates at UINT64_MAX (overflow set).
struct Scan {
  bool negative = false;
  bool overflow = false;
  bool valid = false;
  uint64_t magnitude = 0;
};

Scan scanNumber(const char* text, char** end, int base) {
  Scan scan;
  if (end != nullptr) *end = const_cast<char*>(text);
  if (text == nullptr || base < 0 || base == 1 || base > 36) return scan;
  const char* p = text;
  while (isSpace(*p)) ++p;
  if (*p == '+' || *p == '-') scan.negative = (*p++ == '-');
  const bool hexPrefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitValue(p[2]) < 16;
  if ((base == 0 || base == 16) && hexPrefix) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = (p[0] == '0') ? 8 : 10;
  }
  const char* digits = p;
  for (int d = digitValue(*p); d < base; d = digitValue(*++p)) {
    const uint64_t ubase = static_cast<uint64_t>(base);
    if (scan.magnitude > (UINT64_MAX - static_cast<uint64_t>(d)) / ubase) {
      scan.overflow = true;
      scan.magnitude = UINT64_MAX;
    } else if (!scan.overflow) {
      scan.magnitude = scan.magnitude * ubase + static_cast<uint64_t>(d);
    }
  }
  if (p == digits) return Scan{};
  scan.valid = true;
  if (end != nullptr) *end = const_cast<char*>(p);
  return scan;
}

// A signed result saturating at [minimum, maximum] with errno ERANGE.
int64_t toSigned(const Scan& scan, uint64_t maxMagnitude) {
  if (scan.negative) {
    if (scan.overflow || scan.magnitude > maxMagnitude + 1) {
      errno = ERANGE;
      return -static_cast<int64_t>(maxMagnitude) - 1;
    }
    return static_cast<int64_t>(0 - scan.magnitude);
  }
  if (scan.overflow || scan.magnitude > maxMagnitude) {
    errno = ERANGE;
    return static_cast<int64_t>(maxMagnitude);
  }
  return static_cast<int64_t>(scan.magnitude);
}

// An unsigned result: saturates at maxMagnitude, a '-' negates the value
// modulo 2^bits (as the runtime's strtoul does).
uint64_t toUnsigned(const Scan& scan, uint64_t maxMagnitude) {
  if (scan.overflow || scan.magnitude > maxMagnitude) {
    errno = ERANGE;
    return maxMagnitude;
  }
  return scan.negative ? (0 - scan.magnitude) & maxMagnitude : scan.magnitude;
}

}  // namespace

int32_t strtol32(const char* text, char** end, int base) {
  return static_cast<int32_t>(toSigned(scanNumber(text, end, base), INT32_MAX));
}

uint32_t strtoul32(const char* text, char** end, int base) {
  return static_cast<uint32_t>(toUnsigned(scanNumber(text, end, base), UINT32_MAX));
}

int32_t atoi32(const char* text) {
  return strtol32(text, nullptr, 10);
}

int32_t atol32(const char* text) {
  return strtol32(text, nullptr, 10);
}

int64_t strtoi64(const char* text, char** end, int base) {
  return toSigned(scanNumber(text, end, base), INT64_MAX);
}

uint64_t strtoui64(const char* text, char** end, int base) {
  return toUnsigned(scanNumber(text, end, base), UINT64_MAX);
}

}  // namespace platform
