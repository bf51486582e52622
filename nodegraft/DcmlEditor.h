// The seven edits of nodegraft on DCML documents, applied to document texts
// in memory: "prepend", "append", "remove", "link-after", "link-before",
// "unlink" and "exists". The result holds what the tool prints on standard
// error and its exit code; what it prints on standard output is handed to a
// writer or collected in the result. Nothing here does I/O.
#pragma once

#include <functional>
#include <string>
#include <string_view>

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

  // Takes the text for standard output chunk by chunk; false when a chunk
  // could not be written.
  using Writer = std::function<bool(std::string_view)>;

  // Applies the request's action to the destination document. The source
  // object (for the inserting actions) and the destination object must
  // exist; an edit that has no place to insert into, or that could not keep
  // every object, reports "Cannot apply action." and prints no document.
  //
  // The text for standard output goes to `write` (Result::output stays
  // empty); a write that fails ends the output with exit code 2 and
  // "Cannot write output.". The request's document texts are freed once
  // they are parsed and the documents before the output is written, so a
  // caller that moves its request in holds no copy of a document meanwhile.
  static Result apply(Request request, const Writer& write);
  // The same, with the text for standard output collected in
  // Result::output.
  static Result apply(Request request);
};

}  // namespace Vemora
