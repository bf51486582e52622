// The socket stand-in: Windows Sockets error numbers, close-on-exec, no
// SIGPIPE, readiness for descriptors above 1023, the resolver's empty-host
// rule and the accept errors that count as transient.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/LastError.h"
#include "platform/Socket.h"
#include "platform/WakeEvent.h"

namespace platform {
namespace {

// A listening socket on a loopback port chosen by the system, and a client
// connected to it; `accepted` is the server side.
struct Pair {
  SocketHandle listener = kInvalidSocket;
  SocketHandle client = kInvalidSocket;
  SocketHandle accepted = kInvalidSocket;
  uint16_t port = 0;

  Pair() {
    int tcp = 0;
    protocolByName("tcp", tcp);
    for (uint16_t p = 20000 + static_cast<uint16_t>(getpid() % 20000); p < 65000; p += 97) {
      listener = socketCreate(tcp);
      if (socketBindAny(listener, p) && socketListen(listener)) {
        port = p;
        break;
      }
      socketClose(listener);
      listener = kInvalidSocket;
    }
    client = socketCreate(tcp);
    uint32_t loopback = 0;
    resolveHostIpv4("", loopback);
    socketConnect(client, loopback, port);
    Ipv4Peer peer;
    accepted = socketAccept(listener, peer);
  }
  ~Pair() {
    for (SocketHandle s : {listener, client, accepted}) {
      if (s != kInvalidSocket) socketClose(s);
    }
  }
};

TEST(Socket, ErrnoValuesBecomeWindowsSocketsNumbers) {
  const struct {
    int err;
    uint32_t wsa;
  } cases[] = {{EAGAIN, kWsaEwouldblock},
               {EINPROGRESS, kWsaEwouldblock},
               {ECONNREFUSED, kWsaEconnrefused},
               {ECONNRESET, kWsaEconnreset},
               {EPIPE, kWsaEconnreset},
               {ETIMEDOUT, kWsaEtimedout},
               {ENETUNREACH, kWsaEnetunreach},
               {EADDRINUSE, kWsaEaddrinuse},
               {EINTR, kWsaEintr},
               {0, 0}};
  for (const auto& c : cases) EXPECT_EQ(socketErrorFromErrno(c.err), c.wsa) << c.err;
}

TEST(Socket, TcpIsKnownWithoutTheProtocolsFile) {
  int protocol = 0;
  EXPECT_TRUE(protocolByName("tcp", protocol));
  EXPECT_EQ(protocol, 6);
  EXPECT_FALSE(protocolByName("udp-lite-nope", protocol));
}

TEST(Socket, EmptyHostIsTheLoopbackAddress) {
  uint32_t address = 0;
  ASSERT_TRUE(resolveHostIpv4("", address));
  EXPECT_EQ(ipv4Text(address), "127.0.0.1");
  ASSERT_TRUE(resolveHostIpv4("127.0.0.1", address));
  EXPECT_EQ(address, 0x7F000001u);
}

TEST(Socket, TransientAcceptErrorsAreToldApart) {
  for (uint32_t code : {kWsaEconnaborted, kWsaEconnreset, kWsaEintr, kWsaEmfile, kWsaEnobufs}) {
    EXPECT_TRUE(isTransientAcceptError(code)) << code;
  }
  for (uint32_t code : {kWsaEbadf, kWsaEnotsock, kWsaEinval, kWsaEfault}) {
    EXPECT_FALSE(isTransientAcceptError(code)) << code;
  }
  EXPECT_EQ(socketErrorFromErrno(EPROTO), kWsaEconnaborted);
}

TEST(Socket, SocketsAreCloseOnExec) {
  Pair pair;
  ASSERT_NE(pair.accepted, kInvalidSocket);
  for (SocketHandle s : {pair.listener, pair.client, pair.accepted}) {
    EXPECT_TRUE(fcntl(static_cast<int>(s), F_GETFD) & FD_CLOEXEC);
  }
}

TEST(Socket, SendToAVanishedPeerIsAnErrorNotASignal) {
  // With the default SIGPIPE action a plain send would end this process.
  struct sigaction old {};
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &dfl, &old);
  Pair pair;
  socketClose(pair.accepted);
  pair.accepted = kInvalidSocket;
  const std::string data(65536, 'x');
  int64_t r = 0;
  for (int i = 0; i < 100 && r >= 0; ++i) {
    r = socketSend(pair.client, data.data(), static_cast<uint32_t>(data.size()));
    if (r < 0 && lastError() == kWsaEwouldblock) r = 0;
  }
  EXPECT_LT(r, 0);
  EXPECT_EQ(lastError(), kWsaEconnreset);
  sigaction(SIGPIPE, &old, nullptr);
}

TEST(Socket, ReadinessWorksForHighDescriptors) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 1600 && limit.rlim_max >= 1600) {
    limit.rlim_cur = 1600;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  Pair pair;
  const int high = fcntl(static_cast<int>(pair.accepted), F_DUPFD_CLOEXEC, 1500);
  if (high < 0) GTEST_SKIP() << "no descriptor above 1500 allowed here";
  EXPECT_EQ(socketWaitReadable(static_cast<SocketHandle>(high), 0), 0);
  ASSERT_EQ(socketSend(pair.client, "ACK", 3), 3);
  EXPECT_EQ(socketWaitReadable(static_cast<SocketHandle>(high), 5000), 1);
  char buffer[8];
  EXPECT_EQ(socketRecv(static_cast<SocketHandle>(high), buffer, sizeof buffer), 3);
  EXPECT_EQ(socketRecv(static_cast<SocketHandle>(high), buffer, sizeof buffer), -1);
  EXPECT_EQ(lastError(), kWsaEwouldblock);
  socketClose(static_cast<SocketHandle>(high));
}

TEST(Socket, NonBlockingConnectReportsWouldBlockThenThePendingError) {
  int tcp = 0;
  protocolByName("tcp", tcp);
  // A port nobody listens on: bind one, close it, connect to it.
  const SocketHandle probe = socketCreate(tcp);
  uint16_t port = 0;
  for (uint16_t p = 40000 + static_cast<uint16_t>(getpid() % 10000); p < 65000; p += 89) {
    if (socketBindAny(probe, p)) {
      port = p;
      break;
    }
  }
  socketClose(probe);
  const SocketHandle s = socketCreate(tcp);
  ASSERT_TRUE(socketSetNonBlocking(s, true));
  const uint32_t r = socketConnect(s, 0x7F000001u, port);
  if (r == kWsaEwouldblock) {
    EXPECT_EQ(socketWaitWritable(s, 5000), 1);
    EXPECT_EQ(socketPendingError(s), kWsaEconnrefused);
  } else {
    EXPECT_EQ(r, kWsaEconnrefused);
  }
  socketClose(s);
}

TEST(Socket, PollReportsEachSocketAndEndsAtTheWakeEvent) {
  Pair pair;
  ASSERT_NE(pair.accepted, kInvalidSocket);
  WakeEvent wake;
  std::vector<PollItem> items(2);
  items[0].socket = pair.accepted;
  items[0].wantRead = true;
  items[1].socket = pair.client;
  items[1].wantWrite = true;
  // The client can send, nothing is readable yet.
  bool woken = true;
  EXPECT_EQ(socketPoll(items, &wake, 0, &woken), 1);
  EXPECT_FALSE(items[0].readable);
  EXPECT_TRUE(items[1].writable);
  EXPECT_FALSE(woken);

  ASSERT_EQ(socketSend(pair.client, "x", 1), 1);
  items[1].wantWrite = false;
  EXPECT_EQ(socketPoll(items, &wake, 10000, &woken), 1);
  EXPECT_TRUE(items[0].readable);

  // Only the event is set: the wait ends at once with nothing ready.
  char c = 0;
  ASSERT_EQ(socketRecv(pair.accepted, &c, 1), 1);
  wake.set();
  EXPECT_EQ(socketPoll(items, &wake, 10000, &woken), 0);
  EXPECT_TRUE(woken);
  EXPECT_FALSE(items[0].readable);
  // Cleared, it no longer ends a wait.
  wake.clear();
  EXPECT_EQ(socketPoll(items, &wake, 0, &woken), 0);
  EXPECT_FALSE(woken);
}

}  // namespace
}  // namespace platform
