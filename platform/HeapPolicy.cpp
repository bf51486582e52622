#include "platform/HeapPolicy.h"

#include <malloc.h>

namespace platform {

bool returnLargeBlocksAtOnce() {
  // Setting the threshold explicitly also turns its automatic raising off.
  return ::mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1;
}

}  // namespace platform
