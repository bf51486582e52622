// A loopback listener standing in for an agent's own call-back port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace testsupport {

class CallBackPort {
 public:
  CallBackPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 8);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~CallBackPort() { ::close(fd_); }
  CallBackPort(const CallBackPort&) = delete;
  CallBackPort& operator=(const CallBackPort&) = delete;

  int port() const { return port_; }

  // What one call-back sent until it closed; empty when none came within
  // `waitMs` (0: only a call-back that has already connected counts).
  std::string receive(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, waitMs) != 1) return "";
    const int c = ::accept(fd_, nullptr, nullptr);
    std::string text;
    char buffer[256];
    pollfd r{c, POLLIN, 0};
    while (::poll(&r, 1, 5000) == 1) {
      const ssize_t n = ::read(c, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    ::close(c);
    return text;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace testsupport
