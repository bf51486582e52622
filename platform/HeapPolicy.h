// How the C library's heap hands large blocks back to the system.
#pragma once

namespace platform {

// Makes every heap block of 128 KiB or more a mapping of its own that goes
// back to the system as soon as it is freed. By default the C library raises
// that limit to the size of each large block freed (up to 32 MiB), so that
// later blocks below it come from the heap and, once freed, keep occupying
// memory: a program that frees a large text before building another one
// would gain nothing. False when the setting is refused.
bool returnLargeBlocksAtOnce();

}  // namespace platform
