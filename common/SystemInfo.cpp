#include "common/SystemInfo.h"

#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "platform/Env.h"
#include "platform/RegistryStore.h"
#include "platform/SystemInfo.h"

namespace Vemora {

namespace {

using platform::RegistryRoot;
using platform::RegistryStore;

struct Hives {
  std::mutex mutex;
  std::map<std::string, RegistryRoot> table{
      {"HKEY_CLASSES_ROOT", RegistryRoot::kClassesRoot},
      {"HKEY_CURRENT_CONFIG", RegistryRoot::kCurrentConfig},
      {"HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
      {"HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine},
      {"HKEY_USERS", RegistryRoot::kUsers},
  };
  std::string current = "HKEY_LOCAL_MACHINE";
};

Hives& hives() {
  static Hives* h = new Hives;
  return *h;
}

RegistryRoot currentRoot() {
  Hives& h = hives();
  std::lock_guard<std::mutex> lock(h.mutex);
  return h.table.at(h.current);
}

bool wow64View() {
  return platform::SystemInfo::isWow64();
}

// The value's type and bytes: 0, 1 (no memory), 2 (missing or unreadable).
int queryBytes(const std::string& key, const std::string& valueName, uint32_t& type,
               std::vector<uint8_t>& bytes) {
  RegistryStore::Key handle;
  if (RegistryStore::openKey(currentRoot(), key, &handle) != 0) return 2;
  try {
    bytes.assign(100, 0);
    for (;;) {
      uint32_t size = static_cast<uint32_t>(bytes.size());
      const uint32_t rc = RegistryStore::queryValue(handle, valueName, &type, bytes.data(), &size);
      if (rc == 0) {
        bytes.resize(size);
        return 0;
      }
      if (rc != 234) return 2;
      bytes.assign(size, 0);
    }
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

int readRaw(const std::string& key, const std::string& valueName, std::string& text) {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  const int rc = queryBytes(key, valueName, type, bytes);
  if (rc != 0) return rc;
  if (type != platform::kRegSz && type != platform::kRegExpandSz && type != platform::kRegMultiSz) {
    return 3;
  }
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  text.assign(bytes.begin(), bytes.end());
  return 0;
}

void expand(std::string& text, int depth);

// A resource read with its references expanded below `depth`.
int readResource(const std::string& name, std::string& text, int depth) {
  const int rc = readRaw(SystemInfo::resourceKey(), name, text);
  if (rc == 0) expand(text, depth);
  return rc;
}

// Replaces each "${Name}" by the resource Name. References inside inserted
// values are expanded up to kMaxReferenceDepth levels, deeper ones stay as
// text, so a resource that refers to itself ends. The search goes on behind
// each inserted value.
void expand(std::string& text, int depth) {
  size_t pos = text.find("${");
  while (pos != std::string::npos) {
    if (pos + 3 >= text.size()) return;
    const size_t close = text.find('}', pos + 2);
    if (close == std::string::npos) return;
    size_t next = close;
    std::string value;
    if (depth < SystemInfo::kMaxReferenceDepth &&
        readResource(text.substr(pos + 2, close - pos - 2), value, depth + 1) == 0) {
      text.replace(pos, close - pos + 1, value);
      next = pos + value.size();
    }
    pos = text.find("${", next);
  }
}

}  // namespace

std::string SystemInfo::resourceKey() {
  const auto env = platform::getEnv("VEMORA_ENV");
  return env ? *env : std::string(kResourceKey);
}

int SystemInfo::readString(const std::string& key, const std::string& valueName, std::string& text,
                           bool /*wow64: the store has one view*/) {
  std::string value;
  const int rc = readRaw(key, valueName, value);
  if (rc != 0) return rc;
  expand(value, 0);
  text = value;
  return 0;
}

int SystemInfo::readDword(const std::string& key, const std::string& valueName, uint32_t& value,
                          bool /*wow64*/) {
  RegistryStore::Key handle;
  if (RegistryStore::openKey(currentRoot(), key, &handle) != 0) return 2;
  uint8_t buffer[100] = {};
  uint32_t size = sizeof buffer;
  uint32_t type = 0;
  if (RegistryStore::queryValue(handle, valueName, &type, buffer, &size) != 0) return 2;
  if (type != platform::kRegDword) return 3;
  value = static_cast<uint32_t>(buffer[0]) | static_cast<uint32_t>(buffer[1]) << 8 |
          static_cast<uint32_t>(buffer[2]) << 16 | static_cast<uint32_t>(buffer[3]) << 24;
  return 0;
}

int SystemInfo::writeValue(const std::string& key, const std::string& valueName, uint32_t type,
                           const void* data, uint32_t size, bool /*wow64*/) {
  RegistryStore::Key handle;
  if (RegistryStore::createKey(currentRoot(), key, &handle) != 0) return 1;
  if (RegistryStore::setValue(handle, valueName, type, static_cast<const uint8_t*>(data), size) !=
      0) {
    return 1;
  }
  return 0;
}

int SystemInfo::getResource(const std::string& name, std::string& text) {
  return readString(resourceKey(), name, text, wow64View());
}

int SystemInfo::getResourceDword(const std::string& name, uint32_t& value) {
  return readDword(resourceKey(), name, value, wow64View());
}

int SystemInfo::setResource(const std::string& name, const std::string& text) {
  return writeValue(resourceKey(), name, platform::kRegSz, text.c_str(),
                    static_cast<uint32_t>(text.size() + 1), wow64View());
}

bool SystemInfo::selectHive(const std::string& hiveName) {
  Hives& h = hives();
  std::lock_guard<std::mutex> lock(h.mutex);
  if (h.table.find(hiveName) == h.table.end()) return false;
  h.current = hiveName;
  return true;
}

std::string SystemInfo::currentHive() {
  Hives& h = hives();
  std::lock_guard<std::mutex> lock(h.mutex);
  return h.current;
}

}  // namespace Vemora
