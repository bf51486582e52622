// The seven edits of nodegraft on DCML documents, applied to document texts
// in memory: "prepend", "append", "remove", "link-after", "link-before",
// "unlink" and "exists". The result holds what the tool prints on standard
// output and standard error and its exit code; nothing here does I/O.
#pragma once

#include <string>

namespace Vemora {

class DcmlEditor {
 public:
  struct Request {
    std::string action;
    std::string sourceText;       // the source document ("" when unreadable)
    std::string destinationText;  // the destination document
    std::string sourcePath;       // DCML path in the source
    std::string destinationPath;  // DCML path in the destination
    bool useEntities = false;     // keep "&quot;" and "&apos;" in the output
  };

  struct Result {
    int exitCode = 0;    // 0 success, 2 any error
    std::string output;  // for standard output, line end included
    std::string error;   // for standard error, line end included
  };

  // Applies the request's action to the destination document. The source
  // object (for the inserting actions) and the destination object must
  // exist; an edit that has no place to insert into reports
  // "Cannot apply action." and prints no document.
  static Result apply(const Request& request);
};

}  // namespace Vemora
