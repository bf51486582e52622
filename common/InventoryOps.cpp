#include "common/InventoryOps.h"

#include <cstdlib>

#include "common/StringOps.h"
#include "common/SystemInfo.h"
#include "platform/Env.h"
#include "platform/SystemInfo.h"

namespace Vemora {

namespace {

constexpr uint8_t kWorkstation = 1;
constexpr uint32_t kPlatformNt = 2;

std::string architectureSuffix(uint32_t architecture) {
  if (architecture == 9) return " x64";
  if (architecture == 6) return " ia64";
  return "";
}

std::string version5(uint32_t minor, uint8_t productType, uint16_t suiteMask, bool serverR2,
                     uint32_t architecture) {
  if (minor == 0) return "2000";
  if (minor == 1) return "XP";
  std::string text;
  if (serverR2) {
    text = "Server 2003 R2";
  } else if (suiteMask == 0x2000) {
    text = "Storage Server 2003";
  } else if (productType == kWorkstation && architecture == 9) {
    text = "XP x64";
  } else {
    text = "Server 2003";
  }
  if (productType != kWorkstation) text += architectureSuffix(architecture);
  return text;
}

std::string version6(uint32_t minor, uint8_t productType, uint32_t architecture) {
  const bool workstation = productType == kWorkstation;
  static const char* const kNames[3][2] = {
      {"Vista", "Server 2008"}, {"7", "Server 2008 R2"}, {"8", "Server 2012"}};
  return std::string(kNames[minor][workstation ? 0 : 1]) + architectureSuffix(architecture);
}

}  // namespace

bool InventoryOps::isWow64() {
  return platform::SystemInfo::isWow64();
}

void InventoryOps::productName(std::string& text) {
  SystemInfo::selectHive("HKEY_LOCAL_MACHINE");
  std::string name;
  if (SystemInfo::readString("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName", name,
                             false) != 0) {
    text.clear();
    return;
  }
  StringOps::replaceAll(name, "Microsoft ", "");
  StringOps::replaceChar(name, ' ', '_');
  StringOps::toLower(name);
  text = name;
}

std::string InventoryOps::architectureName(uint32_t architecture) {
  switch (architecture) {
    case 0:
      return "i386";
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

std::string InventoryOps::versionText(uint32_t major, uint32_t minor, uint8_t productType,
                                      uint16_t suiteMask, bool serverR2, uint32_t architecture) {
  if (major == 3 || major == 4)
    return "NT " + StringOps::fromUInt(major) + StringOps::fromUInt(minor);
  if (major == 5 && minor <= 2) {
    return version5(minor, productType, suiteMask, serverR2, architecture);
  }
  if (major == 6 && minor <= 2) return version6(minor, productType, architecture);
  return StringOps::fromUInt(major) + " " + StringOps::fromUInt(minor);
}

void InventoryOps::getSystemInfo(std::string& domain, std::string& host, std::string& architecture,
                                 std::string& os) {
  const uint32_t arch = platform::SystemInfo::processorArchitecture();
  architecture = architectureName(arch);

  productName(os);
  if (os.empty()) {
    if (const auto v = platform::SystemInfo::version()) {
      // Only a Windows of the old, non-NT line could end up here.
      if (v->platformId != kPlatformNt) std::exit(1005);
      os = "Windows " + versionText(v->major, v->minor, v->productType, v->suiteMask,
                                    platform::SystemInfo::serverR2Metric() != 0, arch);
    }
  }

  if (const auto name = platform::getEnv("vemora_hostname")) {
    host = *name;
  } else if (const auto computer = platform::SystemInfo::computerName()) {
    host = *computer;
  }

  const auto dns = platform::SystemInfo::dnsDomain();
  if (dns && !dns->empty() && *dns != host) {
    domain = *dns;
  } else {
    domain = "N/A";
    if (const auto group = platform::SystemInfo::workgroup()) domain = group->substr(0, 260);
  }
}

}  // namespace Vemora
