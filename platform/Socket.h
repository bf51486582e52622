// IPv4 TCP sockets with the Windows Sockets 2 behaviour the relay daemon's
// connection layer expects, over POSIX:
//   - handles are unsigned 32-bit numbers; kInvalidSocket (all bits set)
//     means "no socket";
//   - errors are reported as Windows Sockets numbers (WSAEWOULDBLOCK 10035,
//     WSAECONNREFUSED 10061, ...) through the per-thread last error of
//     platform/LastError.h, as WSAGetLastError would give them;
//   - readiness is waited for with poll, never select, so descriptors of
//     1024 and above are safe;
//   - every socket is close-on-exec, so programs the daemon starts never
//     inherit a connection;
//   - sends never raise SIGPIPE (MSG_NOSIGNAL); a vanished peer is an error
//     code (WSAECONNRESET);
//   - a non-blocking connect that is under way reports WSAEWOULDBLOCK, as on
//     Windows; after waiting for writability, socketPendingError decides;
//   - host look-ups use the thread-safe resolver (getaddrinfo/getnameinfo);
//     the empty host name means the loopback address 127.0.0.1;
//   - the protocol "tcp" is known without /etc/protocols.
// No Windows Sockets start-up is needed; socketStartup only counts, so the
// callers' reference counting keeps its meaning.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using SocketHandle = uint32_t;
constexpr SocketHandle kInvalidSocket = 0xFFFFFFFFu;

// Windows Sockets error numbers used by the callers.
enum SocketError : uint32_t {
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEacces = 10013,
  kWsaEfault = 10014,
  kWsaEinval = 10022,
  kWsaEmfile = 10024,
  kWsaEwouldblock = 10035,
  kWsaEinprogress = 10036,
  kWsaEalready = 10037,
  kWsaEnotsock = 10038,
  kWsaEmsgsize = 10040,
  kWsaEprotonosupport = 10043,
  kWsaEopnotsupp = 10045,
  kWsaEafnosupport = 10047,
  kWsaEaddrinuse = 10048,
  kWsaEaddrnotavail = 10049,
  kWsaEnetdown = 10050,
  kWsaEnetunreach = 10051,
  kWsaEnetreset = 10052,
  kWsaEconnaborted = 10053,
  kWsaEconnreset = 10054,
  kWsaEnobufs = 10055,
  kWsaEisconn = 10056,
  kWsaEnotconn = 10057,
  kWsaEshutdown = 10058,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
  kWsaEhostdown = 10064,
  kWsaEhostunreach = 10065,
  kWsaHostNotFound = 11001,
  kWsaTryAgain = 11002,
  kWsaNoRecovery = 11003,
  kWsaNoData = 11004,
};

// The Windows Sockets number for an errno value (EAGAIN 10035, ...).
uint32_t socketErrorFromErrno(int err);
// A Windows Sockets number in words, for an operator ("address already in
// use (10048)").
std::string socketErrorText(uint32_t code);

// WSAStartup / WSACleanup stand-ins: nothing to start on POSIX; they always
// succeed (the version asked for is 2.0 and is the one given).
bool socketStartup();
void socketCleanup();

// getprotobyname("tcp"): the protocol number 6, known without any file.
// False (and kWsaEprotonosupport) for any other name.
bool protocolByName(const std::string& name, int& protocol);

// socket(AF_INET, SOCK_STREAM, protocol), close-on-exec. kInvalidSocket and
// the last error on failure.
SocketHandle socketCreate(int protocol);

// setsockopt wrappers; false and the last error on failure.
bool socketSetReuseAddress(SocketHandle s, bool on);
bool socketSetSendBuffer(SocketHandle s, int bytes);
bool socketSetReceiveBuffer(SocketHandle s, int bytes);
// ioctlsocket(FIONBIO).
bool socketSetNonBlocking(SocketHandle s, bool nonBlocking);
// TCP_NODELAY: every send goes out at once instead of waiting for the
// peer's acknowledgement of earlier small segments.
bool socketSetNoDelay(SocketHandle s, bool on);

// bind to INADDR_ANY (all local addresses) on `port`.
bool socketBindAny(SocketHandle s, uint16_t port);
// listen with the system's maximum backlog.
bool socketListen(SocketHandle s);

// An IPv4 peer: address in host byte order and port.
struct Ipv4Peer {
  uint32_t address = 0;
  uint16_t port = 0;
};

// accept on a listening socket, waiting as long as it takes. The accepted
// socket is blocking and close-on-exec. kInvalidSocket and the last error on
// failure (an interrupted wait is reported as kWsaEintr, not retried).
SocketHandle socketAccept(SocketHandle listener, Ipv4Peer& peer);
// True for accept errors that say nothing about the listener's health: a
// peer that gave up before the accept, an interrupted call, a passing
// shortage of descriptors or buffers.
bool isTransientAcceptError(uint32_t code);

// connect to `address` (host byte order) on `port`. 0 when connected at
// once; otherwise the error number (also in the last error). A connect
// under way on a non-blocking socket gives kWsaEwouldblock.
uint32_t socketConnect(SocketHandle s, uint32_t address, uint16_t port);
// The socket's pending error (SO_ERROR) as a Windows Sockets number; 0 when
// none. Used after a non-blocking connect became writable.
uint32_t socketPendingError(SocketHandle s);

// Readiness with poll. 1 ready, 0 time-out, -1 error (last error set).
// `timeoutMs` 0 or less: no wait. An interrupted wait is resumed with the
// remaining time. A peer that hung up counts as readable (the next recv then
// reads 0 bytes or the error).
int socketWaitReadable(SocketHandle s, int timeoutMs);
int socketWaitWritable(SocketHandle s, int timeoutMs);

class WakeEvent;

// One socket of a socketPoll: what to wait for, and what was found.
struct PollItem {
  SocketHandle socket = kInvalidSocket;
  bool wantRead = false;
  bool wantWrite = false;
  bool readable = false;  // also set when the peer hung up or failed
  bool writable = false;
};

// poll over many sockets and an optional wake event: waits up to
// `timeoutMs` (0 or less: no wait) until one item is ready as it asks or
// `wake` is set. The number of ready items (the wake event is not counted),
// 0 on time-out or wake-up, -1 on error (last error set). An interrupted
// wait is resumed with the remaining time. `woken` (when given) tells
// whether the wake event was set.
int socketPoll(std::vector<PollItem>& items, const WakeEvent* wake, int timeoutMs,
               bool* woken = nullptr);

// One send of up to `length` bytes that never blocks and never raises
// SIGPIPE. The number of bytes handed over, or -1 with the last error
// (kWsaEwouldblock when the send buffer is full).
int64_t socketSend(SocketHandle s, const char* data, uint32_t length);
// One recv of up to `length` bytes that never blocks. Bytes read (0: the
// peer closed its side), or -1 with the last error (kWsaEwouldblock when
// nothing is there).
int64_t socketRecv(SocketHandle s, char* buffer, uint32_t length);

// closesocket. False and the last error when the handle was not open.
bool socketClose(SocketHandle s);

// gethostbyname stand-in: the first IPv4 address of `host` (a name or a
// dotted address) in host byte order. The empty name gives 127.0.0.1.
// False and the last error (kWsaHostNotFound, ...) when it does not resolve.
bool resolveHostIpv4(const std::string& host, uint32_t& address);

// The dotted text of an IPv4 address in host byte order (inet_ntoa).
std::string ipv4Text(uint32_t address);
// gethostbyaddr stand-in: the host name of an IPv4 address; false when the
// resolver knows none.
bool reverseLookupIpv4(uint32_t address, std::string& hostName);

}  // namespace platform
