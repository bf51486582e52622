#include "logger/LogMessenger.h"

#include <atomic>
#include <new>

#include "logger/LogCommons.h"
#include "logger/LogRecord.h"
#include "logger/LoggerAgentFile.h"
#include "logger/LoggerAgentFileThread.h"

namespace Vemora {

namespace {

std::atomic<bool> gThreadedLogging{false};
std::atomic<LogCommons*> gCatalogue{nullptr};

}  // namespace

LogMessenger::LogMessenger() {
  if (threadedLogging()) {
    agent_ = SmartPointer<LoggerAgent>(new (std::nothrow) LoggerAgentFileThread());
    return;
  }
  LoggerAgentFile* plain = new (std::nothrow) LoggerAgentFile();
  agent_ = SmartPointer<LoggerAgent>(plain);
  if (!agent_.isNull()) plain->setFile("Vemora_Debug.log");
}

LogMessenger::~LogMessenger() = default;

bool LogMessenger::send(const std::string& wire) {
  LogRecord record;
  if (!LogCommons::parseRecord(wire, record)) return false;
  bool found = false;
  LogCommons* catalogue = gCatalogue.load();
  if (record.kind == LogRecord::kCatalogue && catalogue != nullptr) {
    std::string text;
    if (catalogue->lookupMessage(record.unitModule, record.messageId, text)) {
      LogCommons::substitute(text, record.text);
      record.text = text;
      found = true;
    }
  }
  return writeLine(LogCommons::formatLine(record, found));
}

bool LogMessenger::setFile(const std::string& path) {
  if (agent_.isNull()) return false;
  if (!threadedLogging()) {
    auto* plain = dynamic_cast<LoggerAgentFile*>(agent_.get());
    return plain != nullptr && plain->setFile(path);
  }
  auto* threaded = dynamic_cast<LoggerAgentFileThread*>(agent_.get());
  if (threaded == nullptr) return false;
  // Whatever its health, the writer must be gone before the file closes.
  threaded->stop();
  threaded->closeFile();
  return threaded->start(path);
}

bool LogMessenger::isOk() const {
  if (agent_.isNull()) return false;
  return agent_->ok();
}

bool LogMessenger::writeLine(const std::string& line) {
  if (agent_.isNull()) return false;
  return agent_->writeLine(line);
}

void LogMessenger::setCatalogue(LogCommons* catalogue) {
  gCatalogue.store(catalogue);
}

LogCommons* LogMessenger::catalogue() {
  return gCatalogue.load();
}

void LogMessenger::setThreadedLogging(bool on) {
  gThreadedLogging.store(on);
}

bool LogMessenger::threadedLogging() {
  return gThreadedLogging.load();
}

}  // namespace Vemora
