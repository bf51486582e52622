#include "relayhub/ConnectionsLog.h"

#include "common/DateTime.h"
#include "common/StringOps.h"
#include "platform/Thread.h"

namespace Vemora {

namespace {

constexpr int kAppend = 3;

std::string now() {
  return DateTime().toString();
}

}  // namespace

ConnectionsLog::~ConnectionsLog() {
  if (!isOpen()) return;
  write("\nLog file ended at " + now() + "\n\n");
  file_.close();
}

bool ConnectionsLog::open(const std::string& path) {
  if (isOpen()) file_.close();
  if (!file_.open(path, kAppend)) return false;
  write("\nVemora RelayHub Connection Log opened at " + now() + "\n\n");
  file_.flush();
  return true;
}

void ConnectionsLog::write(const std::string& text) {
  file_.write(text);
}

bool ConnectionsLog::logLine(const Address& address, const std::string& keyword,
                             const std::string& text) {
  if (!isOpen()) return true;
  std::string line = now() + " " + StringOps::fromUInt(platform::currentThreadId()) + " " +
                     address.toText() + " " + keyword;
  if (!text.empty()) line += ": " + text;
  write(line + "\n");
  return file_.flush();
}

void ConnectionsLog::logMessage(const Address& address, const std::string& keyword,
                                const Message& msg, bool withLine) {
  if (!isOpen()) return;
  if (withLine) logLine(address, keyword, "");
  const std::string dump = "   " + msg.dump("");
  const uint32_t h = StringOps::hash(dump);
  auto it = dumped_.find(msg.getId());
  if (it != dumped_.end() && it->second == h) {
    write("   MSG ID: " + StringOps::fromUInt(msg.getId()) + "\n");
  } else {
    std::string text = dump;
    StringOps::replaceAll(text, "\n", "\n   ");
    write(text + "\n\n");
    if (dumped_.size() >= kRememberedIds) dumped_.clear();
    dumped_[msg.getId()] = h;
  }
  file_.flush();
}

}  // namespace Vemora
