// The logging vocabulary: severity names, the wire text of a record, the
// log-file line, the module tables, and the message catalogue loaded from
// ".mess" files.
//
// Wire text: "Vemora", "LOG" or "DEBUG", application module, unit module,
// time (seconds since 1970), severity or debug level, text, thread id and,
// for catalogue records, the message id; each field followed by 0x1C.
//
// The static helpers keep no state and may be called from any thread. The
// catalogue is filled by loadMessages (normally once, at configuration) and
// read by lookupMessage from every logging thread; both take the object's
// own lock.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "logger/LogRecord.h"
#include "logger/MessageLoadReport.h"

namespace Vemora {

class LogCommons {
 public:
  static constexpr char kFieldSeparator = '\x1C';
  // moduleId's answer for a name without a row.
  static constexpr int kUnknownModule = 64;

  LogCommons() = default;
  LogCommons(const LogCommons&) = delete;
  LogCommons& operator=(const LogCommons&) = delete;
  virtual ~LogCommons() = default;

  // ---- records ----
  // "NOTICE", "WARNING", "ERROR", "CRITICAL", "FATAL" for 0..4, else "".
  static std::string severityName(int severity);
  // Exact, case-sensitive: "NONE"/"NOTHING" 5, the names above 0..4, any
  // other text 6 (no severity).
  static int severityFromName(const std::string& name);
  // The wire text of a record. A 0x1C byte inside the text is written as a
  // blank, so a text can never shift the fields behind it.
  static void serializeRecord(const LogRecord& record, std::string& out);
  // False when the first field is not "Vemora" or the kind is neither
  // "DEBUG" nor "LOG"; missing or non-numeric fields read as 0 / "".
  static bool parseRecord(const std::string& wire, LogRecord& out);
  // True when the kind field of the wire text says DEBUG.
  static bool isDebugRecord(const std::string& wire);
  // "(41.48.05)", or "(41.48)" and three blanks for kNoMessage.
  static std::string moduleText(int applicationModule, int unitModule, int messageId);
  // One log-file line without line end: severity column (8 wide), local
  // time, module text, thread id, ": " and the text; a catalogue record
  // whose text was not found shows "(Message not found.)" and its
  // parameters.
  static std::string formatLine(const LogRecord& record, bool textFound);

  // ---- catalogue ----
  // Reads every "<module>.mess" file of <directory>\LogMessages whose module
  // is in the module table and, unless the filter is "all", named in the
  // filter text. Fills and returns the report; never throws.
  MessageLoadReport loadMessages(MessageLoadReport& report, const std::string& directory,
                                 const std::string& filter);
  // The text of message <number> of module <moduleId>; false on a miss.
  bool lookupMessage(int moduleId, int number, std::string& out) const;
  // Inserts one entry unless the key already has a text (the first wins).
  void addMessage(int moduleId, int number, const std::string& text);
  // Fills the "%" placeholders of the text in place from encoded parameters:
  // "%s" takes a text item, "%i"/"%f" a number item, "%%" writes "%"; a
  // missing item gives "<???>", an item of another kind its value between
  // two backslashes.
  static void substitute(std::string& text, const std::string& encodedParams);

  // ---- module tables ----
  // Display name of a unit module id; "<<Unknown>>" without a row.
  static std::string moduleName(int id);
  // Id of a unit module name (compared lower-cased); kUnknownModule without
  // a row.
  static int moduleId(const std::string& name);
  // Name of a program's message-file module id; "<<Unknown>>" without a row.
  static std::string messageFileModuleName(int id);
  // Id of a program name (compared lower-cased); 0 without a row.
  static int messageFileModuleId(const std::string& name);

 private:
  void loadFile(const std::string& path, int moduleId, int& count);

  mutable std::mutex lock_;
  std::map<std::string, std::string> catalogue_;
};

}  // namespace Vemora
