#include "logger/MailSlot.h"

#include <atomic>
#include <new>

#include "common/Monopoly.h"
#include "logger/IPCException.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/Mailslot.h"

namespace Vemora {

namespace {

// The senders' lock is tried this often, this far apart (about 2 seconds),
// before a send gives up: a stuck sender elsewhere must not stall logging.
constexpr int kLockAttempts = 100;
constexpr uint32_t kLockPauseMs = 20;
constexpr uint32_t kErrorNoNetwork = 1231;
// How long a send waits for a full receiver to make room.
std::atomic<uint32_t> g_fullWaitMs{MailSlot::kDefaultFullWaitMs};

[[noreturn]] void fail(int code, const std::string& message, int line) {
  throw IPCException(code, message, __FILE__, line);
}

}  // namespace

MailSlot::MailSlot(int mode, const std::string& name) : IPC(mode), name_(name) {
  lock_.reset(new (std::nothrow) Monopoly(kLockName));
  if (!lock_) fail(IPCException::IC_MEM, std::string(), __LINE__);
  if (mode_ == kReceiver) {
    handle_ = platform::Mailslot::create(name_);
    if (!handle_)
      fail(IPCException::IC_CANNOT_CREATE_COMM, std::to_string(platform::lastError()), __LINE__);
  }
}

MailSlot::~MailSlot() = default;

uint32_t MailSlot::fullWaitMs() {
  return g_fullWaitMs.load();
}

void MailSlot::setFullWaitMs(uint32_t ms) {
  g_fullWaitMs.store(ms);
}

bool MailSlot::takeLock() {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (lock_->enforce()) return true;
    platform::sleepMs(kLockPauseMs);
  }
  return false;
}

bool MailSlot::send(const std::string& text) {
  if (mode_ == kReceiver) fail(IPCException::IC_NOT_SENDER, std::string(), __LINE__);
  if (!handle_) {
    // Senders to the whole domain reach this machine only.
    handle_ = platform::Mailslot::open(name_);
    if (!handle_)
      fail(IPCException::IC_CANNOT_SEND, platform::errorText(platform::lastError()), __LINE__);
  }
  uint32_t error = 0;
  if (write(text, error)) return true;
  // Reopen on the next send, so a receiver that was restarted is found. A
  // full receiver is still there: its handle is kept.
  if (error != platform::kErrorNoSystemResources) handle_.reset();
  std::string message = "Error " + std::to_string(error);
  if (error == kErrorNoNetwork) message += " - No network";
  fail(IPCException::IC_CANNOT_SEND, message, __LINE__);
}

// One write of the text and its closing zero byte, under the senders'
// lock. A full receiver gets up to fullWaitMs() to make room (without the
// lock held); once such a wait ran out, this sender does not wait again
// until a write gets through, so a receiver that stops reading costs one
// wait, not one per send.
bool MailSlot::write(const std::string& text, uint32_t& error) {
  const uint64_t deadline = platform::monotonicMs() + g_fullWaitMs.load();
  for (;;) {
    if (!takeLock()) {
      fail(IPCException::IC_CANNOT_SEND, "Error " + std::to_string(platform::kErrorTimeout),
           __LINE__);
    }
    const bool written = handle_->write(text.c_str(), text.size() + 1);
    error = platform::lastError();
    lock_->relax();
    if (written) {
      stalled_ = false;
      return true;
    }
    if (error != platform::kErrorNoSystemResources || stalled_) return false;
    const uint64_t now = platform::monotonicMs();
    if (now >= deadline || !handle_->waitForRoom(static_cast<uint32_t>(deadline - now))) {
      stalled_ = true;
      return false;
    }
  }
}

void MailSlot::receive(std::list<std::string>& out) {
  if (mode_ != kReceiver) fail(IPCException::IC_NOT_RECEIVER, std::string(), __LINE__);
  for (;;) {
    uint32_t size = 0;
    if (!handle_->nextMessageSize(size)) {
      fail(IPCException::IC_CANNOT_RECEIVE, std::to_string(platform::lastError()), __LINE__);
    }
    if (size == platform::kMailslotNoMessage) return;
    std::string message;
    bool read = false;
    try {
      read = handle_->read(message);
    } catch (const std::bad_alloc&) {
      fail(IPCException::IC_MEM, std::string(), __LINE__);
    }
    if (!read) {
      fail(IPCException::IC_CANNOT_RECEIVE, std::to_string(platform::lastError()), __LINE__);
    }
    const size_t zero = message.find('\0');
    if (zero != std::string::npos) message.erase(zero);
    out.push_back(message);
  }
}

}  // namespace Vemora
