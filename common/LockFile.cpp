#include "common/LockFile.h"

#include <atomic>
#include <random>

#include "common/FileOps.h"
#include "common/FileUtils.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

constexpr int kWriteTruncate = 2;
constexpr int kWriteAppend = 3;
constexpr int kRead = 1;

std::string compactUtc(const DateTime& t) {
  return t.toUtcString(true, false);
}

}  // namespace

std::string LockFile::makeOwnerId() {
  // Seeded with the creation second, plus the process id and a counter, so
  // that two locks made within one second still get distinct ids.
  static std::atomic<uint32_t> counter{0};
  DateTime now;
  const uint32_t seed = static_cast<uint32_t>(now.seconds()) ^ (platform::processId() << 16) ^
                        (counter.fetch_add(1) * 2654435761u);
  std::minstd_rand generator(seed == 0 ? 1 : seed);
  std::string id = compactUtc(now);
  for (int i = 0; i < 10; ++i) id += static_cast<char>(generator() % 94 + 32);
  return id;
}

LockFile::LockFile(const std::string& path) : path_(path), ownerId_(makeOwnerId()) {
  existedBefore_ = FileOps::pathExists(path_);
  read();
}

LockFile::~LockFile() {
  closeAll();
}

void LockFile::closeAll() {
  heldFile_.close();
  lockFile_.close();
}

void LockFile::read() {
  present_ = true;
  if (!FileOps::pathExists(lockPath())) {
    present_ = false;
    return;
  }
  BasicFile in;
  if (!in.open(lockPath(), kRead)) return;
  std::string lines[4];
  int count = 0;
  for (; count < 4; ++count) {
    lines[count] = in.readLine();
    if (lines[count].empty() && in.lastError() != 0) break;
  }
  in.close();
  if (count > 0) lockTime_ = DateTime(lines[0]);
  if (count > 1) expiry_ = DateTime(lines[1]);
  if (count > 2) ownerIdRead_ = lines[2];
  if (count > 3) holdsFile_ = lines[3] == "original";
}

bool LockFile::lockFor(const TimeSpan& lifetime, bool holdFile) {
  lockTime_ = DateTime();
  expiry_ = lockTime_.plus(lifetime);
  return lock(holdFile);
}

bool LockFile::lock(bool holdFile) {
  if (present_) return false;
  if (!lockFile_.open(lockPath(), kWriteTruncate)) return false;
  if (holdFile && !heldFile_.open(path_, kWriteAppend)) {
    lockFile_.close();
    FileOps::deleteFile(lockPath());
    return false;
  }
  const std::string lines[4] = {compactUtc(lockTime_), compactUtc(expiry_), ownerId_,
                                holdFile ? "original" : "missing"};
  for (const std::string& line : lines) {
    if (!lockFile_.writeLine(line)) {
      closeAll();
      return false;
    }
  }
  present_ = true;
  ownerIdRead_ = ownerId_;
  holdsFile_ = holdFile;
  return true;
}

bool LockFile::unlock() {
  if (!present_) return true;
  if (ownerIdRead_ != ownerId_) {
    if (DateTime().seconds() < expiry_.seconds()) return false;
    if (!FileOps::deleteFile(lockPath())) return false;
  } else {
    closeAll();
    FileOps::deleteFile(lockPath());
  }
  present_ = false;
  return true;
}

}  // namespace Vemora
