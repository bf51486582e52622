// Mailslots: a local, message-oriented, one-way channel (CreateMailslotA,
// GetMailslotInfo and ReadFile on the receiving side; CreateFileA and
// WriteFile on the sending side).
//
// Stand-in: a Unix datagram socket bound in the abstract namespace. The
// socket name is derived from the mailslot name lower-cased (mailslot
// names are case-insensitive) and from the folder of the named mutexes
// (platform/LockFolder.h), so processes that share named mutexes also share
// mailslots. Security descriptors do not exist here.
//
// Promises:
//   - create: a second receiver of the same name fails with
//     kErrorAlreadyExists (183).
//   - open: without a receiver it fails with kErrorFileNotFound (2).
//   - write: never blocks; a full receiver fails with kErrorNoSystemResources
//     (1450); a receiver that has gone away fails with
//     kErrorFileNotFound (2) on every later write of that handle.
//   - nextMessageSize: kMailslotNoMessage when nothing waits.
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

  bool receiver() const { return receiver_; }

 private:
  Mailslot(int fd, bool receiver) : fd_(fd), receiver_(receiver) {}

  int fd_;
  bool receiver_;
};

}  // namespace platform
