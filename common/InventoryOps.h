// The machine's description: DNS domain or workgroup, host name (overridden
// by the environment variable "vemora_hostname"), processor architecture and
// the Windows edition text.
#pragma once
#include <cstdint>
#include <string>

namespace Vemora {

class InventoryOps {
 public:
  // True when the process runs under WOW64 (never, here).
  static bool isWow64();
  // The edition from the registry value "ProductName" of
  // "SOFTWARE\Microsoft\Windows NT\CurrentVersion": "Microsoft " removed,
  // blanks as '_', lower-cased; empty when it cannot be read. Selects the
  // hive HKEY_LOCAL_MACHINE.
  static void productName(std::string& text);
  // The processor architecture's name: 0 "i386", 1 "mips", 2 "alpha",
  // 3 "powerpc", 6 "ia64", 9 "amd64", 10 "ia32_on_win64", 0xFFFF "unknown",
  // any other "error".
  static std::string architectureName(uint32_t architecture);
  // The text for a Windows version record (see getSystemInfo).
  static std::string versionText(uint32_t major, uint32_t minor, uint8_t productType,
                                 uint16_t suiteMask, bool serverR2, uint32_t architecture);
  // All four at once. A host name that cannot be read leaves `host`
  // unchanged; a domain that cannot be found is the workgroup or "N/A".
  static void getSystemInfo(std::string& domain, std::string& host, std::string& architecture,
                            std::string& os);
};

}  // namespace Vemora
