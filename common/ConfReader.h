// Reader of configuration files: nested, typed entries
//
//   name(Type)=value{ children }
//
// with the types "String", "Bool", "Integer", "DirName", "FileName",
// "TimeSpan" and the empty type for sections; comments "#", "//" and "/* */";
// quoted values; references "${dotted.path}" inside values. Entries are found
// by dotted paths ("relayhub.port").
//
// Result codes of the getters:
//   0 found, the out value is set        5 not a file name / time span
//   1 a section (no value)               6 a "${" without "}", or references
//   2 not found                            that do not end (a cycle)
//   3 another type                       7 no reader
//   4 a Bool neither "true" nor "false"  8 a file signature that does not match
// An out value is written only when the result is 0.
//
// Thread-safety: load runs under the reader's lock; the getters take no lock
// and must not run while another thread loads.
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "common/DOMNode.h"
#include "common/Monopoly.h"
#include "common/SmartPointer.h"
#include "common/TimeSpan.h"
#include "crypto/Vault.h"

namespace Vemora {

class LoggerCentre;
class LoggerUnit;

class ConfReader {
 public:
  enum Result {
    kFound = 0,
    kNoValue = 1,
    kNotFound = 2,
    kWrongType = 3,
    kBadBool = 4,
    kInvalid = 5,
    kUnclosedReference = 6,
    kNoReader = 7,
    kBadSignature = 8,
  };

  // Module number of the configuration module in the logging's module table.
  static constexpr int kModule = 1;
  // References nested in one value at most (a reference inside the text a
  // reference brought in, and so on); deeper means a cycle (result 6), as
  // does an expanded value longer than kMaxValueSize bytes.
  static constexpr int kMaxReferenceDepth = 64;
  static constexpr size_t kMaxValueSize = 1 << 14;
  // Brace nesting accepted in a file; deeper is a syntax error.
  static constexpr int kMaxDepth = 64;

  explicit ConfReader(SmartPointer<LoggerCentre> centre);
  virtual ~ConfReader();
  ConfReader(const ConfReader&) = delete;
  ConfReader& operator=(const ConfReader&) = delete;

  // Reads the file and replaces the tree. Failures are reported through the
  // configuration module's catalogue: 1 unreadable file (the old tree stays),
  // 2 syntax error (the tree keeps the entries completed before it), 15 the
  // build lock could not be taken.
  void load(const std::string& fileName);
  // Parses a text as load does after reading the file (for callers that hold
  // the text already); `fileName` names it in reports.
  void loadText(const std::string& text, const std::string& fileName);

  // The node at a dotted path, or null.
  DOMNode* findNode(const std::string& path) const;

  // The common lookup: the node's value with references expanded and, for
  // DirName and FileName, separators collapsed.
  int get(const std::string& path, const std::string& type, std::string& value) const;

  // The typed getters.
  int getString(const std::string& path, std::string& value, bool trim, bool lower) const;
  int getBool(const std::string& path, bool& value) const;
  // 32-bit atol semantics: saturates at the 32-bit limits.
  int getInteger(const std::string& path, int32_t& value) const;
  int getDirName(const std::string& path, std::string& value) const;
  // With verify, the name must be listed in the vault's catalogue (else 2)
  // with a matching signature (else 8); a listed file or key that cannot be
  // read also gives 8.
  int getFileName(const std::string& path, std::string& value, bool verify) const;
  int getTimeSpan(const std::string& path, TimeSpan::Parts& value) const;
  // Appends the names of the node's children (0), or 2 when there is none.
  int getSubObjects(const std::string& path, std::list<std::string>& names) const;

  // The getters on a reader that may be missing: 7 for a null reader.
  static int getString(const ConfReader* reader, const std::string& path, std::string& value,
                       bool trim, bool lower);
  static int getBool(const ConfReader* reader, const std::string& path, bool& value);
  static int getInteger(const ConfReader* reader, const std::string& path, int32_t& value);
  static int getDirName(const ConfReader* reader, const std::string& path, std::string& value);
  static int getFileName(const ConfReader* reader, const std::string& path, std::string& value,
                         bool verify);
  static int getTimeSpan(const ConfReader* reader, const std::string& path, TimeSpan::Parts& value);
  static int getSubObjects(const ConfReader* reader, const std::string& path,
                           std::list<std::string>& names);

  // The line (from 1) on which the last syntax error was found; 0 when the
  // last load had none.
  int errorLine() const { return errorLine_; }

  // The file-signature check of getFileName; it holds no catalogue until
  // one is set.
  Vault& vault() { return vault_; }

 private:
  int checkSignature(const std::string& fileName) const;
  int expandReferences(const std::string& path, std::string& value) const;
  void debug(int level, const std::string& format, const std::string& a = std::string(),
             const std::string& b = std::string()) const;
  void catalogueError(int id, const std::string& a, const std::string& b = std::string()) const;

  std::unique_ptr<DOMNode> root_;
  SmartPointer<LoggerUnit> unit_;
  mutable Monopoly lock_;
  Vault vault_;
  int errorLine_ = 0;
};

}  // namespace Vemora
