#include "common/Timer.h"

#include "platform/Thread.h"

namespace Vemora {

void Timer::sleep(unsigned int milliseconds) {
  platform::sleepUnlessQuit(milliseconds);
}

}  // namespace Vemora
