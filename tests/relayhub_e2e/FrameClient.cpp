#include "relayhub_e2e/FrameClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// 1 readable, 0 time-out, -1 error.
int waitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r < 0 ? -1 : (r == 0 ? 0 : 1);
  }
}

}  // namespace

FrameClient::~FrameClient() {
  close();
}

bool FrameClient::connect(int port, int timeoutMs) {
  close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  int r = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  if (r != 0 && errno == EINPROGRESS) {
    pollfd p{fd_, POLLOUT, 0};
    r = ::poll(&p, 1, timeoutMs) == 1 ? 0 : -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (r == 0 && (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)) r = -1;
  }
  if (r != 0) {
    close();
    return false;
  }
  const int flags = ::fcntl(fd_, F_GETFL, 0);
  ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  return true;
}

void FrameClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void FrameClient::shutdownSend() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

std::string FrameClient::field(const std::string& digits, size_t width) {
  std::string f = digits.substr(0, width);
  f.append(width - f.size(), '\0');
  return f;
}

std::string FrameClient::u32Item(uint32_t value) {
  return "U32" + field(std::to_string(value), 15);
}

std::string FrameClient::i32Item(int32_t value) {
  return "I32" + field(std::to_string(value), 15);
}

std::string FrameClient::stringItem(const std::string& value) {
  return "STR" + field(std::to_string(value.size()), 10) + value;
}

bool FrameClient::sendRaw(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool FrameClient::sendU32(uint32_t value) {
  return sendRaw(u32Item(value));
}
bool FrameClient::sendI32(int32_t value) {
  return sendRaw(i32Item(value));
}
bool FrameClient::sendString(const std::string& value) {
  return sendRaw(stringItem(value));
}

std::optional<std::string> FrameClient::readExact(size_t count, int timeoutMs) {
  partial_.clear();
  if (fd_ < 0) return std::nullopt;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (partial_.size() < count) {
    if (waitReadable(fd_, msLeft(deadline)) != 1) return std::nullopt;
    char buffer[65536];
    const size_t want = std::min(sizeof buffer, count - partial_.size());
    const ssize_t n = ::recv(fd_, buffer, want, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    partial_.append(buffer, static_cast<size_t>(n));
  }
  return partial_;
}

std::optional<uint32_t> FrameClient::readU32(int timeoutMs) {
  const auto item = readExact(18, timeoutMs);
  if (!item || item->compare(0, 3, "U32") != 0) return std::nullopt;
  return static_cast<uint32_t>(std::strtoul(item->c_str() + 3, nullptr, 10));
}

std::optional<int32_t> FrameClient::readI32(int timeoutMs) {
  const auto item = readExact(18, timeoutMs);
  if (!item || item->compare(0, 3, "I32") != 0) return std::nullopt;
  return static_cast<int32_t>(std::strtol(item->c_str() + 3, nullptr, 10));
}

std::optional<std::string> FrameClient::readString(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto head = readExact(13, timeoutMs);
  if (!head || head->compare(0, 3, "STR") != 0) return std::nullopt;
  const size_t length = std::strtoul(std::string(head->c_str() + 3).c_str(), nullptr, 10);
  return readExact(length, msLeft(deadline));
}

bool FrameClient::waitClosed(int timeoutMs) {
  if (fd_ < 0) return true;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (waitReadable(fd_, msLeft(deadline)) != 1) return false;
    char c;
    const ssize_t n = ::recv(fd_, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) {
      partial_.assign(1, c);
      return false;
    }
    return true;  // end of stream or reset
  }
}

bool FrameClient::drainUntilClosed(int timeoutMs) {
  partial_.clear();
  if (fd_ < 0) return true;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (waitReadable(fd_, msLeft(deadline)) != 1) return false;
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    partial_.append(buffer, static_cast<size_t>(n));
  }
}

bool FrameClient::quietFor(int ms) {
  if (fd_ < 0) return false;
  return waitReadable(fd_, ms) == 0;
}

}  // namespace e2e
