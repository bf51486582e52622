// A TCP port that was free a moment ago, for tests that start a listener of
// their own.
//
// The port is taken below the kernel's range of ephemeral ports, so the
// outgoing connections of this machine (other tests, a fuzz run) never
// occupy it between the choice and the bind. It is picked at random, so
// tests running at the same time rarely pick the same one; and it is
// refused when anything holds it, TIME_WAIT included.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace testsupport {

namespace freeport_detail {

// True when a socket can be bound to `port` on every address right now.
inline bool bindable(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

// The first ephemeral port (32768 when the kernel does not say).
inline int ephemeralLow() {
  std::ifstream in("/proc/sys/net/ipv4/ip_local_port_range");
  int low = 0;
  int high = 0;
  return in >> low >> high && low > 0 ? low : 32768;
}

// A port the kernel picks for bind(0): from the ephemeral range.
inline int kernelPick() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(s);
  return port;
}

}  // namespace freeport_detail

inline int freePort() {
  constexpr int kLowest = 10000;
  const int end = freeport_detail::ephemeralLow();
  if (end - kLowest >= 1000) {
    thread_local std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<int> pick(kLowest, end - 1);
    for (int attempt = 0; attempt < 200; ++attempt) {
      const int port = pick(random);
      if (freeport_detail::bindable(port)) return port;
    }
  }
  return freeport_detail::kernelPick();
}

}  // namespace testsupport
