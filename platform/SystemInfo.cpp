#include "platform/SystemInfo.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>

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

}  // namespace platform
