// A raw loopback TCP peer for tests of the framing and protocol code: connect,
// send everything, read an exact number of bytes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace testsupport {

// A socket connected to 127.0.0.1:port, or -1.
inline int connectLoopback(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

inline bool sendAllBytes(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Up to `count` bytes; fewer when the peer closes or nothing comes for 30 s.
inline std::string readExactBytes(int fd, size_t count) {
  std::string out;
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 30000) != 1) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - out.size()), 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

}  // namespace testsupport
