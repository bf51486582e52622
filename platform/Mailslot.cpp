#include "platform/Mailslot.h"

#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/LastError.h"
#include "platform/LockFolder.h"

namespace platform {

namespace {

uint64_t fnv1a(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string hex(uint64_t v) {
  static const char* digits = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) out[i] = digits[v & 0xF];
  return out;
}

// The abstract socket name: the scope of the named mutexes, then the
// lower-cased mailslot name (hashed when it would not fit).
std::string socketName(const std::string& name) {
  const std::string scope = lockFolder();
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string result = "vemora-mailslot." + hex(fnv1a(scope)) + "." + lower;
  constexpr size_t kMax = sizeof(sockaddr_un::sun_path) - 1;
  if (result.size() > kMax)
    result = "vemora-mailslot." + hex(fnv1a(scope)) + "." + hex(fnv1a(lower));
  return result;
}

socklen_t fillAddress(const std::string& name, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::string abstractName = socketName(name);
  // sun_path[0] stays 0: the abstract namespace.
  std::memcpy(addr.sun_path + 1, abstractName.data(), abstractName.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());
}

void setErrorFor(int err) {
  switch (err) {
    case ECONNREFUSED:
    case ENOENT:
    case ENOTCONN:
      setLastError(kErrorFileNotFound);
      break;
    case EADDRINUSE:
      setLastError(kErrorAlreadyExists);
      break;
    case EAGAIN:
    case ENOBUFS:
      setLastError(kErrorNoSystemResources);
      break;
    default:
      setLastErrorFromErrno(err);
  }
}

// The size of the datagram at the head of the socket, -1 when none waits
// (errno EAGAIN) or on failure.
ssize_t peekSize(int fd) {
  for (;;) {
    // MSG_TRUNC makes a peek report the whole datagram's length.
    const ssize_t n = ::recv(fd, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Waits until `fd` can take a datagram; false once `deadline` has passed.
bool waitWritable(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace

// The receiver's own queue and the thread that fills it from the socket.
// Messages are taken off the socket only under the lock, by the thread or
// by a caller topping the queue up, so they stay in arrival order.
class Mailslot::Inbox {
 public:
  Inbox(int socketFd, int wakeFd) : socket_(socketFd), wake_(wakeFd) {
    reader_ = std::thread([this]() { run(); });
  }
  ~Inbox() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stopping_ = true;
    }
    changed_.notify_all();
    const uint64_t one = 1;
    while (::write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    reader_.join();
    ::close(wake_);
  }

  bool nextSize(uint32_t& size) {
    std::lock_guard<std::mutex> guard(lock_);
    const int err = fill();
    if (messages_.empty() && err != 0) {
      setErrorFor(err);
      return false;
    }
    size = messages_.empty() ? kMailslotNoMessage : static_cast<uint32_t>(messages_.front().size());
    setLastError(kErrorSuccess);
    return true;
  }

  bool take(std::string& out) {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      const int err = fill();
      if (!messages_.empty()) break;
      if (err != 0) {
        setErrorFor(err);
        return false;
      }
      changed_.wait(guard);
    }
    out = std::move(messages_.front());
    messages_.pop_front();
    bytes_ -= out.size();
    guard.unlock();
    changed_.notify_all();  // the reader may have been waiting for room
    setLastError(kErrorSuccess);
    return true;
  }

 private:
  bool full() const {
    return messages_.size() >= kMailslotQueueMessages || bytes_ >= kMailslotQueueBytes;
  }

  // Moves waiting datagrams from the socket into the queue while there is
  // room. Under the lock. 0, or the errno of a failed read.
  int fill() {
    while (!full()) {
      const ssize_t size = peekSize(socket_);
      if (size < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
      // One byte more, so an empty datagram is read into a real buffer.
      std::vector<char> buffer(static_cast<size_t>(size) + 1);
      ssize_t n;
      do {
        n = ::recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
      messages_.emplace_back(buffer.data(), static_cast<size_t>(n));
      bytes_ += messages_.back().size();
    }
    return 0;
  }

  void run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      changed_.wait(guard, [this]() { return stopping_ || !full(); });
      if (stopping_) return;
      guard.unlock();
      pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
      const int n = ::poll(fds, 2, -1);
      guard.lock();
      if (stopping_) return;
      if (n < 0 && errno != EINTR) return;  // callers still read the socket
      const bool filled = !messages_.empty();
      if (fill() != 0) return;
      if (!filled && !messages_.empty()) changed_.notify_all();
    }
  }

  const int socket_;
  const int wake_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> messages_;
  size_t bytes_ = 0;
  bool stopping_ = false;
  std::thread reader_;
};

Mailslot::Mailslot(int fd) : fd_(fd) {}

Mailslot::Mailslot(int fd, std::unique_ptr<Inbox> inbox) : fd_(fd), inbox_(std::move(inbox)) {}

Mailslot::~Mailslot() {
  inbox_.reset();  // ends the reader before its socket goes
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<Mailslot> Mailslot::create(const std::string& name) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    setErrorFor(errno);
    return nullptr;
  }
  sockaddr_un addr;
  const socklen_t len = fillAddress(name, addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    const int err = errno;
    ::close(fd);
    setErrorFor(err);
    return nullptr;
  }
  const int wake = ::eventfd(0, EFD_CLOEXEC);
  if (wake < 0) {
    const int err = errno;
    ::close(fd);
    setErrorFor(err);
    return nullptr;
  }
  try {
    std::unique_ptr<Mailslot> slot(new Mailslot(fd, std::make_unique<Inbox>(fd, wake)));
    setLastError(kErrorSuccess);
    return slot;
  } catch (const std::exception&) {
    // No thread or no memory for the reader.
    ::close(wake);
    ::close(fd);
    setLastError(kErrorNotEnoughMemory);
    return nullptr;
  }
}

std::unique_ptr<Mailslot> Mailslot::open(const std::string& name) {
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    setErrorFor(errno);
    return nullptr;
  }
  sockaddr_un addr;
  const socklen_t len = fillAddress(name, addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    const int err = errno;
    ::close(fd);
    setErrorFor(err);
    return nullptr;
  }
  setLastError(kErrorSuccess);
  return std::unique_ptr<Mailslot>(new Mailslot(fd));
}

bool Mailslot::nextMessageSize(uint32_t& size) {
  if (!inbox_) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  return inbox_->nextSize(size);
}

bool Mailslot::read(std::string& out) {
  if (!inbox_) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  return inbox_->take(out);
}

bool Mailslot::write(const void* data, size_t length) {
  if (inbox_) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  for (;;) {
    const ssize_t n = ::send(fd_, data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      setLastError(kErrorSuccess);
      return true;
    }
    if (errno == EINTR) continue;
    setErrorFor(errno);
    return false;
  }
}

bool Mailslot::waitForRoom(uint32_t timeoutMs) {
  if (inbox_) return false;
  return waitWritable(fd_, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs));
}

}  // namespace platform
