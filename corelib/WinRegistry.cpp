#include "corelib/WinRegistry.h"

#include <map>
#include <new>
#include <vector>

#include "corelib/Environment.h"
#include "corelib/ParamStream.h"
#include "platform/RegistryStore.h"

namespace VemoraCorelib {

namespace {

using platform::RegistryRoot;
using platform::RegistryStore;

constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kNotFound = 1168;
constexpr uint32_t kOutOfMemory = 14;
constexpr uint32_t kMoreData = 234;
constexpr uint32_t kInvalidFunction = 1;
constexpr uint32_t kFirstBufferSize = 256;
const std::string kResourcePrefix = "SOFTWARE\\Vemora\\Resources";

// The performance-data root has no store here: opening or creating under it
// fails like an unknown error rather than a bad name.
struct RootEntry {
  bool known = false;
  bool stored = false;
  RegistryRoot root = RegistryRoot::kLocalMachine;
};

const std::map<std::string, RootEntry>& rootTable() {
  static const std::map<std::string, RootEntry> table = {
      {"HKEY_CLASSES_ROOT", {true, true, RegistryRoot::kClassesRoot}},
      {"HKEY_CURRENT_USER", {true, true, RegistryRoot::kCurrentUser}},
      {"HKEY_LOCAL_MACHINE", {true, true, RegistryRoot::kLocalMachine}},
      {"HKEY_USERS", {true, true, RegistryRoot::kUsers}},
      {"HKEY_PERFORMANCE_DATA", {true, false, RegistryRoot::kLocalMachine}},
      {"HKEY_CURRENT_CONFIG", {true, true, RegistryRoot::kCurrentConfig}},
  };
  return table;
}

RootEntry lookUpRoot(const std::string& name) {
  const auto found = rootTable().find(name);
  return found == rootTable().end() ? RootEntry{} : found->second;
}

ParamStream arguments(const std::string& first) {
  ParamStream stream;
  stream << first;
  return stream;
}

ParamStream arguments(const std::string& first, const std::string& second) {
  ParamStream stream;
  stream << first << second;
  return stream;
}

[[noreturn]] void throwSetFailure(uint32_t code, const std::string& first,
                                  const std::string& second) {
  if (code == kAccessDenied) {
    throw WinRegistry::Set_AccessDenied(
        "@winregistry.set.access-denied{Access denied when trying to set \"%\"->\"%\"};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(first, second));
  }
  if (code == kOutOfMemory) {
    throw WinRegistry::Set_OutOfMemory("@out-of-memory{Out of memory};",
                                       VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  throw WinRegistry::Set_UnknownError(
      "@winregistry.set.unknown-error{Unknown error when trying to set \"%\"->\"%\"};",
      VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(first, second));
}

[[noreturn]] void throwOpenFailure(uint32_t code, const std::string& root, const std::string& key) {
  if (code == kAccessDenied) {
    throw WinRegistry::Get_AccessDenied(
        "@winregistry.get.access-denied{Access denied when trying to get \"%\"->\"%\"};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(root, key));
  }
  if (code == kFileNotFound || code == kNotFound) {
    throw WinRegistry::Get_NotFound(
        "@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(root, key));
  }
  if (code == kOutOfMemory) {
    throw WinRegistry::Get_OutOfMemory("@out-of-memory{Out of memory};",
                                       VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  throw WinRegistry::Get_UnknownError(
      "@winregistry.get.unknown-error{Unknown error when trying to get \"%\"->\"%\"};",
      VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(root, key));
}

void writeValue(const std::string& root, const std::string& key, const std::string& valueName,
                uint32_t type, const std::string& bytes) {
  const RootEntry entry = lookUpRoot(root);
  if (!entry.known) {
    throw WinRegistry::Set_BadArguments("@winregistry.set.bad-arguments{Invalid argument \"%\"};",
                                        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(root));
  }
  const std::string resolved = WinRegistry::resolveKey(key);
  RegistryStore::Key handle;
  const uint32_t created =
      entry.stored ? RegistryStore::createKey(entry.root, resolved, &handle) : kInvalidFunction;
  if (created != 0) throwSetFailure(created, root, resolved);
  const uint32_t set = RegistryStore::setValue(handle, valueName, type,
                                               reinterpret_cast<const uint8_t*>(bytes.data()),
                                               static_cast<uint32_t>(bytes.size()));
  if (set != 0) throwSetFailure(set, root + "\\" + key, valueName);
}

// The value's bytes with every trailing NUL dropped; `type` is its type.
std::string readValue(const std::string& root, const std::string& key, const std::string& valueName,
                      uint32_t& type) {
  const RootEntry entry = lookUpRoot(root);
  if (!entry.known) {
    throw WinRegistry::Get_BadArguments("@winregistry.get.bad-arguments{Invalid argument \"%\"};",
                                        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(root));
  }
  const std::string resolved = WinRegistry::resolveKey(key);
  RegistryStore::Key handle;
  const uint32_t opened =
      entry.stored ? RegistryStore::openKey(entry.root, resolved, &handle) : kInvalidFunction;
  if (opened != 0) throwOpenFailure(opened, root, resolved);
  std::vector<uint8_t> buffer;
  uint32_t size = kFirstBufferSize;
  uint32_t result = kMoreData;
  while (result == kMoreData) {
    try {
      buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
      throw WinRegistry::Get_OutOfMemory("@out-of-memory{Out of memory};",
                                         VEMORA_CORELIB_SOURCE_CONTEXT());
    }
    result = RegistryStore::queryValue(handle, valueName, &type, buffer.data(), &size);
  }
  if (result != 0) {
    throw WinRegistry::Get_NotFound(
        "@winregistry.get.not-found{Could not find registry key \"%\"->\"%\"};",
        VEMORA_CORELIB_SOURCE_CONTEXT(), arguments(root + "\\" + key, valueName));
  }
  std::string text(buffer.begin(), buffer.begin() + size);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void checkType(const std::string& root, const std::string& key, const std::string& valueName,
               uint32_t expected, uint32_t stored) {
  if (expected == stored) return;
  ParamStream stream;
  stream << (root + "\\" + key) << valueName << expected << stored;
  throw WinRegistry::Get_WrongType(
      "@winregistry.get.wrong-type{Cannot get \"%\"->\"%\" of type % because the actual type is "
      "%};",
      VEMORA_CORELIB_SOURCE_CONTEXT(), stream);
}

}  // namespace

std::string WinRegistry::resolveKey(const std::string& key) {
  std::string resolved = key;
  for (char& c : resolved) {
    if (c == '/') c = '\\';
  }
  std::string environment;
  if (resolved.compare(0, kResourcePrefix.size(), kResourcePrefix) == 0 &&
      getEnvironmentVariable("VEMORA_ENV", environment)) {
    resolved = environment + resolved.substr(kResourcePrefix.size());
  }
  return resolved;
}

void WinRegistry::setString(const std::string& root, const std::string& key,
                            const std::string& valueName, const std::string& text, bool) {
  writeValue(root, key, valueName, platform::kRegSz, text + '\0');
}

void WinRegistry::setList(const std::string& root, const std::string& key,
                          const std::string& valueName, const std::list<std::string>& items, bool) {
  std::string bytes;
  for (const std::string& item : items) bytes += item + '\0';
  bytes += '\0';
  writeValue(root, key, valueName, platform::kRegMultiSz, bytes);
}

std::string WinRegistry::getString(const std::string& root, const std::string& key,
                                   const std::string& valueName, bool) {
  uint32_t type = 0;
  std::string text = readValue(root, key, valueName, type);
  checkType(root, key, valueName, platform::kRegSz, type);
  return text;
}

std::list<std::string> WinRegistry::getList(const std::string& root, const std::string& key,
                                            const std::string& valueName, bool) {
  uint32_t type = 0;
  const std::string text = readValue(root, key, valueName, type);
  checkType(root, key, valueName, platform::kRegMultiSz, type);
  std::list<std::string> items;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\0', start);
    const std::string item = text.substr(start, end == std::string::npos ? end : end - start);
    if (item.empty()) break;
    items.push_back(item);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return items;
}

}  // namespace VemoraCorelib
