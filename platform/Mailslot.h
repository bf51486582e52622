// Mailslots: a local, message-oriented, one-way channel (CreateMailslotA,
// GetMailslotInfo and ReadFile on the receiving side; CreateFileA and
// WriteFile on the sending side).
//
// Stand-in: a Unix datagram socket bound in the abstract namespace. The
// socket name is derived from the mailslot name lower-cased (mailslot
// names are case-insensitive) and from the folder of the named mutexes
// (platform/LockFolder.h), so processes that share named mutexes also share
// mailslots. Security descriptors do not exist here. The kernel holds only
// a few datagrams per socket, so a receiver, like a Windows mailslot,
// keeps the waiting messages itself: a reader thread of the receiving
// object moves them from the socket into its own queue, which holds up to
// kMailslotQueueMessages messages or kMailslotQueueBytes bytes, whichever
// comes first. Beyond that, messages wait in the socket until it is full.
//
// Promises:
//   - create: a second receiver of the same name fails with
//     kErrorAlreadyExists (183).
//   - open: without a receiver it fails with kErrorFileNotFound (2).
//   - write: never blocks; a full socket fails with kErrorNoSystemResources
//     (1450) (waitForRoom then tells when the receiver's reader has made
//     room); a receiver that has gone away fails with kErrorFileNotFound (2)
//     on every later write of that handle.
//   - nextMessageSize: the size of the oldest waiting message (the
//     receiver's queue is topped up from the socket first), or
//     kMailslotNoMessage when nothing waits.
// Cannot do: senders to the whole domain ("\\*\mailslot\"); messages larger
// than the socket buffer (about 200 KiB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

constexpr uint32_t kMailslotNoMessage = 0xFFFFFFFFu;
constexpr uint32_t kErrorNoSystemResources = 1450;
constexpr size_t kMailslotQueueMessages = 1000;
constexpr size_t kMailslotQueueBytes = 1024 * 1024;

class Mailslot {
 public:
  ~Mailslot();
  Mailslot(const Mailslot&) = delete;
  Mailslot& operator=(const Mailslot&) = delete;

  // CreateMailslotA("\\.\mailslot\<name>"): nullptr and the last error set
  // when it cannot be created.
  static std::unique_ptr<Mailslot> create(const std::string& name);
  // CreateFileA("\\.\mailslot\<name>") for writing: nullptr and the last
  // error set when no receiver of that name exists.
  static std::unique_ptr<Mailslot> open(const std::string& name);

  // GetMailslotInfo on a receiver: the size of the next message, or
  // kMailslotNoMessage. False (last error set) on failure.
  bool nextMessageSize(uint32_t& size);
  // ReadFile on a receiver: reads the next message whole into `out`
  // (waiting for one when none waits). False (last error set) on failure.
  bool read(std::string& out);
  // WriteFile on a sender: one message of `length` bytes, without waiting.
  bool write(const void* data, size_t length);
  // On a sender: waits up to `timeoutMs` until a write may find room; false
  // when the time ran out (or on a receiver).
  bool waitForRoom(uint32_t timeoutMs);

  bool receiver() const { return inbox_ != nullptr; }

 private:
  class Inbox;

  explicit Mailslot(int fd);
  Mailslot(int fd, std::unique_ptr<Inbox> inbox);

  int fd_;
  std::unique_ptr<Inbox> inbox_;  // receivers only
};

}  // namespace platform
