// One token of a configuration text.
#pragma once
#include <cstdint>
#include <string>

namespace Vemora {

struct Token {
  std::string text;
  uint8_t kind = 1;  // 0 a run of one blank character, 1 anything else
};

}  // namespace Vemora
