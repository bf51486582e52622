#include "logger/LoggingSetup.h"

#include <new>

#include "common/ConfReader.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "common/StringOps.h"
#include "common/SystemInfo.h"
#include "common/TimeException.h"
#include "common/TimeSpan.h"
#include "logger/LogCommons.h"
#include "logger/LogMessengerIPC.h"
#include "logger/LoggerAgentFile.h"
#include "platform/FileSystem.h"

namespace Vemora {

namespace {

// "none" clears the scheme; "init", "time" and "size" add their bits.
void applyRotationScheme(std::string text) {
  while (!text.empty()) {
    const std::string token = StringOps::cutToken(text, ',');
    if (token == "none") {
      LoggerAgentFile::setRotationScheme(0);
    } else if (token == "init") {
      LoggerAgentFile::addRotationScheme(LoggerAgentFile::kRotateInit);
    } else if (token == "time") {
      LoggerAgentFile::addRotationScheme(LoggerAgentFile::kRotateTime);
    } else if (token == "size") {
      LoggerAgentFile::addRotationScheme(LoggerAgentFile::kRotateSize);
    }
  }
}

// Two spellings of one folder: the same separators and letters. The case
// counts: on a case-sensitive file system another case is another folder.
bool sameDirectory(std::string a, std::string b) {
  FileUtils::collapseSeparators(a);
  FileUtils::collapseSeparators(b);
  FileUtils::stripTrailingSeparators(a);
  FileUtils::stripTrailingSeparators(b);
  return a == b;
}

bool isFolderExactly(const std::string& path) {
  const uint32_t attributes = platform::fileAttributes(path);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory) != 0;
}

// Makes the folder and its missing parents, each spelt as given. The
// library's existence test ignores case (as on Windows), so it would take a
// sibling in another case for the folder and make nothing.
bool makeFolderExactly(std::string dir) {
  FileUtils::collapseSeparators(dir);
  FileUtils::stripTrailingSeparators(dir);
  if (dir.empty()) return false;
  for (size_t at = dir.find('\\', 1);; at = dir.find('\\', at + 1)) {
    const std::string prefix = dir.substr(0, at);
    const bool drive = prefix.back() == ':';
    if (!drive && !isFolderExactly(prefix) && !FileOps::createDirectory(prefix) &&
        !isFolderExactly(prefix)) {
      return false;
    }
    if (at == std::string::npos) return true;
  }
}

}  // namespace

LoggingSetup::LoggingSetup() = default;

LoggingSetup::~LoggingSetup() {
  configuration.reset();
  unit.reset();
  messenger.reset();
  centre.reset();
}

bool LoggingSetup::startup() {
  if (!unit.isNull()) return configure();
  const bool threaded = LogMessenger::threadedLogging();
  if (!threaded) {
    LoggerAgentFile::setBaseName(LogCommons::messageFileModuleName(messageFileModuleId));
  }
  if (logDirectory.empty()) {
    std::string dir;
    if (SystemInfo::getResource("StartupLogDir", dir) == 0) logDirectory = dir;
  }
  // The folder keeps its spelling: on a case-sensitive file system another
  // case is another folder.
  FileUtils::collapseSeparators(logDirectory);
  FileUtils::addTrailingSeparator(logDirectory);
  uint32_t level = 0;
  if (SystemInfo::getResourceDword("StartupDebugLevel", level) != 0) level = 0;
  LoggerUnit::setDebugLevel(static_cast<int>(level));
  if (!threaded) {
    std::string scheme;
    if (SystemInfo::getResource("LogFileRotationScheme", scheme) == 0 && !scheme.empty()) {
      applyRotationScheme(scheme);
    }
  }
  try {
    messenger = SmartPointer<LogMessenger>(new LogMessengerIPC());
    if (messenger.isNull()) return false;
    messenger->setFile(logDirectory + debugLogName);
    centre = SmartPointer<LoggerCentre>(new LoggerCentre(messageFileModuleId, messenger));
    if (centre.isNull()) return false;
    unit = SmartPointer<LoggerUnit>(new LoggerUnit(centre, moduleId));
    if (unit.isNull()) return false;
  } catch (...) {
    return false;
  }
  return true;
}

bool LoggingSetup::configure() {
  if (configuration.isNull()) return false;
  configureDirectory();
  std::string timeText;
  if (configuration->getString("log.time", timeText, true, false) != 0) timeText = "local";
  LoggerUnit::setTimeMode(timeText == "local" ? 1 : timeText == "zulu" ? 2 : 0);
  if (!LogMessenger::threadedLogging()) configureRotation();
  std::string severity;
  if (configuration->getString("log.global.severity", severity, true, false) == 0) {
    const int threshold = LogCommons::severityFromName(severity);
    if (threshold != 6) LoggerUnit::setSeverityThreshold(threshold);
  } else {
    LoggerUnit::setSeverityThreshold(0);
  }
  int32_t level = 0;
  if (configuration->getInteger("log.global.debug-level", level) != 0) level = 0;
  LoggerUnit::setDebugLevel(level);
  // Reported once the configured debug level is in force.
  reportBadSettings();
  return true;
}

void LoggingSetup::configureDirectory() {
  std::string dir;
  if (configuration->getDirName("Vemora.directories.log", dir) != 0) return;
  if (sameDirectory(dir, logDirectory) || !makeFolderExactly(dir)) return;
  logDirectory = dir;
  FileUtils::addTrailingSeparator(logDirectory);
  debugLogName = FileUtils::fileName(debugLogName);
  if (!messenger.isNull()) messenger->setFile(logDirectory + debugLogName);
}

int32_t LoggingSetup::configuredRotationSeconds() {
  TimeSpan::Parts parts;
  const int rc = configuration->getTimeSpan("log.rotation.time", parts);
  if (rc == ConfReader::kFound) {
    try {
      return TimeSpan(parts).seconds();
    } catch (const TimeException&) {
      // A span beyond 32 bits of seconds: a bad setting like any other.
    }
  } else if (rc != ConfReader::kInvalid) {
    return 0;
  }
  badSettings_.push_back("log.rotation.time");
  return 0;
}

void LoggingSetup::reportBadSettings() {
  for (const std::string& key : badSettings_) {
    if (!unit.isNull()) {
      unit->debug(1, "LoggingSetup::configure: Bad value of \"%s\"; the default is kept.",
                  ParamStream().addString(key));
    }
  }
  badSettings_.clear();
}

void LoggingSetup::configureRotation() {
  const bool hadInit = (LoggerAgentFile::rotationScheme() & LoggerAgentFile::kRotateInit) != 0;
  std::string scheme;
  if (configuration->getString("log.rotation.scheme", scheme, true, true) == 0) {
    LoggerAgentFile::setRotationScheme(0);
    applyRotationScheme(scheme);
  }
  LoggerAgentFile::setRotationTime(TimeSpan(configuredRotationSeconds()));
  // A missing size keeps the agent's 10 MiB: a size of 0 would rotate the
  // file at every line.
  int32_t size = 0;
  if (configuration->getInteger("log.rotation.size", size) == 0) {
    LoggerAgentFile::setRotationSize(size);
  }
  const bool hasInit = (LoggerAgentFile::rotationScheme() & LoggerAgentFile::kRotateInit) != 0;
  if (hasInit && !hadInit) LoggerAgentFile::requestInitRotation();
}

}  // namespace Vemora
