// The framing's staged receive: the input's first byte picks the item kind
// (string, U32, I32, raw ACK), the rest arrives on a real loopback socket,
// and the staged receive is called until it completes or fails, as the
// handler calls it. No input may crash, hang or allocate without bound.
//
// Every input costs one loopback connection. Both ends are closed with a
// reset (SO_LINGER 0), so none is left in TIME_WAIT: a run of any length
// at any speed never uses up the local ports.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "relayhub/Connection.h"
#include "relayhub/RecvStaging.h"

namespace {

int freePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
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

// The port found free may be taken before the listener binds it: try others.
Vemora::Connection& listener() {
  static Vemora::Connection* l = [] {
    Vemora::Connection::setBindRetryMs(0);
    for (int attempt = 0; attempt < 50; ++attempt) {
      auto* c = new Vemora::Connection();
      c->setPort(freePort());
      if (c->makeListener() == Vemora::Connection::kOk) return c;
      delete c;
    }
    __builtin_trap();
  }();
  return *l;
}

void closeWithReset(int s) {
  const linger reset{1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(s);
}

// A connect to the harness's own listener failed once in a clean-clone
// run: a failed connect is tried again for about two seconds, and one that
// persists is reported with its reason before the trap.
int connectTo(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  int error = 0;
  for (int attempt = 0; attempt < 2000; ++attempt) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
    error = errno;
    if (s >= 0) ::close(s);
    ::usleep(1000);
  }
  std::fprintf(stderr, "FramingFuzz: connect failed: %s\n", std::strerror(error));
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 60000) return 0;  // below the loopback buffer: one write
  Vemora::Connection& l = listener();
  const int peer = connectTo(l.getPort());
  Vemora::Connection server;
  if (!l.listen(server)) __builtin_trap();
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (!bytes.empty() && ::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) {
    __builtin_trap();
  }
  ::shutdown(peer, SHUT_WR);
  Vemora::RecvStaging staging;
  std::string text;
  int number = 0;
  unsigned int unsignedNumber = 0;
  // Each call makes progress or ends the item; the bound only guards the
  // harness itself.
  for (int calls = 0; calls < 100000; ++calls) {
    int r = 0;
    switch (data[0] % 4) {
      case 0:
        r = server.crecv(text, staging);
        break;
      case 1:
        r = server.crecv(unsignedNumber, staging);
        break;
      case 2:
        r = server.crecv(number, staging);
        break;
      default:
        r = server.crecvAck(staging);
        break;
    }
    if (r == 0) break;
    if (r == 2) staging.reset();
    if (staging.partial.size() > Vemora::Connection::kMaxItemBytes) __builtin_trap();
  }
  // The peer, which closed first, would otherwise wait in TIME_WAIT; its
  // reset also ends the accepted side at once.
  closeWithReset(peer);
  server.close();
  return 0;
}
