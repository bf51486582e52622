#include "relayhub/MessageBox.h"

#include <vector>

#include "common/ObjectFiler.h"
#include "common/StringOps.h"
#include "platform/Clock.h"
#include "relayhub/RHBackup.h"

namespace Vemora {

namespace {

uint32_t nowSeconds() {
  return static_cast<uint32_t>(platform::unixTime());
}

std::string noBroadcastText(const std::set<uint32_t>& ids) {
  std::string text;
  for (uint32_t id : ids) {
    if (!text.empty()) text += ",";
    text += StringOps::fromUInt(id);
  }
  return text;
}

bool putString(ObjectFiler& filer, ObjectFiler::ObjectNode* node, const char* key,
               const std::string& value) {
  ObjectFiler::ValueNode* v = filer.addValue(node, key);
  if (v == nullptr) return false;
  v->setString(value);
  return true;
}

bool putInt(ObjectFiler& filer, ObjectFiler::ObjectNode* node, const char* key, int64_t value) {
  ObjectFiler::ValueNode* v = filer.addValue(node, key);
  if (v == nullptr) return false;
  v->setInt(value);
  return true;
}

bool putUInt(ObjectFiler& filer, ObjectFiler::ObjectNode* node, const char* key, uint64_t value) {
  ObjectFiler::ValueNode* v = filer.addValue(node, key);
  if (v == nullptr) return false;
  v->setUInt(value);
  return true;
}

bool putBool(ObjectFiler& filer, ObjectFiler::ObjectNode* node, const char* key, bool value) {
  ObjectFiler::ValueNode* v = filer.addValue(node, key);
  if (v == nullptr) return false;
  v->setBool(value);
  return true;
}

// Reads one stored message text; false unless it parses whole to a message
// that carries the id its file is named after.
bool parseMessage(const std::string& text, uint32_t id, Message& msg) {
  ObjectFiler filer;
  if (!filer.parseWhole(text) || !msg.load(filer)) return false;
  ObjectFiler::ObjectNode* node = filer.getObject(nullptr, "Message");
  return filer.getValue(node, "ID") != nullptr && msg.getId() == id;
}

}  // namespace

MessageBox::MessageBox(RHBackup* store) : store_(store) {}

MessageBox::MessageBox(RHBackup* store, const Address& address)
    : address_(address), store_(store) {}

bool MessageBox::save(ObjectFiler& filer) const {
  ObjectFiler::ObjectNode* node = filer.addObject(nullptr, "MessageBox");
  if (node == nullptr) return false;
  return putString(filer, node, "Name", address_.name) &&
         putString(filer, node, "Host", address_.host) && putInt(filer, node, "ID", id_) &&
         putInt(filer, node, "Port", port_) &&
         putUInt(filer, node, "LastActivity", lastActivity_) &&
         putBool(filer, node, "HaveNotified", haveNotified_) &&
         putString(filer, node, "NoBroadcast", noBroadcastText(noBroadcast_));
}

bool MessageBox::load(ObjectFiler& filer) {
  ObjectFiler::ObjectNode* node = filer.getObject(nullptr, "MessageBox");
  if (node == nullptr) return false;
  if (auto* v = filer.getValue(node, "Name")) address_.name = v->value();
  if (auto* v = filer.getValue(node, "Host")) address_.host = v->value();
  // Instance id and port are written signed and read back signed, so a
  // negative instance id survives a restart unchanged.
  if (auto* v = filer.getValue(node, "ID")) id_ = static_cast<int32_t>(v->getInt());
  if (auto* v = filer.getValue(node, "Port")) port_ = static_cast<int32_t>(v->getInt());
  if (auto* v = filer.getValue(node, "LastActivity")) {
    lastActivity_ = static_cast<uint32_t>(v->getUInt());
  }
  if (auto* v = filer.getValue(node, "HaveNotified")) haveNotified_ = v->getBool();
  if (auto* v = filer.getValue(node, "NoBroadcast")) {
    std::vector<std::string> pieces;
    StringOps::split(v->value(), ',', pieces, 2147483647, false);
    noBroadcast_.clear();
    for (const std::string& piece : pieces) noBroadcast_.insert(StringOps::toUInt(piece));
  }
  return true;
}

bool MessageBox::writeBoxFile() const {
  if (store_ == nullptr || fileDamaged_) return true;
  ObjectFiler filer;
  if (!save(filer)) return false;
  std::string text;
  filer.toString(text);
  if (!store_->writeBox(address_, text)) return false;
  fileWritten_ = true;
  return true;
}

void MessageBox::touch() {
  lastActivity_ = nowSeconds();
}

void MessageBox::touchNoEarlier() {
  const uint32_t now = nowSeconds();
  if (lastActivity_ < now) lastActivity_ = now;
}

Message MessageBox::boxCopy(const Message& msg) const {
  // The message keeps its fields as read (its target may hold capitals);
  // the record of sent messages names the box by its key instead.
  return msg;
}

bool MessageBox::hasPending(uint32_t id) const {
  for (const Message& m : pending_) {
    if (m.getId() == id) return true;
  }
  return false;
}

bool MessageBox::storesUnsent(const Message& msg) const {
  return !msg.isBroadcast() && address_.host != "nowhere" &&
         msg.getTarget().lowered().host != "nowhere" && store_ != nullptr;
}

void MessageBox::removeStored(uint32_t id) {
  if (store_ != nullptr && unreadable_.count(id) == 0) store_->removeMessage(address_, id);
}

bool MessageBox::addMessage(const Message& msg) {
  // A file of this id that could not be read is never overwritten.
  if (storesUnsent(msg) && unreadable_.count(msg.getId()) != 0) return false;
  removeMessage(msg.getId());
  pending_.push_back(boxCopy(msg));
  const Message& queued = pending_.back();
  if (queued.getPriority() == Message::kHigh) ++highCount_;
  noteHeldAgain(queued.getId());
  if (!storesUnsent(queued)) return true;
  ObjectFiler filer;
  if (!queued.save(filer)) return false;
  std::string text;
  filer.toString(text);
  return store_->writeUnsent(address_, queued.getId(), text);
}

void MessageBox::removeMessage(uint32_t id) {
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it->getId() != id) continue;
    if (it->getPriority() == Message::kHigh) --highCount_;
    removeStored(id);
    pending_.erase(it);
    heldAgain_.erase(id);
    return;
  }
}

void MessageBox::clearMessages() {
  while (!pending_.empty()) removeMessage(pending_.front().getId());
  highCount_ = 0;
}

void MessageBox::extract(std::list<Message>& out, uint32_t max) {
  touch();
  if (pending_.empty()) return;
  // Handed out, a copy is held again in its own right.
  uint32_t moved = 0;
  for (auto it = pending_.begin(); it != pending_.end() && moved < max; ++it, ++moved) {
    heldAgain_.erase(it->getId());
  }
  if (pending_.size() > max) {
    for (uint32_t i = 0; i < max; ++i) {
      if (pending_.front().getPriority() == Message::kHigh) --highCount_;
      out.splice(out.end(), pending_, pending_.begin());
    }
    if (highCount_ == 0) haveNotified_ = false;
    return;
  }
  out.splice(out.end(), pending_);
  highCount_ = 0;
  haveNotified_ = false;
}

bool MessageBox::addUnconfirmed(const Message& msg) {
  if (msg.isUncached()) return true;
  if (unreadable_.count(msg.getId()) != 0) return false;
  // Replaces an earlier held copy in memory and on disk, but never touches
  // the unsent copy: the message stays deliverable until it is confirmed,
  // whatever happens to the connection that carries it.
  const Message& held = unconfirmed_[msg.getId()] = boxCopy(msg);
  if (store_ == nullptr) return true;
  ObjectFiler filer;
  if (!held.save(filer)) return false;
  std::string text;
  filer.toString(text);
  return store_->writeUnconfirmed(address_, held.getId(), text);
}

void MessageBox::removeUnconfirmed(uint32_t id) {
  auto it = unconfirmed_.find(id);
  if (it == unconfirmed_.end()) return;
  if (heldAgain_.count(id) != 0) removeMessage(id);
  if (!hasPending(id)) {
    removeStored(id);
  } else if (store_ != nullptr && unreadable_.count(id) == 0) {
    // Another message waits under the id: its unsent copy stays.
    store_->removeUnconfirmed(address_, id);
  }
  unconfirmed_.erase(it);
}

void MessageBox::noteHeldAgain(uint32_t id) {
  auto held = unconfirmed_.find(id);
  if (held == unconfirmed_.end()) return;
  for (const Message& pending : pending_) {
    // A message of another sender under the same id is a message of its own.
    if (pending.getId() == id &&
        pending.getSource().lowered() == held->second.getSource().lowered()) {
      heldAgain_.insert(id);
    }
  }
}

void MessageBox::forgetDelivered(uint32_t id) {
  if (hasPending(id) || unconfirmed_.count(id) != 0) return;
  removeStored(id);
}

void MessageBox::requeueUnconfirmed() {
  std::map<uint32_t, Message> held;
  held.swap(unconfirmed_);
  heldAgain_.clear();
  for (const auto& entry : held) addMessage(entry.second);
  haveNotified_ = false;
}

void MessageBox::clearUnconfirmed() {
  for (const auto& entry : unconfirmed_) removeStored(entry.first);
  unconfirmed_.clear();
  heldAgain_.clear();
}

void MessageBox::update(int32_t port, int32_t instanceId) {
  touch();
  if (port == port_ && instanceId == id_) return;
  port_ = port;
  if (instanceId != id_) {
    id_ = instanceId;
    requeueUnconfirmed();
  }
  writeBoxFile();
}

void MessageBox::addNoBroadcast(uint32_t id) {
  noBroadcast_.insert(id);
  writeBoxFile();
}

void MessageBox::removeNoBroadcast(uint32_t id) {
  noBroadcast_.erase(id);
  writeBoxFile();
}

void MessageBox::clearNoBroadcast() {
  if (noBroadcast_.empty()) return;
  noBroadcast_.clear();
  writeBoxFile();
}

void MessageBox::loadUnsent(std::vector<std::string>* damaged) {
  loadStored(true, damaged);
}

void MessageBox::loadUnconfirmed(std::vector<std::string>* damaged) {
  loadStored(false, damaged);
}

void MessageBox::loadStored(bool unsent, std::vector<std::string>* damaged) {
  if (store_ == nullptr) return;
  const std::string folder =
      "msgboxes/" + RHBackup::boxDirName(address_) + (unsent ? "/unsent/" : "/unconfirmed/");
  const std::set<std::string> names =
      unsent ? store_->listUnsentFiles(address_) : store_->listUnconfirmedFiles(address_);
  for (const std::string& name : names) {
    uint32_t id = 0;
    // A write's temporary file left by a killed process: never a message.
    if (name[0] == '~' && name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
      continue;
    if (!RHBackup::messageFileId(name, id)) {
      if (damaged != nullptr) damaged->push_back(folder + name);
      continue;
    }
    std::string text;
    Message msg;
    const bool read = unsent ? store_->readUnsent(address_, name, text)
                             : store_->readUnconfirmed(address_, name, text);
    if (!read || !parseMessage(text, id, msg)) {
      unreadable_.insert(id);
      if (damaged != nullptr) damaged->push_back(folder + name);
      continue;
    }
    if (!unsent) {
      unconfirmed_[id] = boxCopy(msg);
      // Its unsent copy, loaded first, is the same message queued again.
      if (hasPending(id)) noteHeldAgain(id);
    } else if (!hasPending(id)) {
      pending_.push_back(boxCopy(msg));
      if (msg.getPriority() == Message::kHigh) ++highCount_;
    }
  }
}

bool MessageBox::isStoredMessage(const std::string& fileName, const std::string& text) {
  uint32_t id = 0;
  Message msg;
  return RHBackup::messageFileId(fileName, id) && parseMessage(text, id, msg);
}

void MessageBox::queueHeldWithoutPending() {
  for (const auto& entry : unconfirmed_) {
    if (!hasPending(entry.first)) addMessage(entry.second);
  }
}

}  // namespace Vemora
