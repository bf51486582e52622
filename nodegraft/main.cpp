// nodegraft: edits DCML documents from the command line.
#include "corelib/AppFrame.h"
#include "nodegraft/nodegraft.h"
#include "platform/ExitSignals.h"
#include "platform/HeapPolicy.h"
#include "platform/Signals.h"

int main(int argc, char** argv) {
  using VemoraCorelib::AppFrame;
  // Nothing in a run looks at the frame's quit flag, and a run may block on a
  // pipe or FIFO: an interrupt or termination request ends it at once, a
  // failure that prints nothing. The flag's handlers are not installed first:
  // a signal caught between the two installations would be lost.
  platform::exitOnStopSignals(2);
  // A vanished reader of standard output must give an error, not a kill.
  platform::ignoreBrokenPipe();
  // The document texts are freed before the printed document is built; that
  // must lower the peak memory, not leave the freed blocks in the heap.
  platform::returnLargeBlocksAtOnce();
  AppFrame::setArguments(argc, argv);
  try {
    Vemora::nodegraft application(argc, argv);
    if (application.state() == AppFrame::kInformationPrinted) return 0;
    if (application.state() == AppFrame::kFailed) return 2;
    if (!application.initialize()) return 2;
    return application.execute();
  } catch (...) {
    return 2;
  }
}
