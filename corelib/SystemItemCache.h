// Facts about the machine, the operating system and the current user,
// gathered once per process and handed out as texts by item number, and
// direct queries answered anew each time (volume serial, IPv4 addresses,
// local groups and their members). Nothing here throws: every failure is a
// fallback text or an empty list. Safe from any thread.
#pragma once

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <vector>

namespace VemoraCorelib {

class SystemItemCache {
 public:
  enum Item : int {
    kHostName = 0,
    kMachineName = 1,
    kPlatform = 2,
    kOsName = 3,
    kOsVersion = 4,
    kSystemLanguage = 5,
    kKeyboardLanguage = 6,
    kKeyboardType = 7,
    kArchitecture = 8,
    kDomain = 9,
    kCurrentUser = 10,
    kSessionId = 11,
    kSessionOrDisplay = 12,
    kOsBits = 13,
    kByteOrder = 14,
    kMajorVersion = 15,
    kMinorVersion = 16,
  };

  // The cached text; a missing item makes one collection of all items, and
  // an item that the collection leaves unset then reads as empty.
  static std::string getItem(int item);
  static void collectAll();

  // The volume's serial number in decimal, "[unknown]" when it cannot be read.
  static std::string diskSerial(const std::string& volumeRoot);
  // The IPv4 addresses in dotted decimal, 127.0.0.1 left out, in ascending
  // order of the address (as a sorted address table gives them).
  static std::list<std::string> ipAddresses();
  // That list made from the interfaces' addresses in any order.
  static std::list<std::string> sortedAddresses(const std::vector<std::string>& addresses);
  static std::set<std::string> localGroups();
  static std::set<std::string> groupMembers(const std::string& group);
  static std::set<std::string> userGroups(const std::string& user);

  // The machine name of a host name: without "." and the domain at its end.
  static std::string machineName(const std::string& hostName, const std::string& domain);
  // The operating-system name for a version record and an architecture.
  static std::string osName(uint32_t major, uint32_t minor, uint32_t servicePack,
                            uint8_t productType, uint16_t suiteMask, uint16_t architecture,
                            int serverR2);
  // "layout:short" from the language code under the layout keys.
  static std::string languageText(const std::string& root, const std::string& key,
                                  const std::string& valueName);

 private:
  static void collectLocked();
};

}  // namespace VemoraCorelib
