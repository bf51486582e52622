// The registry: keys under five root keys, each key holding named values of a
// type number and raw bytes. What the Windows registry promises and this store
// keeps:
//   - key paths are split at '\' (empty segments are skipped); creating a key
//     creates its missing parents;
//   - key and value names compare case-insensitively (ASCII) and keep the case
//     they were created with; the empty value name is the key's default value;
//   - a value keeps its type number (REG_SZ 1, REG_DWORD 4, REG_MULTI_SZ 7, any
//     other number too) and its bytes exactly, terminating zeros included;
//   - queries answer 0, 2 (ERROR_FILE_NOT_FOUND) for a missing key or value,
//     234 (ERROR_MORE_DATA) with the size needed when the buffer is too small,
//     5 (ERROR_ACCESS_DENIED) when the store cannot be read (unreadable or
//     malformed file).
//
// The store is one human-readable text file per root key in the folder named
// by VEMORA_REGISTRY_DIR (default /var/lib/vemora/registry):
// "HKEY_LOCAL_MACHINE.reg", "HKEY_CLASSES_ROOT.reg", "HKEY_USERS.reg",
// "HKEY_CURRENT_CONFIG.reg", and "HKEY_CURRENT_USER-<uid>.reg" per user id. Key
// names never become file-system paths. The format:
//
//   ; comment lines begin with ';' or '#'
//   [SOFTWARE\Vemora\Resources]
//   "ConfigurationDir"=sz:"C:\\vemora\\conf"
//   "StartupDebugLevel"=dword:00000003
//   "Paths"=multi_sz:"a","b"
//   "Blob"=hex(3):01,02,ff
//
// sz (type 1) and expand_sz (2) hold a text whose stored bytes end with one
// zero byte; multi_sz (7) a list whose bytes are each text and a zero, then a
// final zero; dword (4) 32 bits in hexadecimal, stored little-endian; qword
// (11) 64 bits; hex(N) any type N with any bytes. Inside quotes "\\" is a
// backslash, "\"" a quote and "\xHH" the byte HH. The writer chooses the
// friendly form only when it gives the bytes back exactly, else hex(N).
//
// A write changes only the lines of what it changes: a value's own line is
// rewritten in place, a new value goes under its key's last section, a new
// key's section at the end; comments, blank lines, order and line ends of
// everything else stay byte for byte. A file that does not parse is never
// written (fileProblem tells where it fails).
//
// Writes are atomic between threads and processes: the writer takes an
// exclusive flock on "<file>.lock", reads the current file, writes a temporary
// file beside it, fsyncs it, renames it over the file and fsyncs the folder.
// Readers take no lock and see the last complete write. Every function is
// thread-safe and sets the per-thread last error to its result.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

enum RegistryType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegQword = 11,
};

class RegistryStore {
 public:
  // An open key: the root and the key's path with its stored spelling.
  struct Key {
    RegistryRoot root = RegistryRoot::kLocalMachine;
    std::string path;
  };

  // RegOpenKeyExA: 0 and `key` set when the key exists; 2 when it does not; 5
  // when the store cannot be read.
  static uint32_t openKey(RegistryRoot root, const std::string& path, Key* key);

  // RegCreateKeyExA: opens the key, creating it and its parents when needed.
  // 0; 5 when the store cannot be read or written; 87 for a name holding a
  // control character.
  static uint32_t createKey(RegistryRoot root, const std::string& path, Key* key);

  // RegQueryValueExA. `type`, `data` and `size` may each be null. On entry
  // *size is the buffer's size; on 0 or 234 it becomes the value's size, and
  // `type` is set. With a null `data` the query answers 0 with the size. 2
  // for a missing key or value, 5 when the store cannot be read.
  static uint32_t queryValue(const Key& key, const std::string& name, uint32_t* type, uint8_t* data,
                             uint32_t* size);

  // RegSetValueExA: stores `size` bytes of `data` with `type`, replacing a
  // value of the same name (which keeps its spelling). Recreates the key if it
  // has gone meanwhile. 0; 5 when the store cannot be read or written.
  static uint32_t setValue(const Key& key, const std::string& name, uint32_t type,
                           const uint8_t* data, uint32_t size);

  // RegDeleteValueA: 0; 2 when the key or value does not exist; 5 as above.
  static uint32_t deleteValue(const Key& key, const std::string& name);

  // RegEnumKeyExA / RegEnumValueA, all at once: the names of the direct
  // subkeys or of the values, in stored order. 0, 2 or 5.
  static uint32_t subKeyNames(const Key& key, std::vector<std::string>* names);
  static uint32_t valueNames(const Key& key, std::vector<std::string>* names);

  // The POSIX path of a root key's file (for operators and tests).
  static std::string filePath(RegistryRoot root);

  // Why a root key's file cannot be used, in words with its path (and for a
  // file that does not parse, the line: "<path>, line 3: ..."); empty when
  // it reads (or does not exist). The store itself cannot log: its callers
  // report this.
  static std::string fileProblem(RegistryRoot root);

  // The root key for its name ("HKEY_LOCAL_MACHINE", ...); false for another.
  static bool rootFromName(const std::string& name, RegistryRoot* root);
};

}  // namespace platform
