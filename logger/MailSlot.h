// The mailslot channel. A receiver creates the mailslot at construction
// (IPCException 2 when one of that name exists); a sender opens it on the
// first send and writes one message per send, text plus a closing zero
// byte. Senders of all processes serialise on the named lock
// "Vemora_MailSlot"; a send that cannot get it within about 2 seconds
// fails. One MailSlot serves one thread at a time.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "logger/IPC.h"

namespace platform {
class Mailslot;
}

namespace Vemora {

class Monopoly;

class MailSlot : public IPC {
 public:
  static constexpr const char* kLockName = "Vemora_MailSlot";

  // Throws IPCException 7 when the lock object cannot be made, 2 when a
  // receiver cannot create the mailslot.
  MailSlot(int mode, const std::string& name);
  ~MailSlot() override;

  // True when the message was written. Throws IPCException 3 on a
  // receiver, 5 when the mailslot cannot be opened (message: the system's
  // error text) or the write fails (message: "Error " and the number). A
  // full receiver (1450) gets fullWaitMs (about a second) to make room,
  // then keeps the handle; any other failed write drops it, so the next
  // send opens the mailslot afresh (a restarted receiver is found again).
  bool send(const std::string& text) override;
  // Appends every waiting message (its text up to the first zero byte) in
  // arrival order; returns when none waits. IPCException 4 on a sender, 6
  // when the mailslot cannot be read.
  void receive(std::list<std::string>& out) override;

  const std::string& name() const { return name_; }

  // How long a send waits for a full receiver to make room, for every
  // sender of the process. A sender cannot tell a receiver that stopped
  // reading from one whose reader has not run yet, so the wait is bounded;
  // tests that must not depend on how soon a reader thread runs lengthen it.
  static constexpr uint32_t kDefaultFullWaitMs = 1000;
  static uint32_t fullWaitMs();
  static void setFullWaitMs(uint32_t ms);

 private:
  bool takeLock();
  bool write(const std::string& text, uint32_t& error);

  std::unique_ptr<platform::Mailslot> handle_;
  std::string name_;
  std::unique_ptr<Monopoly> lock_;
  bool stalled_ = false;  // the last wait for a full receiver ran out
};

}  // namespace Vemora
