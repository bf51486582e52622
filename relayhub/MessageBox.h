// Everything the daemon keeps for one agent address: the agent's instance id
// and call-back port, its last activity, the queue of messages waiting for it,
// the messages handed to it and not yet confirmed, and the broadcasts it must
// not be given again. Every change that must survive a restart is written
// through the state store at once.
//
// Thread-safety: none; a box is used by one thread at a time (the main thread
// during the start-up restore, afterwards the connection-handler thread).
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "relayhub/Address.h"
#include "relayhub/Message.h"

namespace Vemora {

class ObjectFiler;
class RHBackup;

class MessageBox {
 public:
  explicit MessageBox(RHBackup* store);
  MessageBox(RHBackup* store, const Address& address);
  virtual ~MessageBox() = default;
  MessageBox(const MessageBox&) = default;
  MessageBox& operator=(const MessageBox&) = default;

  // The stored form: an object "MessageBox" under the root.
  bool save(ObjectFiler& filer) const;
  // False only without a "MessageBox" object.
  bool load(ObjectFiler& filer);
  // Builds the tree and hands its text to the store; the store's result.
  bool writeBoxFile() const;
  // True once the box file was written (or the box was restored from it).
  bool isFileWritten() const { return fileWritten_; }
  void markFileWritten() { fileWritten_ = true; }
  // The box file on disk could not be read: it is kept as it is and never
  // rewritten (the box's own settings then live in memory only).
  void keepDamagedFile() {
    fileDamaged_ = true;
    fileWritten_ = true;
  }
  bool hasDamagedFile() const { return fileDamaged_; }
  // Stored message files of this box that could not be read: they stay on
  // disk, and no other message is ever stored over them.
  bool hasUnreadable() const { return !unreadable_.empty(); }
  void setAddress(const Address& address) { address_ = address; }

  // Queues a copy of the message, its target set to this box's address;
  // a pending message of the same id is replaced. Writes its unsent copy
  // unless it is a broadcast copy or its host is "nowhere". False when that
  // write failed (the message stays queued in memory).
  bool addMessage(const Message& msg);
  void removeMessage(uint32_t id);
  void clearMessages();
  // Hands out up to max pending messages, oldest first, appending to out.
  void extract(std::list<Message>& out, uint32_t max);

  // Holds a handed-out message until it is confirmed (not for "RAVEN" and
  // "NOCACHE" headers). False when its unconfirmed copy could not be written.
  bool addUnconfirmed(const Message& msg);
  // Erases an unconfirmed message and its stored copies, and a pending copy
  // that stands for the same handed-out message (queued again at start or
  // after a delivery that was not acknowledged): its confirmation withdraws
  // both.
  void removeUnconfirmed(uint32_t id);
  void requeueUnconfirmed();
  void clearUnconfirmed();
  // Removes the stored copies of a message that was delivered and is not
  // held unconfirmed, unless a pending or unconfirmed copy of that id is
  // still in the box.
  void forgetDelivered(uint32_t id);

  // Learns the agent's port and instance id at EXTR; a new instance id gets
  // the unconfirmed messages again.
  void update(int32_t port, int32_t instanceId);

  void addNoBroadcast(uint32_t id);
  void removeNoBroadcast(uint32_t id);
  void clearNoBroadcast();

  // Start-up restore of the stored copies. Only files named "<id>.txt"
  // whose text parses whole to a message of that id are taken; the others
  // are left on disk and their paths (below the state directory) added to
  // `damaged`.
  void loadUnsent(std::vector<std::string>* damaged = nullptr);
  void loadUnconfirmed(std::vector<std::string>* damaged = nullptr);
  // True when a stored message file (its name and text) is one the restore
  // takes: "<id>.txt" holding that id, parsed whole.
  static bool isStoredMessage(const std::string& fileName, const std::string& text);
  // Queues every unconfirmed message that has no pending copy (one stored
  // only as unconfirmed), so that it stays deliverable to its agent.
  void queueHeldWithoutPending();

  const Address& getAddress() const { return address_; }
  int32_t getId() const { return id_; }
  int32_t getPort() const { return port_; }
  uint32_t getLastActivity() const { return lastActivity_; }
  void setLastActivity(uint32_t seconds) { lastActivity_ = seconds; }
  void touch();
  // LastActivity = now unless it is later already (a restored box).
  void touchNoEarlier();
  bool haveNotified() const { return haveNotified_; }
  void setHaveNotified(bool on) { haveNotified_ = on; }
  int32_t getLastNotifyAttempt() const { return lastNotifyAttempt_; }
  void setLastNotifyAttempt(int32_t seconds) { lastNotifyAttempt_ = seconds; }
  const std::list<Message>& pending() const { return pending_; }
  int32_t highCount() const { return highCount_; }
  const std::map<uint32_t, Message>& unconfirmed() const { return unconfirmed_; }
  const std::set<uint32_t>& noBroadcast() const { return noBroadcast_; }
  bool hasPending(uint32_t id) const;
  RHBackup* store() const { return store_; }

 private:
  Message boxCopy(const Message& msg) const;
  void loadStored(bool unsent, std::vector<std::string>* damaged);
  bool storesUnsent(const Message& msg) const;
  // Deletes the stored copies of an id, unless a file of it is unreadable.
  void removeStored(uint32_t id);
  // Notes a pending copy of `id` that is the held message queued again.
  void noteHeldAgain(uint32_t id);

  Address address_;
  int32_t id_ = 0;
  int32_t port_ = 0;
  uint32_t lastActivity_ = 0;
  bool haveNotified_ = false;
  int32_t lastNotifyAttempt_ = 0;
  std::list<Message> pending_;
  int32_t highCount_ = 0;
  std::map<uint32_t, Message> unconfirmed_;
  std::set<uint32_t> noBroadcast_;
  RHBackup* store_ = nullptr;
  mutable bool fileWritten_ = false;
  bool fileDamaged_ = false;
  std::set<uint32_t> unreadable_;
  // Pending ids whose copy is the held (unconfirmed) message queued again.
  std::set<uint32_t> heldAgain_;
};

}  // namespace Vemora
