#include "relayhub/RecvBudget.h"

#include <atomic>

namespace Vemora {

namespace {

std::atomic<uint64_t> g_used{0};
std::atomic<uint64_t> g_limit{RecvBudget::kDefaultLimitBytes};

}  // namespace

bool RecvBudget::take(uint64_t bytes) {
  uint64_t now = g_used.load();
  do {
    if (bytes > g_limit.load() || now > g_limit.load() - bytes) return false;
  } while (!g_used.compare_exchange_weak(now, now + bytes));
  return true;
}

void RecvBudget::give(uint64_t bytes) {
  g_used.fetch_sub(bytes);
}

uint64_t RecvBudget::used() {
  return g_used.load();
}

uint64_t RecvBudget::limit() {
  return g_limit.load();
}

void RecvBudget::setLimit(uint64_t bytes) {
  g_limit.store(bytes);
}

}  // namespace Vemora
