// Target-name mapping: the user mappings file turns agent names into
// standard names; a message for a name whose standard name has learned
// local names goes to each of those names instead.
#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "common/MonopolyGuard.h"
#include "common/StringOps.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

constexpr const char* kUpdate = "RelayHub::updateTargetAddrNamesMapFile: ";

ParamStream text(const std::string& value) {
  return ParamStream().addString(value);
}

// Cuts a line at its first "=" into the pattern and the replacement.
void splitLine(std::string line, std::string& left, std::string& right) {
  left = StringOps::cutToken(line, '=');
  right = line;
  StringOps::trimRight(left);
  StringOps::trimLeft(right);
}

}  // namespace

bool RelayHub::updateTargetAddrNamesMapFile() {
  if (mappingsFileTime_ > 0 && !FileOps::pathExists(mappingsFile_)) {
    const size_t count = copyMappings().size();
    if (count > 0) {
      HubLog::debug(1,
                    std::string(kUpdate) +
                        "Found no map file but had %i mapping(s) from before (to be cleared out)",
                    ParamStream().addInt(static_cast<int32_t>(count)));
    }
    MonopolyGuard guard(mappingLock_);
    mappings_.clear();
    backup_.clearNameMap();
    mappingsFileTime_ = 0;
    return true;
  }
  const int32_t t = FileUtils::modificationTime(mappingsFile_).seconds();
  if (t == mappingsFileTime_) return true;
  mappingsFileTime_ = t;
  HubLog::debug(2, std::string(kUpdate) + "Updating user mappings file \"%s\"",
                text(mappingsFile_));
  return readMapFile();
}

bool RelayHub::readNextLine(BasicFile& file, std::string& line, int32_t& lineNumber) {
  while (true) {
    line = file.readLine();
    if (file.lastError() != 0) return false;
    ++lineNumber;
    StringOps::trim(line);
    if (!line.empty() && line[0] != '#') return true;
  }
}

bool RelayHub::readMapFile() {
  HubLog::debug(2, "RelayHub::readMapFile: Reading map file \"%s\"", text(mappingsFile_));
  BasicFile file;
  if (!file.open(mappingsFile_, 1)) {
    HubLog::error(kMsgMappingsUnreadable, text(mappingsFile_));
    return false;
  }
  std::list<TargetMapping> list;
  std::string line, left, right;
  int32_t lineNumber = 0;
  while (readNextLine(file, line, lineNumber)) {
    splitLine(line, left, right);
    TargetMapping mapping;
    if (left.empty() || right.empty() || !mapping.set(left, right)) {
      HubLog::warning(kMsgMappingLine, ParamStream().addInt(lineNumber).addString(mappingsFile_));
      continue;
    }
    list.push_back(mapping);
    HubLog::debug(3, "RelayHub::readMapFile: Registered general mapping from \"%s\" to \"%s\"",
                  ParamStream().addString(left).addString(right));
  }
  file.close();
  if (list.empty()) HubLog::warning(kMsgNoMappings, text(mappingsFile_));
  {
    MonopolyGuard guard(mappingLock_);
    mappings_.swap(list);
  }
  HubLog::debug(4, "RelayHub::readMapFile: Finished reading map file \"%s\"", text(mappingsFile_));
  return true;
}

std::list<TargetMapping> RelayHub::copyMappings() {
  MonopolyGuard guard(mappingLock_);
  return mappings_;
}

std::string RelayHub::mapName(const std::string& name) {
  for (const TargetMapping& mapping : copyMappings()) {
    std::string standard = mapping.apply(name);
    if (!standard.empty()) return standard;
  }
  return "";
}

std::string RelayHub::localToStandardName(const std::string& name) {
  HubLog::debug(4, "RelayHub::localToStandardName: Trying to map local name \"%s\"", text(name));
  const std::string standard = mapName(name);
  if (standard.empty()) {
    HubLog::debug(4, "RelayHub::localToStandardName: Found no mapping for local name \"%s\"",
                  text(name));
  } else {
    HubLog::debug(4, "RelayHub::localToStandardName: Mapped local \"%s\" to standard \"%s\"",
                  ParamStream().addString(name).addString(standard));
  }
  return standard;
}

std::set<std::string> RelayHub::getLocalNames(const std::string& standard) {
  std::set<std::string> names = backup_.getLocalNames(standard);
  if (names.empty()) HubLog::debug(4, "RelayHub::getLocalNames:    No local name found");
  return names;
}

bool RelayHub::runTargetMappings(const Message& msg, bool& stored) {
  HubLog::debug(4, "RelayHub::runTargetMappings: Checking \"%s\"", text(msg.getTarget().name));
  // Mapping patterns are lower case, as the agents' own names are.
  const std::string standard = localToStandardName(msg.getTarget().lowered().name);
  if (standard.empty()) return false;
  const std::set<std::string> locals = getLocalNames(standard);
  if (locals.empty()) return false;
  stored = sendToTargets(msg, locals, standard);
  HubLog::debug(5, "RelayHub::runTargetMappings:    End");
  return true;
}

bool RelayHub::sendToTargets(const Message& msg, const std::set<std::string>& locals,
                             const std::string& standard) {
  bool stored = true;
  for (const std::string& local : locals) {
    Message copy = msg;
    copy.setTarget(Address(local, msg.getTarget().host));
    HubLog::debug(5, "RelayHub::sendToTargets: Mapped standard \"%s\" to local \"%s\"",
                  ParamStream().addString(standard).addString(local));
    stored = place(copy, false) && stored;
  }
  return stored;
}

}  // namespace Vemora
