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
#include "platform/Numbers.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

constexpr int kMessagingModule = 49;
constexpr int kHighestPort = 65535;

ParamStream text(const std::string& value) {
  return ParamStream().addString(value);
}

void missingKey(const std::string& key) {
  HubLog::fatal(RelayHub::kMsgMissingKey, text(key));
}

// Reads a required directory key, adds the trailing separator and creates
// the directory when missing.
bool requiredDirectory(const ConfReader* reader, const std::string& key, std::string& dir) {
  if (ConfReader::getDirName(reader, key, dir) != ConfReader::kFound) {
    missingKey(key);
    return false;
  }
  FileUtils::addTrailingSeparator(dir);
  if (!FileUtils::createDirectory(dir)) {
    HubLog::fatal(RelayHub::kMsgDirectory, text(dir));
    return false;
  }
  return true;
}

}  // namespace

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
  if (logging_.messageFileModuleId == 0) return false;
  logging_.moduleId = LogCommons::moduleId("RelayHub");
  if (logging_.moduleId == LogCommons::kUnknownModule) return false;
  if (!logging_.startup()) return false;
  HubLog::setUnit(logging_.unit.get());
  ConfReader* reader = nullptr;
  try {
    reader = new ConfReader(logging_.centre);
  } catch (const std::bad_alloc&) {
    return false;
  }
  logging_.configuration = SmartPointer<ConfReader>(reader);
  return !logging_.configuration.isNull();
}

bool RelayHub::configureFile() {
  std::string path;
  if (!CommandLine::takeOption(options_, "c", path)) {
    if (SystemInfo::getResource("ConfigurationDir", path) != 0) {
      HubLog::debug(1, "Could not get configuration dir from system.");
      return false;
    }
    FileUtils::collapseSeparators(path);
    FileUtils::addTrailingSeparator(path);
    path += "relayhub.conf";
  }
  // A missing or broken file fails later, through the required keys.
  logging_.configuration->load(path);
  return true;
}

void RelayHub::loadLogMessages() {
  HubLog::debug(1, "Loading log messages...");
  const ConfReader* reader = logging_.configuration.get();
  std::string dir;
  if (ConfReader::getDirName(reader, "Vemora.directories.conf", dir) != ConfReader::kFound) {
    HubLog::error(kMsgDirectory, text("Vemora.directories.conf"));
    return;
  }
  std::string filter = LogCommons::moduleName(logging_.moduleId);
  StringOps::toLower(filter);
  filter += ",configuration,messaging";
  MessageLoadReport report;
  catalogue_.loadMessages(report, dir, filter);
  if (!report.ok) {
    HubLog::error(kMsgLoadFailed, text(report.error));
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
  } else if (ConfReader::getInteger(logging_.configuration.get(), "relayhub.port", port_) !=
             ConfReader::kFound) {
    missingKey("relayhub.port");
    return false;
  }
  // A port the system cannot bind would leave the daemon running without a
  // listener: refuse it here, where the user sees the failure.
  if (port_ < 1 || port_ > kHighestPort) {
    HubLog::fatal(kMsgMissingKey, text("relayhub.port"));
    HubLog::debug(1, "RelayHub::configurePort: Port %i is outside 1..65535",
                  ParamStream().addInt(port_));
    return false;
  }
  std::string domain, architecture, os;
  InventoryOps::getSystemInfo(domain, hostName_, architecture, os);
  return true;
}

bool RelayHub::configureMappings() {
  if (!requiredDirectory(logging_.configuration.get(), "relayhub.mappings", mappingsDir_)) {
    return false;
  }
  mappingsFile_ = mappingsDir_ + "targetnames.mmap";
  mappingsFileTime_ = 0;
  return updateTargetAddrNamesMapFile();
}

bool RelayHub::configureDirectories() {
  const ConfReader* reader = logging_.configuration.get();
  return requiredDirectory(reader, "Vemora.directories.temp", tempDir_) &&
         requiredDirectory(reader, "Vemora.directories.bin", binDir_);
}

bool RelayHub::configureConnections() {
  const ConfReader* reader = logging_.configuration.get();
  if (ConfReader::getInteger(reader, "relayhub.max-connections", maxConnections_) !=
      ConfReader::kFound) {
    missingKey("relayhub.max-connections");
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
      if (ConfReader::getString(reader, base + ".key", entry.key, true, true) !=
          ConfReader::kFound) {
        missingKey(base + ".key");
        return false;
      }
      if (ConfReader::getFileName(reader, base + ".executable", entry.executable, false) !=
          ConfReader::kFound) {
        missingKey(base + ".executable");
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
  return true;
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
