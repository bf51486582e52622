#include "relayhub/RepeatReport.h"

namespace Vemora {

bool RepeatReport::failure(uint64_t nowMs, uint32_t& count) {
  ++unreported_;
  if (inRun_ && nowMs - lastReportMs_ < intervalMs_) return false;
  inRun_ = true;
  lastReportMs_ = nowMs;
  count = unreported_;
  unreported_ = 0;
  return true;
}

bool RepeatReport::success(uint32_t& count) {
  inRun_ = false;
  count = unreported_;
  unreported_ = 0;
  return count != 0;
}

}  // namespace Vemora
