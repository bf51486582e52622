// One IPv4 TCP socket of the relay daemon and its text framing.
//
// A connection is the listening socket, an accepted agent connection, an
// outgoing call-back connection or the short connection that wakes the
// blocked listener at shutdown. Every protocol item is a three-byte tag;
// strings and numbers add a fixed-width decimal field:
//   "ACK" / "NAC"                 raw acknowledgement, nothing follows
//   "STR" + 10-byte length + bytes  string (any byte values)
//   "U32" + 15-byte number        unsigned number
//   "I32" + 15-byte number        signed number (received only)
// Fields are the decimal text padded with zero bytes.
//
// Receives are staged and never wait: one call makes at most one
// non-blocking read, keeps what arrived in the caller's RecvStaging and
// answers 0 (failure), 1 (not complete yet) or 2 (complete). Sends wait for
// the socket, but never longer than the send time limit, so an agent that
// stops reading cannot freeze the thread that serves all the others. With
// staged sends (the handler's connections) they do not wait at all: what the
// socket does not take at once is kept and goes out in later flush() calls.
//
// A Connection is used by one thread at a time and has no lock; the
// process-wide counters it keeps are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Socket.h"
#include "relayhub/RecvStaging.h"
#include "relayhub/RepeatReport.h"

namespace Vemora {

class Connection {
 public:
  // Result codes of makeListener and connect.
  enum Result : int {
    kOk = 0,
    kAlreadyOpen = 1,
    kIsListener = 2,
    kStartupFailed = 3,
    kHostNotFound = 4,
    kNoProtocol = 5,
    kSocketFailed = 6,
    kOptionFailed = 7,
    kBindFailed = 8,
    kListenFailed = 9,
    kConnectFailed = 10,
  };

  // The largest string item a peer may announce (16 MiB). A longer one fails
  // the receive, so no peer can make the daemon allocate without bound.
  static constexpr uint32_t kMaxItemBytes = 16u * 1024u * 1024u;
  // Bytes asked from the socket in one read of a string item.
  static constexpr uint32_t kReadChunkBytes = 64u * 1024u;
  static constexpr int kBufferBytes = 8192;
  static constexpr int kLengthFieldBytes = 10;
  static constexpr int kNumberFieldBytes = 15;

  Connection();
  virtual ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Refused (false, nothing changed) while the connection is open.
  bool setPort(int port);
  bool setHost(const std::string& host);
  const std::string& getHost() const { return host_; }
  int getPort() const { return port_; }
  bool isOpen() const { return open_; }
  bool isListener() const { return listener_; }
  platform::SocketHandle getSocket() const { return socket_; }
  int32_t getOpenTime() const { return openTime_; }
  int32_t getCreateTime() const { return createTime_; }
  // Seconds since 1970 of the opening and of the last read that got bytes.
  int32_t getLastActivity() const { return lastActivity_; }
  // The Windows Sockets error of this object's last failed operation.
  uint32_t lastSocketError() const { return lastError_; }

  // Socket-layer reference count: init raises it, term lowers it.
  static bool init();
  static void term();
  static int referenceCount();
  // Sockets opened by accept or connect and not yet closed.
  static int openSocketCount();

  // Opens the listening socket on the port: kOk or a failure code. A bind
  // that fails because the address is in use is tried 5 times, `bindRetryMs`
  // apart (2500 ms by default), any other failed bind once; the retries end
  // early once `*abandon` (when given) turns true.
  int makeListener(const std::atomic<bool>* abandon = nullptr);
  // Blocks in accept and opens `accepted` with the new socket. False when
  // this is not an open listener or accept failed (lastSocketError tells
  // why). Catalogue error 1 reports the first failure of a run; while
  // failures go on, error 6 reports their number at most every 10 seconds,
  // and once more when an accept succeeds again.
  bool listen(Connection& accepted);
  // Opens an outgoing connection to host:port: kOk or a failure code.
  int connect();
  // Wakes a thread blocked in listen on this listener by connecting to it.
  bool breakListen();
  // Closes an open socket; a closed connection is not touched.
  void close();

  // Each true when every byte went out within the send time limit.
  bool sendRaw(const char* data, unsigned int length);
  bool sendAck();
  bool sendNac();
  bool csend(const std::string& value);
  bool csend(unsigned int value);

  // Staged sending: sendRaw hands over what the socket takes now and keeps
  // the rest (true unless the socket failed); flush() sends more of it.
  // A staged connection also sends each item at once (no delay for the
  // acknowledgement of the previous one): the handler's items are small
  // and answered one by one.
  void setStagedSends(bool on);
  bool hasUnsent() const { return outOffset_ < outbox_.size(); }
  // 2 when nothing waits any more, 1 while bytes still wait, 0 when the
  // socket failed (closed) or the send time limit has passed since the
  // oldest waiting byte was queued (catalogue error 4; the socket stays
  // open for the caller to drop).
  int flush();

  // True when the socket becomes readable within `milliseconds`.
  bool haveData(int milliseconds);
  // One read of up to `count` bytes; `count` then holds the bytes read.
  int crecvRaw(char* buffer, unsigned int& count);
  // Reads towards `total` bytes in `partial`, at most one chunk a call.
  int crecvRaw(std::string& partial, unsigned int total);
  int crecvType(std::string& partial);
  int crecvLength(unsigned int& value, std::string& partial);
  // Staged items: string, "I32" and "U32". The staging is never reset here.
  int crecv(std::string& value, RecvStaging& staging);
  int crecv(int& value, RecvStaging& staging);
  int crecv(unsigned int& value, RecvStaging& staging);
  // A raw answer: 2 for "ACK", 0 for any other 3 bytes, 1 while incomplete.
  int crecvAck(RecvStaging& staging);

  // Tunables, process-wide; tests shorten them.
  static void setSendTimeLimitMs(uint32_t ms);
  static uint32_t sendTimeLimitMs();
  static void setBindRetryMs(uint32_t ms);
  static void setConnectWaitMs(uint32_t ms);

  // The field texts of the framing (exposed for the tests and the clients
  // that speak it): a length field of 10 and a number field of 15 bytes.
  static std::string lengthField(uint32_t value);
  static std::string numberField(uint32_t value);

 private:
  int crecvNumber(const char* tag, RecvStaging& staging);
  // One non-blocking send of as much as the socket takes: the bytes taken,
  // or -1 after a socket error (the connection then closed and logged).
  int64_t sendSome(const char* data, size_t length, int attempt);
  bool sendBlocking(const char* data, unsigned int length);
  bool reserveStaged(RecvStaging& staging);
  int tryConnect(uint32_t address);
  bool openSocket(platform::SocketHandle s);
  std::string peerText(const platform::Ipv4Peer& peer) const;
  bool bindListener(platform::SocketHandle s, const std::atomic<bool>* abandon);

  platform::SocketHandle socket_ = platform::kInvalidSocket;
  int32_t openTime_ = 0;
  int port_ = 0;
  std::string host_;
  bool listener_ = false;
  bool open_ = false;
  int32_t connectTime_ = 0;
  int32_t createTime_ = 0;
  int32_t lastActivity_ = 0;
  uint32_t lastError_ = 0;
  // Staged sends: the bytes not yet taken by the socket (from outOffset_ on)
  // and when the oldest of them was queued.
  bool staged_ = false;
  std::string outbox_;
  size_t outOffset_ = 0;
  uint64_t unsentSinceMs_ = 0;
  // Listener only: the log's share of accept failures.
  RepeatReport acceptReport_{10000};
  uint32_t lastAcceptError_ = 0;
};

}  // namespace Vemora
