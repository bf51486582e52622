// The nodegraft application: reads a source and a destination DCML document,
// applies one action to the destination and prints the edited document on
// standard output (it never writes a file). Errors go to standard error with
// exit code 2.
#pragma once

#include "corelib/AppFrame.h"

namespace Vemora {

class nodegraft : public VemoraCorelib::AppFrame {
 public:
  // Registers the options and processes the command line; see state().
  nodegraft(int argc, const char* const* argv);
  ~nodegraft() override;

  bool configure() override;
  bool shutdown() override;
  // 0 on success, 2 on every error.
  int run() override;
};

}  // namespace Vemora
