// One log record in memory: a debug record (a finished trace text) or a
// catalogue record (a message number and its encoded parameters).
#pragma once

#include <cstdint>
#include <string>

#include "common/DateTime.h"

namespace Vemora {

class LogRecord {
 public:
  static constexpr int kDebug = 0;
  static constexpr int kCatalogue = 1;
  // The message id of a record that names no catalogue message.
  static constexpr int kNoMessage = 99999;

  // A new record holds the current time and an empty text.
  LogRecord() = default;

  int kind = kDebug;
  int applicationModule = 0;  // set by the centre when it dispatches
  int unitModule = 0;         // module of the unit that made the record
  DateTime time;              // when the record was made
  int timeMode = 0;           // 0 default, 1 local, 2 zulu; carried only
  int severity = 0;           // 0..4, catalogue records
  int debugLevel = 0;         // 1..5, debug records
  int messageId = kNoMessage;
  // Debug record: the finished text. Catalogue record: the encoded
  // parameters, replaced by the filled-in catalogue text after lookup.
  std::string text;
  uint32_t threadId = 0;
};

}  // namespace Vemora
