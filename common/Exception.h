// Base of every exception the shared library throws on its own. Carries a
// family code, a free message from the throw site and a trace of source
// positions (the throw site's and those that catchers add before they
// rethrow). Each family derives from it, adds no field and turns its code
// into a fixed text through its own code table (text()) under its own
// category number (category()).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Vemora {

class Exception {
 public:
  // One row of a family's code table, indexed by code.
  struct CodeRow {
    const char* name;
    const char* description;
  };

  struct TraceEntry {
    std::string name;  // the source file's name without folders and extension
    int32_t line = 0;
  };

  explicit Exception(int code);
  // The code and message, then addTrace(sourceFile, line).
  Exception(int code, const std::string& message, const std::string& sourceFile, int line);
  Exception(const Exception& other) = default;
  Exception& operator=(const Exception& other) = default;
  virtual ~Exception();

  // "Exception: Unknown error (Code: 63.<code>)"; families give their own.
  virtual std::string text() const;
  // 63 for the base.
  virtual int category() const;

  // Appends one entry unless `sourceFile` is empty: the text after its last
  // '\' or '/', cut behind its last '.' ("FilePlain.cpp" -> "FilePlain.").
  void addTrace(const std::string& sourceFile, int line);

  // "<category>.<code>", e.g. "60.20" or "63.-1".
  std::string codeText() const;
  // name + ": " + description + " (Code: " + codeText() + ")"; an empty
  // description reads "Unknown error". `codeName` is accepted and not written.
  std::string formatText(const std::string& name, const std::string& codeName,
                         const std::string& description) const;
  // text(); then "\r\n  >  (" message ")" when there is a message; then
  // "\r\n  >  " and the trace entries "name(line)" joined by " - ".
  std::string detailText() const;
  // formatText with the row of this code in `rows`; a code outside the table
  // reads "Unknown error".
  std::string tableText(const std::string& name, std::span<const CodeRow> rows) const;

  int code() const { return code_; }
  const std::string& message() const { return message_; }
  const std::vector<TraceEntry>& trace() const { return trace_; }

 private:
  int32_t code_ = 0;
  std::vector<TraceEntry> trace_;
  std::string message_;
};

}  // namespace Vemora
