// The suite's resources: named string and number values in the registry under
// "SOFTWARE\Vemora\Resources", or under the key named by VEMORA_ENV when that
// is set (looked up on every call). String resources may refer to other
// resources with "${Name}".
//
// Results: 0 success, 1 out of memory (reads) or failure (writes), 2 key or
// value missing or any other read failure, 3 a value of another registry type.
//
// Every registry operation works in the current hive, HKEY_LOCAL_MACHINE
// unless selectHive chose another. The hive is process-wide; select it during
// start-up, before other threads use resources.
#pragma once
#include <cstdint>
#include <string>

namespace Vemora {

class SystemInfo {
 public:
  static constexpr const char* kResourceKey = "SOFTWARE\\Vemora\\Resources";
  // References inside references are expanded this deep; deeper ones stay as
  // text (so a resource that refers to itself ends).
  static constexpr int kMaxReferenceDepth = 8;

  // A string resource (REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ) with its
  // references expanded.
  static int getResource(const std::string& name, std::string& text);
  // A REG_DWORD resource.
  static int getResourceDword(const std::string& name, uint32_t& value);
  // Writes a REG_SZ resource (its terminating zero counted), creating the key.
  static int setResource(const std::string& name, const std::string& text);

  // On any key of the current hive. wow64 asks for the 32-bit view, which is
  // the only view here.
  static int readString(const std::string& key, const std::string& valueName, std::string& text,
                        bool wow64);
  static int readDword(const std::string& key, const std::string& valueName, uint32_t& value,
                       bool wow64);
  // 0 or 1.
  static int writeValue(const std::string& key, const std::string& valueName, uint32_t type,
                        const void* data, uint32_t size, bool wow64);

  // Makes a hive current by its name ("HKEY_LOCAL_MACHINE", ...); false and
  // nothing changed for another name.
  static bool selectHive(const std::string& hiveName);
  // The current hive's name.
  static std::string currentHive();

  // The resource key: VEMORA_ENV when set (also when empty), else
  // kResourceKey.
  static std::string resourceKey();
};

}  // namespace Vemora
