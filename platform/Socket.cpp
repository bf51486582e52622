#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/LastError.h"
#include "platform/WakeEvent.h"

namespace platform {

namespace {

int fd(SocketHandle s) {
  return static_cast<int>(s);
}

bool fail(int err) {
  setLastError(socketErrorFromErrno(err));
  return false;
}

bool ok() {
  setLastError(0);
  return true;
}

uint32_t resolverError(int code) {
  switch (code) {
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
    case EAI_NODATA:
      return kWsaNoData;
    case EAI_MEMORY:
      return kWsaEnobufs;
    default:
      return kWsaHostNotFound;
  }
}

// poll that resumes an interrupted wait with the time that is left; a
// failure is recorded as the last error.
int pollResumed(pollfd* fds, nfds_t count, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    int left = 0;
    if (timeoutMs > 0) {
      const auto rest =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      left = rest > 0 ? static_cast<int>(rest) : 0;
    }
    const int r = ::poll(fds, count, left);
    if (r >= 0) return r;
    if (errno != EINTR) {
      fail(errno);
      return -1;
    }
  }
}

// Waits for `events` on one descriptor.
int waitFor(SocketHandle s, short events, int timeoutMs) {
  if (s == kInvalidSocket) {
    setLastError(kWsaEnotsock);
    return -1;
  }
  pollfd p{fd(s), events, 0};
  const int r = pollResumed(&p, 1, timeoutMs);
  if (r < 0) return -1;
  if (r == 0) {
    setLastError(0);
    return 0;
  }
  if (p.revents & POLLNVAL) {
    setLastError(kWsaEnotsock);
    return -1;
  }
  // POLLERR and POLLHUP wake both kinds of waiter: the following recv,
  // send or SO_ERROR read reports what happened.
  setLastError(0);
  return 1;
}

}  // namespace

uint32_t socketErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return 0;
    case EINTR:
      return kWsaEintr;
    case EBADF:
      return kWsaEbadf;
    case EACCES:
    case EPERM:
      return kWsaEacces;
    case EFAULT:
      return kWsaEfault;
    case EINVAL:
      return kWsaEinval;
    case EMFILE:
    case ENFILE:
      return kWsaEmfile;
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EAGAIN:
    case EINPROGRESS:
      return kWsaEwouldblock;
    case EALREADY:
      return kWsaEalready;
    case ENOTSOCK:
      return kWsaEnotsock;
    case EMSGSIZE:
      return kWsaEmsgsize;
    case EPROTONOSUPPORT:
      return kWsaEprotonosupport;
    case EOPNOTSUPP:
      return kWsaEopnotsupp;
    case EAFNOSUPPORT:
      return kWsaEafnosupport;
    case EADDRINUSE:
      return kWsaEaddrinuse;
    case EADDRNOTAVAIL:
      return kWsaEaddrnotavail;
    case ENETDOWN:
      return kWsaEnetdown;
    case ENETUNREACH:
      return kWsaEnetunreach;
    case ENETRESET:
      return kWsaEnetreset;
    case ECONNABORTED:
    case EPROTO:  // a connection that failed before accept could take it
    case ENOPROTOOPT:
    case ENONET:
      return kWsaEconnaborted;
    case ECONNRESET:
    case EPIPE:
      return kWsaEconnreset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaEnobufs;
    case EISCONN:
      return kWsaEisconn;
    case ENOTCONN:
      return kWsaEnotconn;
    case ESHUTDOWN:
      return kWsaEshutdown;
    case ETIMEDOUT:
      return kWsaEtimedout;
    case ECONNREFUSED:
      return kWsaEconnrefused;
    case EHOSTDOWN:
      return kWsaEhostdown;
    case EHOSTUNREACH:
      return kWsaEhostunreach;
    default:
      return kWsaEinval;
  }
}

bool socketStartup() {
  return ok();
}
void socketCleanup() {}

bool protocolByName(const std::string& name, int& protocol) {
  if (name == "tcp" || name == "TCP") {
    protocol = IPPROTO_TCP;
    return ok();
  }
  setLastError(kWsaEprotonosupport);
  return false;
}

SocketHandle socketCreate(int protocol) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, protocol);
  if (s < 0) {
    fail(errno);
    return kInvalidSocket;
  }
  setLastError(0);
  return static_cast<SocketHandle>(s);
}

bool socketSetReuseAddress(SocketHandle s, bool on) {
  const int v = on ? 1 : 0;
  return ::setsockopt(fd(s), SOL_SOCKET, SO_REUSEADDR, &v, sizeof v) == 0 ? ok() : fail(errno);
}

bool socketSetSendBuffer(SocketHandle s, int bytes) {
  return ::setsockopt(fd(s), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0 ? ok() : fail(errno);
}

bool socketSetReceiveBuffer(SocketHandle s, int bytes) {
  return ::setsockopt(fd(s), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0 ? ok() : fail(errno);
}

bool socketSetNonBlocking(SocketHandle s, bool nonBlocking) {
  const int flags = ::fcntl(fd(s), F_GETFL, 0);
  if (flags < 0) return fail(errno);
  const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(fd(s), F_SETFL, wanted) == 0 ? ok() : fail(errno);
}

bool socketSetNoDelay(SocketHandle s, bool on) {
  const int value = on ? 1 : 0;
  return ::setsockopt(fd(s), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) == 0 ? ok()
                                                                                  : fail(errno);
}

bool socketBindAny(SocketHandle s, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(port);
  return ::bind(fd(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? ok() : fail(errno);
}

bool socketListen(SocketHandle s) {
  return ::listen(fd(s), SOMAXCONN) == 0 ? ok() : fail(errno);
}

SocketHandle socketAccept(SocketHandle listener, Ipv4Peer& peer) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  const int s = ::accept4(fd(listener), reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
  if (s < 0) {
    fail(errno);
    return kInvalidSocket;
  }
  peer.address = ntohl(a.sin_addr.s_addr);
  peer.port = ntohs(a.sin_port);
  setLastError(0);
  return static_cast<SocketHandle>(s);
}

std::string socketErrorText(uint32_t code) {
  struct Entry {
    uint32_t code;
    const char* text;
  };
  static constexpr Entry kTexts[] = {
      {kWsaEacces, "permission denied"},          {kWsaEmfile, "too many open files"},
      {kWsaEaddrinuse, "address already in use"}, {kWsaEaddrnotavail, "address not available"},
      {kWsaEnobufs, "no buffer space available"}, {kWsaEnetdown, "network is down"},
      {kWsaEinval, "invalid argument"},
  };
  const char* text = "socket error";
  for (const Entry& entry : kTexts) {
    if (entry.code == code) text = entry.text;
  }
  return std::string(text) + " (" + std::to_string(code) + ")";
}

bool isTransientAcceptError(uint32_t code) {
  switch (code) {
    case kWsaEintr:
    case kWsaEwouldblock:
    case kWsaEconnaborted:
    case kWsaEconnreset:
    case kWsaEmfile:
    case kWsaEnobufs:
    case kWsaEnetdown:
    case kWsaEnetunreach:
    case kWsaEhostdown:
    case kWsaEhostunreach:
    case kWsaEtimedout:
      return true;
    default:
      return false;
  }
}

uint32_t socketConnect(SocketHandle s, uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  const int r = ::connect(fd(s), reinterpret_cast<sockaddr*>(&a), sizeof a);
  if (r == 0) {
    setLastError(0);
    return 0;
  }
  // An interrupted connect goes on in the background, like one under way.
  const uint32_t code = errno == EINTR ? kWsaEwouldblock : socketErrorFromErrno(errno);
  setLastError(code);
  return code;
}

uint32_t socketPendingError(SocketHandle s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  const uint32_t code = socketErrorFromErrno(err);
  setLastError(code);
  return code;
}

int socketWaitReadable(SocketHandle s, int timeoutMs) {
  return waitFor(s, POLLIN, timeoutMs);
}

int socketWaitWritable(SocketHandle s, int timeoutMs) {
  return waitFor(s, POLLOUT, timeoutMs);
}

int socketPoll(std::vector<PollItem>& items, const WakeEvent* wake, int timeoutMs, bool* woken) {
  std::vector<pollfd> fds;
  fds.reserve(items.size() + 1);
  for (const PollItem& item : items) {
    const short events =
        static_cast<short>((item.wantRead ? POLLIN : 0) | (item.wantWrite ? POLLOUT : 0));
    fds.push_back(pollfd{fd(item.socket), events, 0});
  }
  if (wake != nullptr && wake->descriptor() >= 0)
    fds.push_back(pollfd{wake->descriptor(), POLLIN, 0});
  if (pollResumed(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs) < 0) return -1;
  if (woken != nullptr) *woken = fds.size() > items.size() && fds.back().revents != 0;
  int ready = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const short got = fds[i].revents;
    items[i].readable = (got & (POLLIN | POLLHUP | POLLERR)) != 0;
    items[i].writable = (got & (POLLOUT | POLLERR)) != 0;
    if ((items[i].wantRead && items[i].readable) || (items[i].wantWrite && items[i].writable)) {
      ++ready;
    }
  }
  setLastError(0);
  return ready;
}

int64_t socketSend(SocketHandle s, const char* data, uint32_t length) {
  for (;;) {
    const ssize_t n = ::send(fd(s), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fail(errno);
      return -1;
    }
    setLastError(0);
    return n;
  }
}

int64_t socketRecv(SocketHandle s, char* buffer, uint32_t length) {
  for (;;) {
    const ssize_t n = ::recv(fd(s), buffer, length, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fail(errno);
      return -1;
    }
    setLastError(0);
    return n;
  }
}

bool socketClose(SocketHandle s) {
  if (s == kInvalidSocket) {
    setLastError(kWsaEnotsock);
    return false;
  }
  // The descriptor is gone after close even when it reports EINTR: never
  // retry, or another thread's new descriptor could be closed.
  const int r = ::close(fd(s));
  if (r != 0 && errno != EINTR) return fail(errno);
  return ok();
}

bool resolveHostIpv4(const std::string& host, uint32_t& address) {
  if (host.empty()) {
    address = INADDR_LOOPBACK;
    return ok();
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (r != 0 || found == nullptr) {
    setLastError(r == EAI_SYSTEM ? socketErrorFromErrno(errno) : resolverError(r));
    if (found != nullptr) ::freeaddrinfo(found);
    return false;
  }
  address = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return ok();
}

std::string ipv4Text(uint32_t address) {
  in_addr a{};
  a.s_addr = htonl(address);
  char text[INET_ADDRSTRLEN] = {};
  if (::inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) return std::string();
  return text;
}

bool reverseLookupIpv4(uint32_t address, std::string& hostName) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  char name[NI_MAXHOST] = {};
  const int r = ::getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, name, sizeof name, nullptr,
                              0, NI_NAMEREQD);
  if (r != 0) {
    setLastError(resolverError(r));
    return false;
  }
  hostName = name;
  return ok();
}

}  // namespace platform
