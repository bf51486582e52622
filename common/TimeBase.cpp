#include "common/TimeBase.h"

namespace Vemora {

TimeBase::~TimeBase() {
  seconds_ = 0;
}

void TimeBase::setSeconds(int32_t seconds) {
  seconds_ = seconds < 0 ? 0 : seconds;
}

}  // namespace Vemora
