// The bound on the memory that partly received items of all connections
// hold together. Each RecvStaging charges what its partial text reserves
// before the memory is taken, and gives it back when it is reset or goes
// away; a charge that would exceed the bound is refused.
//
// Thread-safety: lock-free (one atomic count); any thread may charge.
#pragma once

#include <cstdint>

namespace Vemora {

class RecvBudget {
 public:
  // 64 MiB: plenty for the messages the protocol carries (one item is at
  // most 16 MiB).
  static constexpr uint64_t kDefaultLimitBytes = 64ull * 1024 * 1024;

  // True (and counted) when `bytes` more fit below the limit.
  static bool take(uint64_t bytes);
  static void give(uint64_t bytes);
  static uint64_t used();
  static uint64_t limit();
  // Tests lower the limit.
  static void setLimit(uint64_t bytes);

  RecvBudget() = delete;
};

}  // namespace Vemora
