#include "corelib/FileRegistry.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>

#include "corelib/FileObjectStream.h"
#include "corelib/FileTools.h"
#include "corelib/GlobalMutex.h"
#include "corelib/StringTools.h"
#include "corelib/ThreadLock.h"
#include "corelib/TypedValue.h"

namespace VemoraCorelib::FileRegistry {

namespace {

const char* const kTypeNames[] = {"int", "uint", "dbl", "str", "lst"};
const char* const kRootName = "root";

struct Node {
  std::string name;
  int type = kString;
  std::string value;
  std::map<std::string, std::unique_ptr<Node>> children;
};

// Process-wide; never destroyed, so the registry stays usable to the end.
struct Registry {
  std::string path = "C:\\Vemora\\vemora.freg";
  ThreadLock lock;
  std::unique_ptr<GlobalMutex> mutex;  // for `path`, made on first locking
};

Registry& registry() {
  static Registry* instance = new Registry();
  return *instance;
}

std::atomic<bool> useSwitch{false};

std::string typeName(int type) {
  return type >= kInt && type <= kList ? kTypeNames[type] : "[undef]";
}

int typeFromName(const std::string& name) {
  for (int type = kInt; type <= kList; ++type) {
    if (FileTools::compareNoCase(name, kTypeNames[type]) == 0) return type;
  }
  return kUnknown;
}

bool isWhitespace(char c) {
  return StringTools::whitespace().find(c) != std::string::npos;
}

// Names that the text format carries unchanged.
bool isValidName(const std::string& name) {
  if (name.empty() || isWhitespace(name.front()) || isWhitespace(name.back())) return false;
  if (name.find_first_of("\n\r=") != std::string::npos || name.front() == '#') return false;
  return name != "{" && name != "}";
}

// Takes the thread lock, then the cross-process lock; releases both in the
// reverse order, also when an error leaves the registry.
class Locked {
 public:
  Locked() { held_ = lock(); }
  ~Locked() {
    if (!held_) return;
    Registry& r = registry();
    r.mutex->unlock();
    r.lock.unlock();
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  bool held() const { return held_; }

 private:
  static bool lock() {
    Registry& r = registry();
    if (!r.lock.lock(true)) return false;
    if (!r.mutex) {
      try {
        r.mutex = std::make_unique<GlobalMutex>(r.path);
      } catch (const std::bad_alloc&) {
        r.lock.unlock();
        return false;
      }
    }
    if (r.mutex->lock(true)) return true;
    r.lock.unlock();
    return false;
  }
  bool held_;
};

void readNode(FileObjectStream& stream, const std::string& name, Node& node) {
  stream.enterObject(name);
  node.name = name;
  std::string type;
  stream.readAttribute("type").read(type);  // a value of another type reads as ""
  stream.readAttribute("value").read(node.value);
  node.type = typeFromName(type);
  for (const DualString& childName : stream.childNames()) {
    auto child = std::make_unique<Node>();
    readNode(stream, childName.toNarrow(), *child);
    node.children[child->name] = std::move(child);
  }
  stream.leaveObject();
}

// False when the file cannot be opened or parsed; a missing or empty file
// gives the bare root.
bool readTree(const std::string& file, Node& root) {
  root = Node();
  root.name = kRootName;
  if (!FileTools::exists(file) || FileTools::fileSize(file) == 0) return true;
  FileObjectStream stream;
  try {
    stream.openIn(file);
  } catch (const Exception&) {
    return false;
  }
  readNode(stream, kRootName, root);
  stream.leaveObject();  // releases the stream's tree
  stream.close();
  return true;
}

void writeNode(FileObjectStream& stream, const Node& node) {
  stream.beginObject(node.name);
  stream.setAttribute("type", TypedValue(typeName(node.type)));
  stream.setAttribute("value", TypedValue(node.value));
  for (const auto& entry : node.children) writeNode(stream, *entry.second);
  stream.endObject();
}

bool writeTree(const std::string& file, const Node& root) {
  if (!FileTools::createDirectories(file)) return false;
  FileObjectStream stream;
  try {
    stream.openOut(file);
  } catch (const Exception&) {
    return false;
  }
  writeNode(stream, root);
  stream.endObject();  // the stream's root: saves the text
  stream.close();
  return true;
}

// Reads the whole registry under both locks.
int load(Node& root) {
  Locked locked;
  if (!locked.held()) return kFileFailed;
  return readTree(registry().path, root) ? kDone : kFileFailed;
}

// Every component counts: an empty one finds nothing.
const Node* find(const Node& root, const std::string& path) {
  const Node* node = &root;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find('\\', start);
    const auto child = node->children.find(path.substr(start, end - start));
    if (child == node->children.end()) return nullptr;
    node = child->second.get();
    if (end == std::string::npos) return node;
    start = end + 1;
  }
}

// The folders of a path to set (empty ones skipped) and the node's own
// name; false when a name cannot be stored or the path is nested deeper
// than a file may be.
bool splitForSet(const std::string& path, std::vector<std::string>& folders, std::string& leaf) {
  const std::size_t last = path.rfind('\\');
  leaf = last == std::string::npos ? path : path.substr(last + 1);
  if (!isValidName(leaf)) return false;
  if (last != std::string::npos) {
    folders = StringTools::splitToVector(path.substr(0, last), '\\', 0, true);
  }
  for (const std::string& folder : folders) {
    if (!isValidName(folder)) return false;
  }
  // "root" itself stands at depth 0.
  return folders.size() + 1 < ObjectStream::kMaxParseDepth;
}

}  // namespace

int setPath(const std::string& path) {
  Registry& r = registry();
  r.lock.lock(true);
  std::string resolved = path;
  r.path = FileTools::resolvePath(resolved);
  r.mutex.reset();
  r.lock.unlock();
  return kDone;
}

std::string path() {
  Registry& r = registry();
  r.lock.lock(true);
  std::string current = r.path;
  r.lock.unlock();
  return current;
}

int get(const std::string& path, int type, std::string& value) {
  if (type < kInt || type > kList || path.empty()) return kBadArgument;
  Node root;
  if (load(root) != kDone) return kFileFailed;
  const Node* node = find(root, path);
  if (node == nullptr) return kNotFound;
  if (node->type != type) return kWrongType;
  value = node->value;
  return kDone;
}

int set(const std::string& path, int type, const std::string& value) {
  if (type < kInt || type > kList || path.empty()) return kBadArgument;
  std::vector<std::string> folders;
  std::string leaf;
  if (!splitForSet(path, folders, leaf)) return kBadArgument;
  // The file's reader drops every CR, so such a value would come back changed.
  if (value.find('\r') != std::string::npos) return kBadArgument;
  Locked locked;  // from before the read until the new file is in place
  if (!locked.held()) return kFileFailed;
  const std::string file = registry().path;
  Node root;
  if (!readTree(file, root)) return kFileFailed;
  Node* node = &root;
  for (const std::string& folder : folders) {
    std::unique_ptr<Node>& child = node->children[folder];
    if (!child) {
      child = std::make_unique<Node>();
      child->name = folder;
    }
    node = child.get();
  }
  auto leafNode = std::make_unique<Node>();
  leafNode->name = leaf;
  leafNode->type = type;
  leafNode->value = value;
  node->children[leaf] = std::move(leafNode);
  return writeTree(file, root) ? kDone : kFileFailed;
}

int getInt(const std::string& path, int64_t& value) {
  std::string text;
  const int result = get(path, kInt, text);
  if (result == kDone) value = StringTools::toInt64(text);
  return result;
}

int getUint(const std::string& path, uint64_t& value) {
  std::string text;
  const int result = get(path, kUint, text);
  if (result == kDone) value = StringTools::toUInt64(text);
  return result;
}

int getDouble(const std::string& path, double& value) {
  std::string text;
  const int result = get(path, kDouble, text);
  if (result == kDone) value = std::atof(text.c_str());
  return result;
}

int getList(const std::string& path, std::vector<std::string>& items) {
  std::string text;
  const int result = get(path, kList, text);
  if (result != kDone) return result;
  items.clear();
  std::string item;
  for (char c : text) {
    if (c != '\0') {
      item += c;
      continue;
    }
    if (item.empty() && !items.empty()) break;  // a second NUL in a row
    items.push_back(item);
    item.clear();
  }
  return kDone;
}

int setList(const std::string& path, const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    text += item;
    text += '\0';
  }
  text += '\0';
  return set(path, kList, text);
}

void setUseFileRegistry(bool use) {
  useSwitch = use;
}

bool useFileRegistry() {
  return useSwitch;
}

}  // namespace VemoraCorelib::FileRegistry
