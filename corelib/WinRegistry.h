// String and string-list values of the system registry under keys named by
// text. Every failure becomes one of the typed errors below; a key beginning
// "SOFTWARE\Vemora\Resources" is redirected to the key named by the
// environment variable "VEMORA_ENV" when it is set. Safe from any thread.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "corelib/Exception.h"

namespace VemoraCorelib {

class WinRegistry {
 public:
  VEMORA_CORELIB_ERROR_CLASS(Set_BadArguments);
  VEMORA_CORELIB_ERROR_CLASS(Set_AccessDenied);
  VEMORA_CORELIB_ERROR_CLASS(Set_OutOfMemory);
  VEMORA_CORELIB_ERROR_CLASS(Set_UnknownError);
  VEMORA_CORELIB_ERROR_CLASS(Get_BadArguments);
  VEMORA_CORELIB_ERROR_CLASS(Get_AccessDenied);
  VEMORA_CORELIB_ERROR_CLASS(Get_NotFound);
  VEMORA_CORELIB_ERROR_CLASS(Get_OutOfMemory);
  VEMORA_CORELIB_ERROR_CLASS(Get_UnknownError);
  VEMORA_CORELIB_ERROR_CLASS(Get_WrongType);

  // `root` is one of "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
  // "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_PERFORMANCE_DATA",
  // "HKEY_CURRENT_CONFIG" (case-sensitive). `view64` asks for the 64-bit view
  // of the registry, which a native process always sees.
  // Creates the key when needed; stores REG_SZ with its terminating NUL.
  static void setString(const std::string& root, const std::string& key,
                        const std::string& valueName, const std::string& text, bool view64);
  // Creates the key when needed; stores REG_MULTI_SZ (each item and a NUL,
  // then one more NUL).
  static void setList(const std::string& root, const std::string& key, const std::string& valueName,
                      const std::list<std::string>& items, bool view64);
  // Reads a REG_SZ value without its trailing NULs.
  static std::string getString(const std::string& root, const std::string& key,
                               const std::string& valueName, bool view64);
  // Reads a REG_MULTI_SZ value; an empty item ends the list.
  static std::list<std::string> getList(const std::string& root, const std::string& key,
                                        const std::string& valueName, bool view64);
  // '/' becomes '\'; the resource prefix is replaced by "VEMORA_ENV" when set.
  static std::string resolveKey(const std::string& key);
};

}  // namespace VemoraCorelib
