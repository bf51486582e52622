#include "corelib/SystemBase.h"

#include <cstdlib>
#include <list>
#include <set>
#include <vector>

#include "corelib/FileRegistry.h"
#include "corelib/FileTools.h"
#include "corelib/StringTools.h"
#include "corelib/SystemItemCache.h"
#include "corelib/SystemRequest.h"
#include "corelib/WinRegistry.h"
#include "platform/Path.h"

namespace VemoraCorelib {

namespace {

using StringTools::toString;

constexpr int32_t kStatusNotFound = 3;
constexpr int32_t kStatusWrongType = 4;
constexpr int32_t kStatusBadQuery = 5;
constexpr int32_t kStatusReadFailed = 6;
constexpr int32_t kStatusAccessDenied = 10;
constexpr int32_t kStatusWriteFailed = 11;

const std::string kSuiteKey = "SOFTWARE\\Vemora";
const std::string kWowSuiteKey = "SOFTWARE\\Wow6432Node\\Vemora";

template <typename Container>
void appendLines(std::string& text, const Container& entries) {
  for (const std::string& entry : entries) text += entry + "\n";
  // Only the separator just added goes, never a character of the caller's.
  if (!entries.empty()) text.pop_back();
}

std::string itemNumber(int item) {
  return toString(StringTools::toUInt64(SystemItemCache::getItem(item)));
}

// The single-text queries: true and `text` when `name` is one of them.
bool singleItem(const std::string& name, std::string& text) {
  static const std::vector<std::pair<std::string, int>> items = {
      {"hostname", SystemItemCache::kHostName},
      {"machinename", SystemItemCache::kMachineName},
      {"platform", SystemItemCache::kPlatform},
      {"os", SystemItemCache::kOsName},
      {"oslang", SystemItemCache::kSystemLanguage},
      {"keyboardlang", SystemItemCache::kKeyboardLanguage},
      {"keyboardtype", SystemItemCache::kKeyboardType},
      {"arch", SystemItemCache::kArchitecture},
      {"domain", SystemItemCache::kDomain},
      {"currentuser", SystemItemCache::kCurrentUser},
  };
  for (const auto& [itemName, item] : items) {
    if (itemName == name) {
      text = SystemItemCache::getItem(item);
      return true;
    }
  }
  if (name == "osversion") text = itemNumber(SystemItemCache::kOsVersion);
  if (name == "osbits") text = itemNumber(SystemItemCache::kOsBits);
  return name == "osversion" || name == "osbits";
}

// The queries that take the argument after the first '.'.
bool listOrArgumentItem(const std::string& name, const std::string& argument, std::string& text) {
  if (name == "groups") {
    appendLines(text, SystemItemCache::localGroups());
  } else if (name == "groupusers") {
    appendLines(
        text, argument.empty() ? std::set<std::string>() : SystemItemCache::groupMembers(argument));
  } else if (name == "usergroups") {
    appendLines(text, SystemItemCache::userGroups(argument));
  } else if (name == "ip") {
    appendLines(text, SystemItemCache::ipAddresses());
  } else if (name == "diskserial") {
    text = SystemItemCache::diskSerial(argument);
  } else {
    return false;
  }
  return true;
}

int systemQuery(SystemRequest& request) {
  const size_t dot = request.key.find('.');
  const std::string argument = dot == std::string::npos ? "" : request.key.substr(dot + 1);
  if (dot != std::string::npos) request.key.erase(dot);
  std::string& text = *std::get<std::string*>(request.value);
  if (singleItem(request.key, text) || listOrArgumentItem(request.key, argument, text)) {
    return ImsAgent::kHandledStop;
  }
  request.status = kStatusNotFound;
  return ImsAgent::kHandled;
}

int32_t fileRegistryStatus(int code) {
  if (code == FileRegistry::kDone) return 0;
  if (code == FileRegistry::kBadArgument || code == FileRegistry::kNotFound) {
    return kStatusNotFound;
  }
  if (code == FileRegistry::kWrongType) return kStatusWrongType;
  return kStatusReadFailed;
}

int fileRegistryRead(SystemRequest& request) {
  int code = FileRegistry::kBadArgument;
  switch (request.subType) {
    case SystemRequest::kInt64:
      code = FileRegistry::getInt(request.key, *std::get<int64_t*>(request.value));
      break;
    case SystemRequest::kUint64:
      code = FileRegistry::getUint(request.key, *std::get<uint64_t*>(request.value));
      break;
    case SystemRequest::kDouble:
      code = FileRegistry::getDouble(request.key, *std::get<double*>(request.value));
      break;
    case SystemRequest::kString:
      code = FileRegistry::get(request.key, FileRegistry::kString,
                               *std::get<std::string*>(request.value));
      break;
    default: {
      std::vector<std::string> items;
      code = FileRegistry::getList(request.key, items);
      if (code == FileRegistry::kDone) {
        std::get<std::list<std::string>*>(request.value)->assign(items.begin(), items.end());
      }
    }
  }
  const int32_t status = fileRegistryStatus(code);
  if (status != 0) request.status = status;
  return ImsAgent::kHandledStop;
}

int fileRegistryWrite(SystemRequest& request) {
  int code = FileRegistry::kBadArgument;
  const std::string& key = request.key;
  switch (request.subType) {
    case SystemRequest::kInt64:
      code =
          FileRegistry::set(key, FileRegistry::kInt, toString(*std::get<int64_t*>(request.value)));
      break;
    case SystemRequest::kUint64:
      code = FileRegistry::set(key, FileRegistry::kUint,
                               toString(*std::get<uint64_t*>(request.value)));
      break;
    case SystemRequest::kDouble:
      code = FileRegistry::set(key, FileRegistry::kDouble,
                               toString(*std::get<double*>(request.value)));
      break;
    case SystemRequest::kString:
      code = FileRegistry::set(key, FileRegistry::kString, *std::get<std::string*>(request.value));
      break;
    default: {
      const auto* list = std::get<std::list<std::string>*>(request.value);
      code = FileRegistry::setList(key, std::vector<std::string>(list->begin(), list->end()));
    }
  }
  const int32_t status = fileRegistryStatus(code);
  if (status != 0) request.status = status;
  return ImsAgent::kHandledStop;
}

// Root, directory and value name of a registry request.
struct RegistryPlace {
  std::string root;
  std::string directory;
  std::string valueName;
};

RegistryPlace placeOf(const SystemRequest& request) {
  RegistryPlace place;
  place.root =
      request.perUser && SystemItemCache::getItem(SystemItemCache::kCurrentUser) != "SYSTEM"
          ? "HKEY_CURRENT_USER"
          : "HKEY_LOCAL_MACHINE";
  const size_t slash = request.key.rfind('\\');
  place.valueName = slash == std::string::npos ? request.key : request.key.substr(slash + 1);
  if (slash != std::string::npos) place.directory = request.key.substr(0, slash);
  return place;
}

std::string underKey(const std::string& base, const std::string& directory) {
  return directory.empty() ? base : base + "\\" + directory;
}

void readValue(const RegistryPlace& place, const std::string& key, SystemRequest& request) {
  if (request.subType == SystemRequest::kList) {
    *std::get<std::list<std::string>*>(request.value) =
        WinRegistry::getList(place.root, key, place.valueName, false);
    return;
  }
  const std::string text = WinRegistry::getString(place.root, key, place.valueName, false);
  switch (request.subType) {
    case SystemRequest::kInt64:
      *std::get<int64_t*>(request.value) = StringTools::toInt64(text);
      break;
    case SystemRequest::kUint64:
      *std::get<uint64_t*>(request.value) = StringTools::toUInt64(text);
      break;
    case SystemRequest::kDouble:
      *std::get<double*>(request.value) = std::atof(text.c_str());
      break;
    default:
      *std::get<std::string*>(request.value) = text;
  }
}

// The plain key first; a miss there is tried once more in the 32-bit view.
void readWithFallback(const RegistryPlace& place, SystemRequest& request) {
  const std::string prefix = kSuiteKey + "\\" + SystemBase::role();
  std::string key = underKey(prefix, place.directory);
  try {
    readValue(place, key, request);
  } catch (const WinRegistry::Get_NotFound&) {
    const size_t at = key.find(prefix);
    if (at == std::string::npos) throw;
    key.replace(at, prefix.size(), kWowSuiteKey + "\\" + SystemBase::role());
    readValue(place, key, request);
  }
}

int winRegistryRead(SystemRequest& request) {
  try {
    readWithFallback(placeOf(request), request);
  } catch (const WinRegistry::Get_NotFound&) {
    request.status = kStatusNotFound;
  } catch (const WinRegistry::Get_BadArguments&) {
    request.status = kStatusNotFound;
  } catch (const WinRegistry::Get_WrongType&) {
    request.status = kStatusWrongType;
  } catch (const Exception&) {  // out of memory, access denied, any other
    request.status = kStatusReadFailed;
  }
  return ImsAgent::kHandledStop;
}

void writeValue(const SystemRequest& request) {
  const RegistryPlace place = placeOf(request);
  const std::string key = underKey(kSuiteKey, place.directory);
  std::string text;
  switch (request.subType) {
    case SystemRequest::kInt64:
      text = toString(*std::get<int64_t*>(request.value));
      break;
    case SystemRequest::kUint64:
      text = toString(*std::get<uint64_t*>(request.value));
      break;
    case SystemRequest::kDouble:
      text = toString(*std::get<double*>(request.value));
      break;
    case SystemRequest::kString:
      text = *std::get<std::string*>(request.value);
      break;
    default:
      WinRegistry::setList(place.root, key, place.valueName,
                           *std::get<std::list<std::string>*>(request.value), false);
      return;
  }
  WinRegistry::setString(place.root, key, place.valueName, text, false);
}

int winRegistryWrite(SystemRequest& request) {
  try {
    writeValue(request);
  } catch (const WinRegistry::Set_AccessDenied&) {
    request.status = kStatusAccessDenied;
  } catch (const Exception&) {  // bad arguments, out of memory, any other
    request.status = kStatusWriteFailed;
  }
  return ImsAgent::kHandledStop;
}

bool isTypedValue(int32_t subType) {
  return subType >= SystemRequest::kInt64 && subType <= SystemRequest::kList;
}

}  // namespace

SystemBase::SystemBase_FailedToSetIMSHook::SystemBase_FailedToSetIMSHook(const std::string& context,
                                                                         const Exception& nested)
    : Exception(context, nested) {
  setName("SystemBase_FailedToSetIMSHook");
}

SystemBase::SystemBase() : ImsAgent("system-base") {
  try {
    queryHook_ = setMessageHook(false, "system", "query", "", 1);
    setHook_ = setMessageHook(false, "system", "set", "", 1);
  } catch (const Exception& caught) {
    // No hook may outlive the agent that failed to be built.
    if (queryHook_ != 0) removeMessageHook(queryHook_);
    throw SystemBase_FailedToSetIMSHook(VEMORA_CORELIB_SOURCE_CONTEXT(), caught);
  }
}

SystemBase::~SystemBase() {
  for (uint64_t hook : {queryHook_, setHook_}) {
    try {
      if (hook != 0) removeMessageHook(hook);
    } catch (const Exception&) {
    }
  }
}

std::string SystemBase::role() {
  return roleOf(platform::programPath());
}

std::string SystemBase::roleOf(const std::string& program) {
  std::string path = FileTools::root(program) + "/" + FileTools::directoryPart(program) +
                     "/../Configuration/server.conf";
  FileTools::toBackslashes(path);
  return FileTools::exists(path) ? "CoreServer" : "Client";
}

int SystemBase::handleHookMessage(uint64_t hookId, ImsMessage& message) {
  if (hookId != 0 && (hookId == queryHook_ || hookId == setHook_)) {
    return SystemBase::handleMessage(message);
  }
  return kNotHandled;
}

int SystemBase::handleMessage(ImsMessage& message) {
  if (message.generalType != "system") return kNotHandled;
  auto* request = dynamic_cast<SystemRequest*>(message.parameter);
  if (request == nullptr) return kNotHandled;  // not a request: nothing to answer into
  if (message.groupType == "query") return handleQuery(*request);
  if (message.groupType == "set") return handleSet(*request);
  return kNotHandled;
}

int SystemBase::handleQuery(SystemRequest& request) {
  if (!request.valueMatchesSubType()) {
    request.status = kStatusBadQuery;
    return kHandled;
  }
  if (request.subType == SystemRequest::kQuery) return systemQuery(request);
  return FileRegistry::useFileRegistry() ? fileRegistryRead(request) : winRegistryRead(request);
}

int SystemBase::handleSet(SystemRequest& request) {
  if (!isTypedValue(request.subType) || !request.valueMatchesSubType()) {
    request.status = kStatusWriteFailed;
    return kHandledStop;
  }
  return FileRegistry::useFileRegistry() ? fileRegistryWrite(request) : winRegistryWrite(request);
}

}  // namespace VemoraCorelib
