#include "common/ConfReader.h"

#include <algorithm>
#include <new>
#include <vector>

#include "common/ConfSearcher.h"
#include "common/ConfigException.h"
#include "common/FileBase.h"
#include "common/FileException.h"
#include "common/FilePlain.h"
#include "common/FileUtils.h"
#include "common/StringOps.h"
#include "common/TimeException.h"
#include "common/Tokenizer.h"
#include "corelib/Exception.h"
#include "logger/LoggerCentre.h"
#include "logger/LoggerUnit.h"
#include "logger/ParamStream.h"
#include "platform/LastError.h"
#include "platform/Numbers.h"

namespace Vemora {

namespace {

// Catalogue messages of the configuration module.
constexpr int kMsgCannotRead = 1;
constexpr int kMsgSyntax = 2;
constexpr int kMsgUnclosedReference = 3;
constexpr int kMsgNoLock = 15;

bool isSkipped(const Token& t) {
  if (t.kind == 0 || t.text == "\n") return true;
  return t.text[0] == '#' || t.text.compare(0, 2, "//") == 0 || t.text.compare(0, 2, "/*") == 0;
}

// Recursive descent over the tokens, one level per pair of braces.
class Parser {
 public:
  Parser(Tokenizer& tokens, const ConfReader& reader,
         void (*trace)(const ConfReader&, const std::string&))
      : tokens_(tokens), reader_(reader), trace_(trace) {}

  // Parses entries into `parent` until "}" or the end of the tokens.
  void parseLevel(DOMNode& parent, int depth) {
    Token t;
    while (next(t)) {
      if (t.text == "}") return;
      std::unique_ptr<DOMNode> node = makeNode(t.text);
      if (!next(t)) return;
      if (t.text != "(") fail("ConfReader: Missing '('.");
      if (!next(t)) return;
      if (t.text != ")") {
        node->setType(t.text);
        if (!next(t)) return;
        if (t.text != ")") fail("ConfReader: Missing ')'.");
      }
      if (!next(t)) return;
      if (t.text != "=") fail("ConfReader: Missing '='.");
      if (!next(t)) return;
      storeValue(*node, t.text);
      if (!next(t)) return;
      if (t.text != "{") fail("ConfReader: Missing '{'.");
      // Capped so that a hostile file cannot exhaust the stack.
      if (depth + 1 > ConfReader::kMaxDepth) fail("ConfReader: Entries nested too deep.");
      parseLevel(*node, depth + 1);
      parent.addChild(std::move(node));
    }
  }

 private:
  bool next(Token& t) {
    while (tokens_.next(t)) {
      if (!isSkipped(t)) return true;
    }
    return false;
  }

  static std::unique_ptr<DOMNode> makeNode(const std::string& name) {
    try {
      return std::make_unique<DOMNode>(name);
    } catch (const std::bad_alloc&) {
      throw ConfigException(ConfigException::kMemory, "", __FILE__, __LINE__);
    }
  }

  static void storeValue(DOMNode& node, std::string value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) node.setValue(value);
  }

  [[noreturn]] void fail(const std::string& text) {
    trace_(reader_, text);
    throw ConfigException(ConfigException::kConf, "", __FILE__, __LINE__);
  }

  Tokenizer& tokens_;
  const ConfReader& reader_;
  void (*trace_)(const ConfReader&, const std::string&);
};

// The whole file, read through a FilePlain opened for reading only.
std::string readWhole(const std::string& fileName) {
  SmartPointer<FileBase> file(new FilePlain(fileName));
  file->open(FileBase::kRead);
  std::string text;
  const int64_t size = file->diskSize();
  file->read(text, static_cast<uint64_t>(size > 0 ? size : 0));
  file->commit();
  return text;
}

size_t countLines(const std::string& text, size_t end) {
  size_t lines = 1;
  for (size_t i = 0; i < end && i < text.size(); ++i) lines += text[i] == '\n' ? 1 : 0;
  return lines;
}

}  // namespace

ConfReader::ConfReader(SmartPointer<LoggerCentre> centre) : unit_(new LoggerUnit(centre, kModule)) {
  debug(1, "ConfReader: Created.");
}

ConfReader::~ConfReader() {
  root_.reset();
  debug(1, "ConfReader: Destroyed.");
}

void ConfReader::debug(int level, const std::string& format, const std::string& a,
                       const std::string& b) const {
  LoggerUnit* unit = unit_.get();
  if (unit == nullptr || level > LoggerUnit::debugLevel()) return;
  const size_t first = format.find("%s");
  if (first == std::string::npos) {
    unit->debug(level, format);
    return;
  }
  ParamStream params;
  params.addString(a);
  if (format.find("%s", first + 2) != std::string::npos) params.addString(b);
  unit->debug(level, format, params);
}

void ConfReader::catalogueError(int id, const std::string& a, const std::string& b) const {
  LoggerUnit* unit = unit_.get();
  if (unit == nullptr) return;
  ParamStream params;
  params.addString(a);
  if (!b.empty()) params.addString(b);
  unit->error(id, params);
}

void ConfReader::load(const std::string& fileName) {
  debug(2, "ConfReader: Building DOM tree from file \"%s\"...", fileName);
  if (!lock_.enforce()) {
    catalogueError(kMsgNoLock, fileName);
    return;
  }
  std::string text;
  try {
    text = readWhole(fileName);
  } catch (const FileException& e) {
    catalogueError(kMsgCannotRead, fileName, e.text());
    lock_.relax();
    return;
  } catch (...) {
    // Such as memory running out on a huge file: the old tree stays.
    catalogueError(kMsgCannotRead, fileName, "Unknown");
    debug(1, "ConfReader: Unknown error while building DOM tree from file \"%s\".", fileName);
    lock_.relax();
    return;
  }
  loadText(text, fileName);
  lock_.relax();
}

void ConfReader::loadText(const std::string& text, const std::string& fileName) {
  lock_.enforce();
  root_.reset();
  errorLine_ = 0;
  try {
    root_ = std::make_unique<DOMNode>("Root");
  } catch (const std::bad_alloc&) {
    lock_.relax();
    return;
  }
  ConfSearcher searcher;
  Tokenizer tokens(&text, &searcher);
  Parser parser(tokens, *this, [](const ConfReader& r, const std::string& t) { r.debug(1, t); });
  try {
    parser.parseLevel(*root_, 0);
    debug(2, "ConfReader: DOM tree built.");
  } catch (const ConfigException& e) {
    errorLine_ = static_cast<int>(countLines(text, tokens.position()));
    catalogueError(kMsgSyntax, fileName, e.text());
    if (unit_.get() != nullptr && LoggerUnit::debugLevel() >= 1) {
      ParamStream params;
      params.addString(e.text());
      params.addInt(errorLine_);
      unit_.get()->debug(1, "ConfReader: %s, line %i.", params);
    }
  }
  lock_.relax();
}

DOMNode* ConfReader::findNode(const std::string& path) const {
  if (path.empty() || !root_) return nullptr;
  std::string rest = path;
  DOMNode* current = root_.get();
  for (;;) {
    const std::string part = StringOps::cutToken(rest, '.');
    DOMNode* child = current->firstChild();
    while (child != nullptr && child->name() != part) child = child->nextSibling();
    if (child == nullptr) return nullptr;
    if (rest.empty()) return child;
    current = child;
  }
}

int ConfReader::expandReferences(const std::string& path, std::string& value) const {
  // How many expansions brought each character of the value in: a reference
  // made of characters inserted more than kMaxReferenceDepth times over leads
  // back to itself.
  std::vector<uint8_t> depths(value.size(), 0);
  // Nothing before the reference just replaced holds "${", so the search
  // goes on one character before it (a "$" there may meet an inserted "{").
  for (size_t open = value.find("${"); open != std::string::npos;
       open = value.find("${", open > 0 ? open - 1 : 0)) {
    const size_t close = value.find('}', open + 2);
    const int depth = close == std::string::npos
                          ? 0
                          : *std::max_element(depths.begin() + static_cast<ptrdiff_t>(open),
                                              depths.begin() + static_cast<ptrdiff_t>(close) + 1);
    // References that do not end (a cycle) are reported like an unclosed one.
    if (close == std::string::npos || depth >= kMaxReferenceDepth) {
      catalogueError(kMsgUnclosedReference, path);
      return kUnclosedReference;
    }
    const DOMNode* ref = findNode(value.substr(open + 2, close - open - 2));
    if (ref == nullptr) {
      debug(5, "ConfReader: Found, but reference inside value was not.");
      return kNotFound;
    }
    if (ref->type().empty()) {
      debug(5, "ConfReader: Found, but reference inside value didn't have a value.");
      return kNoValue;
    }
    std::string inserted = ref->value();
    debug(5, "ConfReader: Reference \"%s\" = \"%s\".", value.substr(open + 2, close - open - 2),
          inserted);
    if (ref->type() == "DirName") FileUtils::addTrailingSeparator(inserted);
    if (value.size() - (close - open + 1) + inserted.size() > kMaxValueSize) {
      catalogueError(kMsgUnclosedReference, path);
      return kUnclosedReference;
    }
    value.replace(open, close - open + 1, inserted);
    depths.erase(depths.begin() + static_cast<ptrdiff_t>(open),
                 depths.begin() + static_cast<ptrdiff_t>(close) + 1);
    depths.insert(depths.begin() + static_cast<ptrdiff_t>(open), inserted.size(),
                  static_cast<uint8_t>(depth + 1));
  }
  return kFound;
}

int ConfReader::get(const std::string& path, const std::string& type, std::string& value) const {
  debug(5, "ConfReader: Getting %s %s...", type, path);
  const DOMNode* node = findNode(path);
  if (node == nullptr) {
    debug(5, "ConfReader: Not found.");
    return kNotFound;
  }
  if (node->type().empty()) {
    debug(5, "ConfReader: Found, but has no value.");
    return kNoValue;
  }
  if (node->type() != type) {
    debug(1, "ConfReader: Found, but type is \"%s\", not \"%s\".", node->type(), type);
    return kWrongType;
  }
  std::string result = node->value();
  debug(5, "ConfReader: Got raw value \"%s\".", result);
  const int rc = expandReferences(path, result);
  if (rc != kFound) return rc;
  if (type == "DirName" && !result.empty()) {
    FileUtils::collapseSeparators(result);
    FileUtils::addTrailingSeparator(result);
  } else if (type == "FileName") {
    FileUtils::collapseSeparators(result);
  }
  debug(5, "ConfReader: Got final value \"%s\".", result);
  value = result;
  return kFound;
}

int ConfReader::getString(const std::string& path, std::string& value, bool trim,
                          bool lower) const {
  std::string v;
  const int rc = get(path, "String", v);
  if (rc != kFound) return rc;
  if (trim) StringOps::trim(v);
  if (lower) StringOps::toLower(v);
  value = v;
  return kFound;
}

int ConfReader::getBool(const std::string& path, bool& value) const {
  std::string v;
  const int rc = get(path, "Bool", v);
  if (rc != kFound) return rc;
  StringOps::toLower(v);
  if (v == "true") {
    value = true;
  } else if (v == "false") {
    value = false;
  } else {
    return kBadBool;
  }
  return kFound;
}

int ConfReader::getInteger(const std::string& path, int32_t& value) const {
  std::string v;
  const int rc = get(path, "Integer", v);
  if (rc != kFound) return rc;
  value = platform::atol32(v.c_str());
  return kFound;
}

int ConfReader::getDirName(const std::string& path, std::string& value) const {
  std::string v;
  const int rc = get(path, "DirName", v);
  if (rc != kFound) return rc;
  StringOps::trim(v);
  value = v;
  return kFound;
}

int ConfReader::getFileName(const std::string& path, std::string& value, bool verify) const {
  std::string v;
  const int rc = get(path, "FileName", v);
  if (rc != kFound) return rc;
  if (!FileUtils::isValidFileName(v)) return kInvalid;
  StringOps::trim(v);
  if (verify) {
    const int check = checkSignature(v);
    if (check != kFound) return check;
  }
  value = v;
  return kFound;
}

int ConfReader::checkSignature(const std::string& fileName) const {
  int result;
  try {
    result = vault_.verify(fileName);
  } catch (const VemoraCorelib::Exception& e) {
    // A getter answers with a code; a file that cannot be checked is refused.
    debug(1, "ConfReader: Signature check of \"%s\" failed: %s", fileName, e.message());
    return kBadSignature;
  }
  if (result == 0) return kBadSignature;
  return result == -1 ? kNotFound : kFound;
}

int ConfReader::getTimeSpan(const std::string& path, TimeSpan::Parts& value) const {
  std::string v;
  const int rc = get(path, "TimeSpan", v);
  if (rc != kFound) return rc;
  try {
    value = TimeSpan::parse(v);
  } catch (const TimeException&) {
    return kInvalid;
  }
  return kFound;
}

int ConfReader::getSubObjects(const std::string& path, std::list<std::string>& names) const {
  const DOMNode* node = findNode(path);
  if (node == nullptr) return kNotFound;
  for (const DOMNode* c = node->firstChild(); c != nullptr; c = c->nextSibling()) {
    names.push_back(c->name());
  }
  return kFound;
}

int ConfReader::getString(const ConfReader* reader, const std::string& path, std::string& value,
                          bool trim, bool lower) {
  return reader == nullptr ? kNoReader : reader->getString(path, value, trim, lower);
}

int ConfReader::getBool(const ConfReader* reader, const std::string& path, bool& value) {
  return reader == nullptr ? kNoReader : reader->getBool(path, value);
}

int ConfReader::getInteger(const ConfReader* reader, const std::string& path, int32_t& value) {
  return reader == nullptr ? kNoReader : reader->getInteger(path, value);
}

int ConfReader::getDirName(const ConfReader* reader, const std::string& path, std::string& value) {
  return reader == nullptr ? kNoReader : reader->getDirName(path, value);
}

int ConfReader::getFileName(const ConfReader* reader, const std::string& path, std::string& value,
                            bool verify) {
  return reader == nullptr ? kNoReader : reader->getFileName(path, value, verify);
}

int ConfReader::getTimeSpan(const ConfReader* reader, const std::string& path,
                            TimeSpan::Parts& value) {
  return reader == nullptr ? kNoReader : reader->getTimeSpan(path, value);
}

int ConfReader::getSubObjects(const ConfReader* reader, const std::string& path,
                              std::list<std::string>& names) {
  return reader == nullptr ? kNoReader : reader->getSubObjects(path, names);
}

}  // namespace Vemora
