#include "platform/Mailslot.h"

#include <errno.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
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

}  // namespace

Mailslot::~Mailslot() {
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
  setLastError(kErrorSuccess);
  return std::unique_ptr<Mailslot>(new Mailslot(fd, true));
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
  return std::unique_ptr<Mailslot>(new Mailslot(fd, false));
}

bool Mailslot::nextMessageSize(uint32_t& size) {
  if (!receiver_) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  char probe;
  for (;;) {
    // MSG_TRUNC makes a peek report the whole datagram's length.
    const ssize_t n = ::recv(fd_, &probe, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (n >= 0) {
      size = static_cast<uint32_t>(n);
      setLastError(kErrorSuccess);
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      size = kMailslotNoMessage;
      setLastError(kErrorSuccess);
      return true;
    }
    setErrorFor(errno);
    return false;
  }
}

bool Mailslot::read(std::string& out) {
  if (!receiver_) {
    setLastError(kErrorInvalidHandle);
    return false;
  }
  for (;;) {
    ssize_t n = ::recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      setErrorFor(errno);
      return false;
    }
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      setErrorFor(errno);
      return false;
    }
    out.assign(buffer.data(), static_cast<size_t>(n));
    setLastError(kErrorSuccess);
    return true;
  }
}

bool Mailslot::write(const void* data, size_t length) {
  if (receiver_) {
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

}  // namespace platform
