#include "corelib/SystemItemCache.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

#include "corelib/Environment.h"
#include "corelib/Exception.h"
#include "corelib/StringTools.h"
#include "corelib/WinRegistry.h"
#include "platform/Path.h"
#include "platform/SystemInfo.h"

namespace VemoraCorelib {

namespace {

using platform::SystemInfo;
using StringTools::padLeft;
using StringTools::toString;

const std::string kUnknown = "[unknown]";
constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kDomainController = 2;
constexpr uint8_t kServer = 3;
constexpr uint16_t kSuitePersonal = 0x200;

std::map<int, std::string>& store() {
  static std::map<int, std::string> items;
  return items;
}

// The system base answers on every sender's thread, so the store is
// guarded although its queries usually come from one thread.
std::mutex& storeLock() {
  static std::mutex lock;
  return lock;
}

bool& collected() {
  static bool done = false;
  return done;
}

std::string servicePackPart(uint32_t servicePack) {
  return servicePack == 0 ? "" : "_sp" + toString(servicePack);
}

std::string architecturePart(uint16_t architecture) {
  if (architecture == 9) return "_x64";
  if (architecture == 6) return "_ia64";
  return "";
}

std::string architectureName(uint16_t architecture) {
  switch (architecture) {
    case 0:
      return "i586";  // the processor type of an x86 system here
    case 1:
      return "mips";
    case 2:
      return "alpha";
    case 3:
      return "powerpc";
    case 6:
      return "ia64";
    case 9:
      return "amd64";
    case 10:
      return "ia32_on_win64";
    case 0xFFFF:
      return "unknown";
    default:
      return "error";
  }
}

std::string server2003Name(uint8_t productType, int serverR2) {
  if (productType == kWorkstation) return "_xp_x64";
  if (serverR2 != 0) return "_server2003_r2";
  if (productType == kDomainController) return "_nt-domain-controller";
  if (productType == kServer) return "_server2003";
  return "_unknown";
}

void collectVersion(uint16_t architecture) {
  const auto version = SystemInfo::version();
  if (!version) {
    store()[SystemItemCache::kOsName] = "windows_unknown";
    return;
  }
  if (version->platformId == 2) {
    const std::string name =
        SystemItemCache::osName(version->major, version->minor, 0, version->productType,
                                version->suiteMask, architecture, SystemInfo::serverR2Metric());
    if (!name.empty()) store()[SystemItemCache::kOsName] = name;
  }
  store()[SystemItemCache::kOsVersion] = toString(version->major * 100 + version->minor);
  store()[SystemItemCache::kMajorVersion] = toString(version->major);
  store()[SystemItemCache::kMinorVersion] = toString(version->minor);
}

void collectSession() {
  const auto session = SystemInfo::sessionId();
  store()[SystemItemCache::kSessionId] = session ? toString(*session) : "";
  std::string display;
  if (getEnvironmentVariable("DISPLAY", display)) {
    store()[SystemItemCache::kSessionOrDisplay] = display;
  } else {
    // A console session has no client name: the host name stands in.
    store()[SystemItemCache::kSessionOrDisplay] = store()[SystemItemCache::kHostName];
  }
}

void collectNames() {
  const auto host = SystemInfo::computerName();
  if (host) store()[SystemItemCache::kHostName] = *host;
  const auto workgroup = SystemInfo::workgroup();
  store()[SystemItemCache::kDomain] = workgroup ? workgroup->substr(0, 200) : "";
  store()[SystemItemCache::kMachineName] = SystemItemCache::machineName(
      store()[SystemItemCache::kHostName], store()[SystemItemCache::kDomain]);
}

}  // namespace

std::string SystemItemCache::machineName(const std::string& hostName, const std::string& domain) {
  const std::string ending = "." + domain;
  if (domain.empty() || hostName.size() < ending.size() ||
      hostName.compare(hostName.size() - ending.size(), ending.size(), ending) != 0) {
    return hostName;
  }
  return hostName.substr(0, hostName.size() - ending.size());
}

std::string SystemItemCache::osName(uint32_t major, uint32_t minor, uint32_t servicePack,
                                    uint8_t productType, uint16_t suiteMask, uint16_t architecture,
                                    int serverR2) {
  const std::string plain = "windows_" + toString(major) + "." + toString(minor);
  switch (major) {
    case 3:
      return "windows_nt3" + servicePackPart(servicePack);
    case 4:
      return "windows_nt4" + servicePackPart(servicePack);
    case 5:
      if (minor == 0) return "windows2000";
      if (minor == 1) return "windows_xp";
      if (minor >= 3) return plain;
      return "windows" + server2003Name(productType, serverR2) +
             ((suiteMask & kSuitePersonal) != 0 ? "_home" : "") + servicePackPart(servicePack);
    case 6:
      if (minor >= 2) return plain;
      return std::string("windows") +
             (minor == 0 ? (productType == kWorkstation ? "_vista" : "_server2008")
                         : (productType == kWorkstation ? "_7" : "__server2008R2")) +
             architecturePart(architecture) + servicePackPart(servicePack);
    default:
      return "";  // unknown NT versions get no name
  }
}

std::string SystemItemCache::languageText(const std::string& root, const std::string& key,
                                          const std::string& valueName) {
  std::string code;
  try {
    code = WinRegistry::getString(root, key, valueName, false);
  } catch (const Exception&) {
    code = kUnknown;
  }
  padLeft(code, 8, '0');
  std::string layout;
  try {
    layout = WinRegistry::getString("HKEY_LOCAL_MACHINE",
                                    "SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\" + code,
                                    "Layout Text", false);
  } catch (const Exception&) {
    layout = kUnknown;
  }
  try {
    return layout + ":" +
           WinRegistry::getString("HKEY_LOCAL_MACHINE",
                                  "SYSTEM\\ControlSet001\\Control\\Keyboard Layout\\DosKeybCodes",
                                  code, false);
  } catch (const Exception&) {
    return layout + ":" + kUnknown;
  }
}

void SystemItemCache::collectAll() {
  std::lock_guard<std::mutex> guard(storeLock());
  collectLocked();
}

void SystemItemCache::collectLocked() {
  collected() = true;
  collectNames();
  const uint16_t architecture = SystemInfo::processorArchitecture();
  store()[kArchitecture] = architectureName(architecture);
  collectVersion(architecture);
  store()[kOsBits] = "32";
  const uint64_t bits = StringTools::toUInt64(store()[kOsBits]);
  store()[kPlatform] = bits == 0 ? "windows" : "windows-" + toString(bits);
  store()[kSystemLanguage] = languageText(
      "HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", "Default");
  store()[kKeyboardLanguage] = languageText("HKEY_CURRENT_USER", "Keyboard Layout\\Preload", "1");
  store()[kKeyboardType] = toString(SystemInfo::keyboardType(0)) + "(" +
                           toString(SystemInfo::keyboardType(1)) + "," +
                           toString(SystemInfo::keyboardType(2)) + ")";
  store()[kCurrentUser] = SystemInfo::userName().value_or(kUnknown);
  collectSession();
  store()[kByteOrder] = "little";
}

std::string SystemItemCache::getItem(int item) {
  std::lock_guard<std::mutex> guard(storeLock());
  auto found = store().find(item);
  if (found != store().end()) return found->second;
  if (!collected()) collectLocked();  // at most once: unset items stay unset
  found = store().find(item);
  return found == store().end() ? "" : found->second;
}

std::string SystemItemCache::diskSerial(const std::string& volumeRoot) {
  const auto native = platform::toNativePath(volumeRoot);
  if (!native) return kUnknown;
  const auto serial = SystemInfo::volumeSerial(*native);
  return serial ? toString(*serial) : kUnknown;
}

std::list<std::string> SystemItemCache::ipAddresses() {
  return sortedAddresses(SystemInfo::ipv4Addresses().value_or(std::vector<std::string>()));
}

std::list<std::string> SystemItemCache::sortedAddresses(const std::vector<std::string>& addresses) {
  // The four numbers in turn, as the address is held in network byte order.
  auto key = [](const std::string& text) {
    std::array<unsigned, 4> parts{};
    std::istringstream in(text);
    char dot = 0;
    in >> parts[0] >> dot >> parts[1] >> dot >> parts[2] >> dot >> parts[3];
    return parts;
  };
  std::vector<std::pair<std::array<unsigned, 4>, std::string>> keyed;
  for (const std::string& address : addresses) {
    if (address != "127.0.0.1") keyed.emplace_back(key(address), address);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::list<std::string> sorted;
  for (auto& entry : keyed) sorted.push_back(std::move(entry.second));
  return sorted;
}

std::set<std::string> SystemItemCache::localGroups() {
  return SystemInfo::localGroups().value_or(std::set<std::string>());
}

std::set<std::string> SystemItemCache::groupMembers(const std::string& group) {
  std::set<std::string> members;
  for (const std::string& member :
       SystemInfo::groupMembers(group).value_or(std::set<std::string>())) {
    const size_t slash = member.find('\\');
    members.insert(slash == std::string::npos ? member : member.substr(slash + 1));
  }
  return members;
}

std::set<std::string> SystemItemCache::userGroups(const std::string& user) {
  std::set<std::string> groups;
  for (const std::string& group : localGroups()) {
    if (groupMembers(group).count(user) != 0) groups.insert(group);
  }
  return groups;
}

}  // namespace VemoraCorelib
