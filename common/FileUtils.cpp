#include "common/FileUtils.h"

#include <atomic>
#include <memory>
#include <vector>

#include "common/BasicFile.h"
#include "common/FileInfo.h"
#include "common/FileOps.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/LastError.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

std::atomic<uint32_t> tempCounter{0};

// A temporary name beside `path` that no listing of "*.txt" or similar
// patterns of the callers picks up.
std::string temporaryName(const std::string& path) {
  const std::string folder = FileUtils::dirName(path);
  std::string name = FileUtils::fileName(path);
  if (name.size() > 180) name = "wf";  // keep within the name length limit
  return folder + "~" + name + "." + std::to_string(platform::processId()) + "-" +
         std::to_string(tempCounter.fetch_add(1)) + ".tmp";
}

// Creates a new temporary file beside `path`; its name goes to `temp`.
std::unique_ptr<platform::File> createTemporary(const std::string& path, std::string& temp) {
  using platform::File;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = temporaryName(path);
    std::unique_ptr<File> file = File::open(temp, File::kWrite | File::kCreate | File::kExclusive);
    if (file || platform::lastError() != platform::kErrorFileExists) return file;
  }
  return nullptr;
}

}  // namespace

std::list<DirectoryEntry> FileUtils::listDirectory(const std::string& directory,
                                                   const std::string& pattern) {
  std::string folder = directory;
  addTrailingSeparator(folder);
  std::list<DirectoryEntry> entries;
  std::vector<platform::FindData> found;
  if (!platform::findFiles(folder + pattern, found)) return entries;
  for (const platform::FindData& data : found) {
    entries.push_back({data.name, (data.attributes & platform::kFileAttributeDirectory) == 0});
  }
  return entries;
}

std::list<DirectoryEntry> FileUtils::listDirectoryWrapper(const std::string& directory,
                                                          const std::string& pattern) {
  return listDirectory(directory, pattern);
}

bool FileUtils::move(const std::string& from, const std::string& to, bool overwrite) {
  return FileOps::move(from, to, overwrite);
}

bool FileUtils::copy(const std::string& from, const std::string& to, bool overwrite) {
  return FileOps::copy(from, to, overwrite);
}

int64_t FileUtils::fileSize(const std::string& path) {
  FileInfo info;
  return FileOps::stat(path, info) ? info.size : 0;
}

DateTime FileUtils::modificationTime(const std::string& path) {
  FileInfo info;
  return FileOps::stat(path, info) ? info.written : DateTime(0);
}

bool FileUtils::readFile(const std::string& path, std::string& out) {
  BasicFile file;
  if (!file.open(path, 1)) return false;
  const bool ok = file.read(out, static_cast<uint64_t>(file.size()));
  file.close();
  return ok;
}

bool FileUtils::writeFile(const std::string& path, const std::string& text) {
  std::string temp;
  if (!writeTemporary(path, text, temp)) return false;
  if (!syncFiles({temp})) {
    platform::deleteFile(temp);
    return false;
  }
  if (!commitTemporary(temp, path)) return false;
  return platform::syncFolder(dirName(path));
}

bool FileUtils::writeTemporary(const std::string& path, const std::string& text,
                               std::string& temp) {
  if (path.empty() || isSeparator(path.back())) return false;
  const uint32_t attributes = platform::fileAttributes(path);
  // A truncating open would refuse these; the rename must not replace them.
  if (attributes != platform::kInvalidFileAttributes &&
      (attributes & (platform::kFileAttributeDirectory | platform::kFileAttributeReadonly))) {
    return false;
  }
  std::unique_ptr<platform::File> file = createTemporary(path, temp);
  if (!file) return false;
  const bool ok = file->writeAt(0, text.data(), text.size()) && file->close();
  file.reset();
  if (!ok) platform::deleteFile(temp);
  return ok;
}

bool FileUtils::commitTemporary(const std::string& temp, const std::string& path) {
  if (platform::fileAttributes(path) != platform::kInvalidFileAttributes) {
    platform::copyPermissions(path, temp);
  }
  if (platform::moveFileEx(temp, path, platform::kMoveFileReplaceExisting)) return true;
  platform::deleteFile(temp);
  return false;
}

bool FileUtils::syncFiles(const std::vector<std::string>& paths, std::vector<uint32_t>* errors) {
  if (paths.empty() && errors != nullptr) errors->clear();
  return paths.empty() || platform::syncFiles(paths, errors);
}

bool FileUtils::syncFolders(const std::vector<std::string>& folders,
                            std::vector<uint32_t>* errors) {
  if (folders.empty() && errors != nullptr) errors->clear();
  return folders.empty() || platform::syncFolders(folders, errors);
}

bool FileUtils::appendFile(const std::string& path, const std::string& text) {
  if (!FileOps::pathExists(path)) return writeFile(path, text);
  BasicFile file;
  if (!file.open(path, 3)) return false;
  const bool ok = file.write(text);
  file.close();
  return ok;
}

bool FileUtils::deleteFile(const std::string& path, bool force) {
  FileInfo info;
  if (!FileOps::stat(path, info)) return false;
  if (!force) {
    if (info.attributes & FileInfo::kReadOnly) return false;
    return FileOps::deleteFile(path);
  }
  if (FileOps::deleteFile(path)) return true;
  // Only a read-only file is worth a second try.
  if (platform::lastError() != platform::kErrorAccessDenied) return false;
  if (!FileOps::setAttributes(path, FileInfo::kNormal)) return false;
  return FileOps::deleteFile(path);
}

bool FileUtils::createPath(const std::string& path, std::string& failedDirectory) {
  if (path.empty()) return true;
  std::string directory = dirName(path);
  stripTrailingSeparators(directory);
  if (FileOps::pathExists(directory)) return true;
  // The parents first; whether they were made is decided by the creation of
  // this directory. A directory part that is the path itself (a root) has no
  // parents to make.
  if (directory != path) {
    std::string ignored;
    createPath(directory, ignored);
  }
  if (FileOps::createDirectory(directory)) return true;
  failedDirectory = directory;
  return false;
}

bool FileUtils::createDirectory(const std::string& path) {
  std::string ignored;
  return createPath(path, ignored);
}

bool FileUtils::removeDirectory(const std::string& path, bool force, bool recursive) {
  std::string folder = path;
  stripTrailingSeparators(folder);
  if (!FileOps::isDirectory(folder)) return false;
  const uint32_t attributes = platform::fileAttributes(folder);
  const bool link = attributes != platform::kInvalidFileAttributes &&
                    (attributes & platform::kFileAttributeReparsePoint) != 0;
  if (recursive && !link) {
    for (const DirectoryEntry& entry : listDirectory(folder + "\\", "*")) {
      if (entry.name == "." || entry.name == "..") continue;
      const std::string child = folder + "/" + entry.name;
      if (entry.isFile) {
        deleteFile(child, force);
      } else {
        removeDirectory(child, force, recursive);
      }
    }
  }
  FileInfo info;
  if (!FileOps::stat(folder, info)) return false;
  if (force) {
    if (!FileOps::setAttributes(folder, FileInfo::kNormal)) return false;
  } else if (info.attributes & FileInfo::kReadOnly) {
    return false;
  }
  return FileOps::removeDirectory(folder);
}

std::string FileUtils::dirName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string FileUtils::fileName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FileUtils::extension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string FileUtils::cutExtension(std::string& path) {
  const std::string ext = extension(path);
  if (!ext.empty()) path.erase(path.size() - ext.size() - 1);
  return ext;
}

void FileUtils::addTrailingSeparator(std::string& path) {
  if (!path.empty() && !isSeparator(path.back())) path.push_back('\\');
}

void FileUtils::stripTrailingSeparators(std::string& path) {
  while (path.size() > 1 && isSeparator(path.back())) path.pop_back();
}

void FileUtils::collapseSeparators(std::string& path) {
  if (path.size() < 2) return;
  std::string out(1, path[0]);
  bool previous = false;
  for (size_t i = 1; i < path.size(); ++i) {
    if (isSeparator(path[i])) {
      if (!previous) out.push_back('\\');
      previous = true;
    } else {
      out.push_back(path[i]);
      previous = false;
    }
  }
  path.swap(out);
}

bool FileUtils::isValidFileName(const std::string& name) {
  if (name.empty()) return true;
  if (name.find_first_of("?*") != std::string::npos) return false;
  return !isSeparator(name.back());
}

bool FileUtils::onlyAllowedControls(const std::string& text, const std::string& allowed) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 32 && allowed.find(c) == std::string::npos) return false;
  }
  return true;
}

}  // namespace Vemora
