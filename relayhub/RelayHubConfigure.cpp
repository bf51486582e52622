// Configuration of the relay daemon: the command line, the registry
// resources and the configuration file become the hub's settings, in a
// fixed order. A step that fails ends configuration (exit code 2).
#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/ConfReader.h"
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "common/InventoryOps.h"
#include "common/StringOps.h"
#include "common/SystemInfo.h"
#include "common/TimeException.h"
#include "common/TimeSpan.h"
#include "logger/LogMessenger.h"
#include "logger/LoggerUnit.h"
#include "logger/MessageLoadReport.h"
#include "logger/ParamStream.h"
#include "platform/LastError.h"
#include "platform/Numbers.h"
#include "platform/Path.h"
#include "platform/RegistryStore.h"
#include "platform/Thread.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

constexpr int kMessagingModule = 49;
constexpr int kHighestPort = 65535;

ParamStream text(const std::string& value) {
  return ParamStream().addString(value);
}

// The path as the operator finds it on this system.
std::string native(const std::string& path) {
  return platform::toNativePath(path).value_or(path);
}

std::string systemError() {
  std::string text = platform::errorText(platform::lastError());
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

// Why a getter found no usable value, in words.
std::string keyProblem(int code) {
  switch (code) {
    case ConfReader::kNoValue:
      return "is a section, not a value";
    case ConfReader::kNotFound:
      return "is not set";
    case ConfReader::kWrongType:
      return "has the wrong type";
    case ConfReader::kBadBool:
      return "is neither true nor false";
    case ConfReader::kInvalid:
      return "is not a valid file name or time span";
    case ConfReader::kUnclosedReference:
      return "has a \"${\" without \"}\" or references that never end";
    case ConfReader::kBadSignature:
      return "names a file whose signature does not match";
    default:
      return "cannot be read";
  }
}

// Empty when the folder exists (it is created when missing) and a file can
// be written in it; otherwise why not. A folder the daemon cannot write
// would let it start and then lose every message or log line.
std::string folderProblem(const std::string& dir) {
  std::string bare = dir;
  FileUtils::stripTrailingSeparators(bare);
  if (FileOps::pathExists(bare) && !FileOps::isDirectory(bare)) return "is not a folder";
  if (!FileUtils::createDirectory(dir)) return "cannot be created: " + systemError();
  if (!FileOps::isDirectory(bare)) return "is not a folder";
  const std::string probe =
      bare + "/~relayhub-probe." + std::to_string(platform::processId()) + ".tmp";
  if (!FileUtils::writeFile(probe, std::string())) return "cannot be written: " + systemError();
  FileUtils::deleteFile(probe, true);
  return std::string();
}

}  // namespace

void RelayHub::missingKey(const std::string& key, int code) {
  HubLog::fatal(RelayHub::kMsgMissingKey, text(key));
  HubLog::console("configuration error: " + key + " " + keyProblem(code) + " in " +
                  native(configPath_));
}

// Reads a required directory key, adds the trailing separator, creates the
// directory when missing and makes sure files can be written in it.
bool RelayHub::requiredDirectory(const std::string& key, std::string& dir) {
  const int code = ConfReader::getDirName(logging_.configuration.get(), key, dir);
  if (code != ConfReader::kFound) {
    missingKey(key, code);
    return false;
  }
  FileUtils::addTrailingSeparator(dir);
  return usableDirectory(key, dir);
}

bool RelayHub::usableDirectory(const std::string& key, const std::string& dir) {
  const std::string problem = folderProblem(dir);
  if (problem.empty()) return true;
  HubLog::fatal(RelayHub::kMsgDirectory, text(dir));
  HubLog::console("configuration error: " + key + ": the folder " + native(dir) + " " + problem);
  return false;
}

bool RelayHub::configure() {
  if (wantsUsage()) {
    usage();
    std::exit(kExitUsage);
  }
  if (!configureDebugLog() || !configureFile()) return false;
  loadLogMessages();
  if (!configureDebugLevel() || !configurePort() || !configureMappings() ||
      !configureDirectories() || !configureConnections() || !configureApps() ||
      !configureBackup()) {
    return false;
  }
  if (!restoreBackup()) return false;  // another daemon holds the state folder
  configureConnectionsLog();
  return true;
}

bool RelayHub::wantsUsage() const {
  return CommandLine::hasOption(options_, "help") || CommandLine::hasOption(options_, "?");
}

void RelayHub::usage() {
  static const char* const kLines[] = {
      "Usage: relayhub [options]",
      "Options:",
      " --port <port>   : Specify which port to listen on (optional)",
      " --debug <level> : Specify a debug level [0-3], 0=none, 3=max",
      "",
      "Will run until you kill the process...",
      "",
  };
  for (const char* line : kLines) std::printf("%s\n", line);
  std::fflush(stdout);
}

bool RelayHub::configureDebugLog() {
  std::string name;
  if (SystemInfo::getResource("RelayHubDebugLog", name) != 0) name = "RelayHubDebugLog.log";
  logging_.debugLogName = name;
  logging_.messageFileModuleId = LogCommons::messageFileModuleId("RelayHub");
  logging_.moduleId = LogCommons::moduleId("RelayHub");
  if (logging_.messageFileModuleId == 0 || logging_.moduleId == LogCommons::kUnknownModule ||
      !logging_.startup()) {
    HubLog::console("the logging could not be started");
    return false;
  }
  HubLog::setUnit(logging_.unit.get());
  reportRegistryProblem();
  ConfReader* reader = nullptr;
  try {
    reader = new ConfReader(logging_.centre);
  } catch (const std::bad_alloc&) {
    reader = nullptr;
  }
  logging_.configuration = SmartPointer<ConfReader>(reader);
  if (logging_.configuration.isNull()) HubLog::console("out of memory");
  return !logging_.configuration.isNull();
}

// The registry store is read quietly (an unreadable file reads as missing
// values): tell the operator when the file of the resources does not parse.
void RelayHub::reportRegistryProblem() {
  const std::string problem =
      platform::RegistryStore::fileProblem(platform::RegistryRoot::kLocalMachine);
  if (problem.empty()) return;
  HubLog::error(kMsgRegistryUnreadable, text(problem));  // echoed on standard error
}

bool RelayHub::configureFile() {
  std::string path;
  if (!CommandLine::takeOption(options_, "c", path)) {
    if (SystemInfo::getResource("ConfigurationDir", path) != 0) {
      HubLog::debug(1, "Could not get configuration dir from system.");
      HubLog::console(
          "no configuration file: give one with -c FILE, or set the registry resource "
          "ConfigurationDir");
      return false;
    }
    FileUtils::collapseSeparators(path);
    FileUtils::addTrailingSeparator(path);
    path += "relayhub.conf";
  } else {
    path = platform::argumentPath(path);  // the file the native path names
  }
  configPath_ = path;
  // A missing or broken file fails later, through the required keys; the
  // operator learns the cause first.
  std::string ignored;
  if (!FileUtils::readFile(path, ignored)) {
    HubLog::console("the configuration file " + native(path) + " cannot be read: " + systemError());
  }
  logging_.configuration->load(path);
  if (const int line = logging_.configuration->errorLine(); line != 0) {
    HubLog::console("the configuration file " + native(path) + " has a syntax error on line " +
                    std::to_string(line) +
                    "; the entries it interrupts and all after it are not read");
  }
  return true;
}

void RelayHub::loadLogMessages() {
  HubLog::debug(1, "Loading log messages...");
  const ConfReader* reader = logging_.configuration.get();
  std::string dir;
  const int code = ConfReader::getDirName(reader, "Vemora.directories.conf", dir);
  if (code != ConfReader::kFound) {
    HubLog::error(kMsgDirectory, text("Vemora.directories.conf"));
    HubLog::console("Vemora.directories.conf " + keyProblem(code) + " in " + native(configPath_) +
                    ": no message catalogue, log lines show message numbers only");
    return;
  }
  std::string filter = LogCommons::moduleName(logging_.moduleId);
  StringOps::toLower(filter);
  filter += ",configuration,messaging";
  MessageLoadReport report;
  catalogue_.loadMessages(report, dir, filter);
  if (!report.ok) {
    HubLog::error(kMsgLoadFailed, text(report.error));
    HubLog::console("the message catalogues in " + native(dir) + " could not be loaded (" +
                    report.error + "): log lines show message numbers only");
    return;
  }
  auto count = report.counts.begin();
  for (const std::string& module : report.loaded) {
    const int n = count != report.counts.end() ? *count++ : 0;
    HubLog::debug(2, "Loaded %i messages for module \"%s\".",
                  ParamStream().addInt(n).addString(module));
  }
  if (report.loaded.empty()) HubLog::debug(1, "No log messages were loaded.");
  for (const std::string& module : report.rejected) {
    HubLog::debug(2, "Messages for module \"%s\" were rejected.", text(module));
  }
  LogMessenger::setCatalogue(&catalogue_);
}

bool RelayHub::configureDebugLevel() {
  logging_.configure();
  // The logging takes a log folder only when it can make it, and else logs
  // on where it was: a folder that cannot hold the log fails the start.
  std::string logDir;
  if (ConfReader::getDirName(logging_.configuration.get(), "Vemora.directories.log", logDir) ==
          ConfReader::kFound &&
      !usableDirectory("Vemora.directories.log", logDir)) {
    return false;
  }
  int32_t level = 0;
  if (ConfReader::getInteger(logging_.configuration.get(), "relayhub.log.debug-level", level) ==
      ConfReader::kFound) {
    LoggerUnit::setDebugLevel(level);
  }
  try {
    loggerInterface_ = std::make_unique<LoggerInterface>(logging_.centre, kMessagingModule);
  } catch (const std::bad_alloc&) {
    HubLog::fatal(kMsgNoMemory);
    return false;
  }
  HubLog::shell().setInterface(loggerInterface_.get());
  return true;
}

bool RelayHub::configurePort() {
  std::string value;
  if (CommandLine::takeOption(options_, "port", value)) {
    port_ = platform::atoi32(value.c_str());
  } else if (const int code =
                 ConfReader::getInteger(logging_.configuration.get(), "relayhub.port", port_);
             code != ConfReader::kFound) {
    missingKey("relayhub.port", code);
    return false;
  }
  // A port the system cannot bind would leave the daemon running without a
  // listener: refuse it here, where the user sees the failure.
  if (port_ < 1 || port_ > kHighestPort) {
    HubLog::fatal(kMsgMissingKey, text("relayhub.port"));
    HubLog::debug(1, "RelayHub::configurePort: Port %i is outside 1..65535",
                  ParamStream().addInt(port_));
    HubLog::console("configuration error: the port " + std::to_string(port_) +
                    " is outside 1..65535");
    return false;
  }
  std::string domain, architecture, os;
  InventoryOps::getSystemInfo(domain, hostName_, architecture, os);
  return true;
}

bool RelayHub::configureMappings() {
  if (!requiredDirectory("relayhub.mappings", mappingsDir_)) {
    return false;
  }
  mappingsFile_ = mappingsDir_ + "targetnames.mmap";
  mappingsFileTime_ = 0;
  return updateTargetAddrNamesMapFile();
}

bool RelayHub::configureDirectories() {
  return requiredDirectory("Vemora.directories.temp", tempDir_) &&
         requiredDirectory("Vemora.directories.bin", binDir_);
}

bool RelayHub::configureConnections() {
  const ConfReader* reader = logging_.configuration.get();
  if (const int code = ConfReader::getInteger(reader, "relayhub.max-connections", maxConnections_);
      code != ConfReader::kFound) {
    missingKey("relayhub.max-connections", code);
    return false;
  }
  if (maxConnections_ < 1) maxConnections_ = 1;
  agentsTimeout_ = 86400;
  TimeSpan::Parts parts;
  if (ConfReader::getTimeSpan(reader, "relayhub.agents-timeout", parts) == ConfReader::kFound) {
    try {
      agentsTimeout_ = TimeSpan(parts).seconds();
    } catch (const TimeException&) {
      // A span beyond 32 bits keeps the default.
    }
  }
  bool notify = true;
  if (ConfReader::getBool(reader, "relayhub.notify-agents", notify) == ConfReader::kFound) {
    notifyAgents_ = notify;
  }
  int32_t version = 0;
  if (ConfReader::getInteger(reader, "relayhub.preferred-protocol-version", version) ==
          ConfReader::kFound &&
      version > 0) {
    preferredVersion_ = version;
  }
  return true;
}

bool RelayHub::configureApps() {
  HubLog::debug(2, "RelayHub::configureApps: Configuring applications");
  const ConfReader* reader = logging_.configuration.get();
  std::list<std::string> names;
  if (ConfReader::getSubObjects(reader, "apps", names) != ConfReader::kFound) return true;
  for (const std::string& app : names) {
    std::list<std::string> entries;
    ConfReader::getSubObjects(reader, "apps." + app, entries);
    for (const std::string& name : entries) {
      const std::string base = "apps." + app + "." + name;
      bool active = false;
      if (ConfReader::getBool(reader, base + ".active", active) != ConfReader::kFound || !active) {
        continue;
      }
      AppEntry entry;
      if (const int code = ConfReader::getString(reader, base + ".key", entry.key, true, true);
          code != ConfReader::kFound) {
        missingKey(base + ".key", code);
        return false;
      }
      if (const int code =
              ConfReader::getFileName(reader, base + ".executable", entry.executable, false);
          code != ConfReader::kFound) {
        missingKey(base + ".executable", code);
        return false;
      }
      if (!FileOps::pathExists(entry.executable + ".exe")) {
        HubLog::fatal(kMsgNoProgram, text(base + ".executable").addString(entry.executable));
        return false;
      }
      apps_[app].push_back(entry);
    }
  }
  return true;
}

bool RelayHub::configureBackup() {
  HubLog::debug(2, "RelayHub::configureBackup: Configuring backup");
  // tempDir_ ends with a separator already; both stay in the path.
  backup_.setDirectory(tempDir_ + "/RelayHub");
  // The state store writes every placed message here: a folder it cannot
  // write would drop them all.
  return usableDirectory("Vemora.directories.temp", tempDir_ + "RelayHub/");
}

void RelayHub::configureConnectionsLog() {
  bool wanted = false;
  if (ConfReader::getBool(logging_.configuration.get(), "relayhub.connections-log", wanted) !=
          ConfReader::kFound ||
      !wanted) {
    return;
  }
  const std::string path = tempDir_ + "relayhub_connections.log";
  if (connectionsLog_.open(path)) {
    HubLog::debug(1, "Opened connections log file \"%s\"", text(path));
  } else {
    HubLog::warning(kMsgConnectionsLog, text(path));
  }
}

}  // namespace Vemora
