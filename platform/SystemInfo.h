// System inventory from the real machine, standing in for the Windows calls
// the inventory asks: GetComputerNameA, GetComputerNameExA(DnsDomain),
// GetNativeSystemInfo, GetVersionExA, NetWkstaGetInfo and IsWow64Process;
// also GetUserNameA, ProcessIdToSessionId, GetKeyboardType,
// GetVolumeInformationA, GetIpAddrTable and the local groups of
// NetLocalGroupEnum / NetLocalGroupGetMembers.
#pragma once
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

class SystemInfo {
 public:
  // The fields of OSVERSIONINFOEXA that the inventory reads.
  struct VersionRecord {
    uint32_t platformId = 0;  // VER_PLATFORM_WIN32_NT is 2
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint16_t suiteMask = 0;
    uint8_t productType = 0;  // VER_NT_WORKSTATION is 1
  };

  // GetComputerNameA: the host name up to its first '.', or nullopt when the
  // system cannot tell it.
  static std::optional<std::string> computerName();

  // GetComputerNameExA(ComputerNameDnsDomain): the part after the first '.' of
  // the host's fully qualified name (from the host name, else its canonical
  // name in the resolver); empty when it has none.
  static std::optional<std::string> dnsDomain();

  // GetNativeSystemInfo's processor architecture from uname's machine:
  // x86_64 9, i386 to i686 0, ia64 6, aarch64 12, arm 5, mips 1, ppc 3,
  // alpha 2; anything else 0xFFFF.
  static uint16_t processorArchitecture();

  // GetVersionExA: always the NT platform (2), version 10.0, a workstation, so
  // that the path for a non-NT Windows never runs here.
  static std::optional<VersionRecord> version();

  // GetSystemMetrics(SM_SERVERR2): 0.
  static int serverR2Metric() { return 0; }

  // NetWkstaGetInfo level 100: there is no LAN manager workgroup here, so the
  // call always fails (nullopt).
  static std::optional<std::string> workgroup() { return std::nullopt; }

  // IsWow64Process: a native process is never under WOW64.
  static bool isWow64() { return false; }

  // GetUserNameA: the login name of the effective user id (the passwd
  // entry), nullopt when it has none.
  static std::optional<std::string> userName();
  // ProcessIdToSessionId: the session id of the process (getsid).
  static std::optional<uint32_t> sessionId();
  // GetKeyboardType: there is no keyboard record here; 0, the failure value.
  static int keyboardType(int) { return 0; }
  // GetVolumeInformationA's serial number: the file-system id (statvfs
  // f_fsid, low 32 bits) of the folder, nullopt when it cannot be read. It
  // names the mounted file system, not a formatted volume, and may change
  // across reboots for some file systems.
  static std::optional<uint32_t> volumeSerial(const std::string& posixPath);
  // GetIpAddrTable: the IPv4 addresses of the interfaces (getifaddrs), in
  // dotted decimal, in interface order, loopback ones included; nullopt
  // when they cannot be listed.
  static std::optional<std::vector<std::string>> ipv4Addresses();
  // NetLocalGroupEnum: the group names of /etc/group (the group database).
  static std::optional<std::set<std::string>> localGroups();
  // NetLocalGroupGetMembers: the listed members of the group and the users
  // whose primary group it is; nullopt when there is no such group.
  static std::optional<std::set<std::string>> groupMembers(const std::string& group);
};

}  // namespace platform
