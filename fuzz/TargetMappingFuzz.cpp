// A line of the name-mapping file ("pattern=replacement") applied to an
// agent name: the first input line is the mapping, the second the name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "relayhub/TargetMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::size_t end = text.find('\n');
  const std::string line = text.substr(0, end);
  const std::string name = end == std::string::npos ? "" : text.substr(end + 1);
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return 0;
  Vemora::TargetMapping mapping;
  if (mapping.set(line.substr(0, equals), line.substr(equals + 1))) mapping.apply(name);
  return 0;
}
