#include "platform/SystemInfo.h"

#include <arpa/inet.h>
#include <grp.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "platform/LastError.h"

namespace platform {

namespace {

std::optional<std::string> fullHostName() {
  char name[256];
  if (::gethostname(name, sizeof name) != 0) {
    setLastErrorFromErrno(errno);
    return std::nullopt;
  }
  name[sizeof name - 1] = '\0';
  setLastError(kErrorSuccess);
  return std::string(name);
}

}  // namespace

std::optional<std::string> SystemInfo::computerName() {
  auto name = fullHostName();
  if (!name || name->empty()) return std::nullopt;
  return name->substr(0, name->find('.'));
}

std::optional<std::string> SystemInfo::dnsDomain() {
  auto name = fullHostName();
  if (!name) return std::nullopt;
  size_t dot = name->find('.');
  if (dot != std::string::npos) return name->substr(dot + 1);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* info = nullptr;
  std::string domain;
  if (::getaddrinfo(name->c_str(), nullptr, &hints, &info) == 0 && info != nullptr) {
    if (info->ai_canonname != nullptr) {
      const std::string canon = info->ai_canonname;
      dot = canon.find('.');
      if (dot != std::string::npos) domain = canon.substr(dot + 1);
    }
    ::freeaddrinfo(info);
  }
  setLastError(kErrorSuccess);
  return domain;
}

uint16_t SystemInfo::processorArchitecture() {
  utsname u{};
  if (::uname(&u) != 0) return 0xFFFF;
  const std::string m = u.machine;
  if (m == "x86_64" || m == "amd64") return 9;
  if (m.size() == 4 && m[0] == 'i' && m[2] == '8' && m[3] == '6') return 0;
  if (m == "ia64") return 6;
  if (m == "aarch64" || m == "arm64") return 12;
  if (m.compare(0, 3, "arm") == 0) return 5;
  if (m.compare(0, 4, "mips") == 0) return 1;
  if (m.compare(0, 3, "ppc") == 0 || m.compare(0, 7, "powerpc") == 0) return 3;
  if (m.compare(0, 5, "alpha") == 0) return 2;
  return 0xFFFF;
}

std::optional<SystemInfo::VersionRecord> SystemInfo::version() {
  VersionRecord record;
  record.platformId = 2;
  record.major = 10;
  record.minor = 0;
  record.productType = 1;
  setLastError(kErrorSuccess);
  return record;
}

std::optional<std::string> SystemInfo::userName() {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    setLastError(kErrorFileNotFound);
    return std::nullopt;
  }
  setLastError(kErrorSuccess);
  return std::string(found->pw_name);
}

std::optional<uint32_t> SystemInfo::sessionId() {
  const pid_t session = ::getsid(0);
  if (session < 0) {
    setLastErrorFromErrno(errno);
    return std::nullopt;
  }
  setLastError(kErrorSuccess);
  return static_cast<uint32_t>(session);
}

std::optional<uint32_t> SystemInfo::volumeSerial(const std::string& posixPath) {
  struct statvfs info {};
  if (posixPath.empty() || ::statvfs(posixPath.c_str(), &info) != 0) {
    setLastErrorFromErrno(posixPath.empty() ? ENOENT : errno);
    return std::nullopt;
  }
  setLastError(kErrorSuccess);
  return static_cast<uint32_t>(info.f_fsid & 0xFFFFFFFFu);
}

std::optional<std::vector<std::string>> SystemInfo::ipv4Addresses() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    setLastErrorFromErrno(errno);
    return std::nullopt;
  }
  std::vector<std::string> addresses;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
      addresses.push_back(text);
    }
  }
  ::freeifaddrs(list);
  setLastError(kErrorSuccess);
  return addresses;
}

namespace {

// The group database is walked with the non-reentrant getgrent family.
std::mutex& groupWalk() {
  static std::mutex walk;
  return walk;
}

}  // namespace

std::optional<std::set<std::string>> SystemInfo::localGroups() {
  std::lock_guard<std::mutex> guard(groupWalk());
  std::set<std::string> names;
  ::setgrent();
  while (const group* entry = ::getgrent()) names.insert(entry->gr_name);
  ::endgrent();
  setLastError(kErrorSuccess);
  return names;
}

std::optional<std::set<std::string>> SystemInfo::groupMembers(const std::string& name) {
  std::lock_guard<std::mutex> guard(groupWalk());
  const group* entry = ::getgrnam(name.c_str());
  if (entry == nullptr) {
    setLastError(1376);  // ERROR_NO_SUCH_ALIAS
    return std::nullopt;
  }
  const gid_t id = entry->gr_gid;
  std::set<std::string> members;
  for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
    members.insert(*member);
  }
  ::setpwent();
  while (const passwd* user = ::getpwent()) {
    if (user->pw_gid == id) members.insert(user->pw_name);
  }
  ::endpwent();
  setLastError(kErrorSuccess);
  return members;
}

}  // namespace platform
