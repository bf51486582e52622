#include "relayhub/Connection.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "logger/ParamStream.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/Numbers.h"
#include "relayhub/HubLog.h"

namespace Vemora {

namespace {

// Catalogue errors of the "messaging" module.
constexpr int kErrAccept = 1;
constexpr int kErrBreakListen = 2;
constexpr int kErrSend = 3;
constexpr int kErrSendIncomplete = 4;
constexpr int kErrReceive = 5;
constexpr int kErrAcceptRepeated = 6;
constexpr int kErrConnect = 10;
// Of the daemon's own catalogue.
constexpr int kMsgReceiveBound = 27;  // RelayHub::kMsgReceiveBound

constexpr int kBindAttempts = 5;
constexpr int kConnectAttempts = 3;
constexpr int kConnectRetries = 5;
constexpr int kSendAttempts = 3;

std::atomic<int> g_references{0};
std::atomic<int> g_openSockets{0};
std::atomic<uint32_t> g_sendLimitMs{10000};
std::atomic<uint32_t> g_bindRetryMs{2500};
std::atomic<uint32_t> g_connectWaitMs{3000};

int32_t now() {
  return static_cast<int32_t>(platform::unixTime());
}

LoggerShell& shell() {
  return HubLog::shell();
}

ParamStream params() {
  return LoggerShell::makeParams();
}

// Bytes 32 to 125 as themselves, every other byte as "#", its value and ";".
std::string render(const char* data, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (c >= 32 && c <= 125) {
      out += static_cast<char>(c);
    } else {
      out += '#';
      out += std::to_string(c);
      out += ';';
    }
  }
  return out;
}

// A field of `width` bytes: the decimal text, then zero bytes.
std::string field(uint32_t value, size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width) text.append(width - text.size(), '\0');
  return text;
}

// The decimal text of a received field, up to its first zero byte.
std::string fieldText(const std::string& bytes) {
  return std::string(bytes.c_str(), ::strnlen(bytes.data(), bytes.size()));
}

}  // namespace

Connection::Connection() : createTime_(now()) {}

Connection::~Connection() {
  close();
}

bool Connection::setPort(int port) {
  if (open_) return false;
  port_ = port;
  return true;
}

bool Connection::setHost(const std::string& host) {
  if (open_) return false;
  host_ = host;
  return true;
}

bool Connection::init() {
  if (g_references.load() == 0 && !platform::socketStartup()) return false;
  const int count = ++g_references;
  if (shell().hasDebug2()) shell().debug2("Connection::init: %i", params().addInt(count));
  return true;
}

void Connection::term() {
  int count = g_references.load();
  if (shell().hasDebug2()) shell().debug2("Connection::term: %i", params().addInt(count));
  while (count > 0 && !g_references.compare_exchange_weak(count, count - 1)) {
  }
  if (count == 1) {
    platform::socketCleanup();
    shell().debug2("Connection::term: TERMINATED!!!");
  }
}

int Connection::referenceCount() {
  return g_references.load();
}

int Connection::openSocketCount() {
  return g_openSockets.load();
}

void Connection::setSendTimeLimitMs(uint32_t ms) {
  g_sendLimitMs.store(ms);
}
uint32_t Connection::sendTimeLimitMs() {
  return g_sendLimitMs.load();
}
void Connection::setBindRetryMs(uint32_t ms) {
  g_bindRetryMs.store(ms);
}
void Connection::setConnectWaitMs(uint32_t ms) {
  g_connectWaitMs.store(ms);
}

std::string Connection::lengthField(uint32_t value) {
  return field(value, kLengthFieldBytes);
}
std::string Connection::numberField(uint32_t value) {
  return field(value, kNumberFieldBytes);
}

int Connection::makeListener(const std::atomic<bool>* abandon) {
  if (open_) return kAlreadyOpen;
  if (!init()) return kStartupFailed;
  int protocol = 0;
  if (!platform::protocolByName("tcp", protocol)) {
    term();
    return kNoProtocol;
  }
  const platform::SocketHandle s = platform::socketCreate(protocol);
  if (s == platform::kInvalidSocket) {
    lastError_ = platform::lastError();
    term();
    return kSocketFailed;
  }
  shell().debug5("Connection::makeListener: Created socket %i", params().addUInt(s));
  if (!platform::socketSetReuseAddress(s, true) ||
      !platform::socketSetSendBuffer(s, kBufferBytes) ||
      !platform::socketSetReceiveBuffer(s, kBufferBytes)) {
    lastError_ = platform::lastError();
    platform::socketClose(s);
    term();
    return kOptionFailed;
  }
  const bool bound = bindListener(s, abandon);
  if (!bound || !platform::socketListen(s)) {
    if (bound) lastError_ = platform::lastError();
    platform::socketClose(s);
    shell().debug5("Connection::makeListener: Closed socket %i", params().addUInt(s));
    term();
    return bound ? kListenFailed : kBindFailed;
  }
  socket_ = s;
  listener_ = true;
  open_ = true;
  openTime_ = now();
  lastActivity_ = openTime_;
  return kOk;
}

// Only an address in use may free itself (a previous instance still
// ending): no permission or no such address stays so, and fails at once.
bool Connection::bindListener(platform::SocketHandle s, const std::atomic<bool>* abandon) {
  for (int attempt = 1;; ++attempt) {
    if (port_ >= 0 && port_ <= 65535 && platform::socketBindAny(s, static_cast<uint16_t>(port_))) {
      return true;
    }
    lastError_ = platform::lastError();
    if (lastError_ != platform::kWsaEaddrinuse || attempt >= kBindAttempts) break;
    if (attempt == 1 && HubLog::consoleEcho()) {
      const uint32_t seconds = (kBindAttempts - 1) * g_bindRetryMs.load() / 1000;
      HubLog::console("port " + std::to_string(port_) + " is in use; trying again for " +
                      std::to_string(seconds) + " seconds");
    }
    const uint64_t until = platform::monotonicMs() + g_bindRetryMs.load();
    while (platform::monotonicMs() < until) {
      if (abandon != nullptr && abandon->load()) return false;
      platform::sleepMs(std::min<uint64_t>(50, until - platform::monotonicMs()));
    }
  }
  return false;
}

bool Connection::listen(Connection& accepted) {
  if (!open_ || !listener_ || !init()) return false;
  shell().debug2("Connection::listen: Waiting for incoming connections...");
  platform::Ipv4Peer peer;
  const platform::SocketHandle s = platform::socketAccept(socket_, peer);
  lastError_ = platform::lastError();
  shell().debug4("Connection::listen: Accepted socket %i", params().addUInt(s));
  uint32_t count = 0;
  if (s == platform::kInvalidSocket) {
    lastAcceptError_ = lastError_;
    if (acceptReport_.failure(platform::monotonicMs(), count)) {
      if (count == 1) {
        HubLog::messagingError(kErrAccept, params().addULong(lastError_));
      } else {
        HubLog::messagingError(kErrAcceptRepeated, params().addUInt(count).addULong(lastError_));
      }
    }
    term();
    return false;
  }
  if (acceptReport_.success(count)) {
    HubLog::messagingError(kErrAcceptRepeated, params().addUInt(count).addULong(lastAcceptError_));
  }
  accepted.close();
  accepted.openTime_ = now();
  ++g_openSockets;
  accepted.host_ = peerText(peer);
  if (shell().hasDebug2()) {
    shell().debug2("Connection::listen: Got connection from host \"%s\" on socket %i",
                   params().addString(accepted.host_).addUInt(s));
  }
  accepted.port_ = peer.port;
  accepted.socket_ = s;
  accepted.listener_ = false;
  accepted.open_ = true;
  accepted.lastActivity_ = accepted.openTime_;
  return true;
}

std::string Connection::peerText(const platform::Ipv4Peer& peer) const {
  const std::string dotted = platform::ipv4Text(peer.address);
  std::string name;
  std::string text =
      platform::reverseLookupIpv4(peer.address, name) ? name + " (" + dotted + ")" : dotted;
  if (text.size() > 511) text.resize(511);
  // Peer texts appear inside quoted trace lines; blanks at either end go.
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int Connection::connect() {
  if (open_) return kAlreadyOpen;
  if (listener_) return kIsListener;
  if (!init()) return kStartupFailed;
  uint32_t address = 0;
  if (!platform::resolveHostIpv4(host_, address)) {
    lastError_ = platform::lastError();
    shell().debug1("Connection::connect: Failed to get host \"%s\" by name (Error=%i)",
                   params().addString(host_).addULong(lastError_));
    term();
    return kHostNotFound;
  }
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    const int r = tryConnect(address);
    if (r == kOk || r != -1) return r;
    platform::sleepMs(10);  // timed out: try again
  }
  HubLog::messagingError(kErrConnect,
                         params().addString(host_).addString("connect, too many failures"));
  term();
  return kConnectFailed;
}

// One connect attempt: kOk, a failure code (the reference already
// released), or -1 when the attempt timed out.
int Connection::tryConnect(uint32_t address) {
  shell().debug5("Connection::connect: Creating socket");
  const platform::SocketHandle s = platform::socketCreate(6);
  if (s == platform::kInvalidSocket) {
    lastError_ = platform::lastError();
    shell().debug1("Connection::connect: Failed to create socket (Error=%i)",
                   params().addULong(lastError_));
    term();
    return kSocketFailed;
  }
  shell().debug5("Connection::connect: Created socket %i", params().addUInt(s));
  shell().debug5("Connection::connect: Setting send buffer size");
  const bool sendOk = platform::socketSetSendBuffer(s, kBufferBytes);
  shell().debug5("Connection::connect: Setting receive buffer size");
  if (!sendOk || !platform::socketSetReceiveBuffer(s, kBufferBytes)) {
    lastError_ = platform::lastError();
    shell().debug1(sendOk ? "Connection::connect: Failed to set socket receive buffer size "
                            "(Error=%i)"
                          : "Connection::connect: Failed to set socket send buffer size (Error=%i)",
                   params().addULong(lastError_));
    platform::socketClose(s);
    term();
    return kOptionFailed;
  }
  shell().debug5("Connection::connect: Making socket non-blocking");
  platform::socketSetNonBlocking(s, true);
  shell().debug4("Connection::connect: Connecting to %s", params().addString(host_));
  const auto fail = [&](const std::string& reason) {
    HubLog::messagingError(kErrConnect, params().addString(host_).addString(reason));
    platform::socketClose(s);
    term();
    return static_cast<int>(kConnectFailed);
  };
  bool connected = false;
  for (int call = 1; !connected; ++call) {
    const uint32_t err = platform::socketConnect(s, address, static_cast<uint16_t>(port_));
    lastError_ = err;
    if (err == 0) break;
    if (err == platform::kWsaEwouldblock) {
      const int w = platform::socketWaitWritable(s, static_cast<int>(g_connectWaitMs.load()));
      if (w < 0) return fail("select, wsa error: " + std::to_string(platform::lastError()));
      if (w == 0) {
        shell().debug2("Failed to connect (timeout)");
        platform::socketClose(s);
        return -1;
      }
      // Writable: the socket's pending error decides, so a refused
      // connection fails at once instead of counting as connected.
      const uint32_t pending = platform::socketPendingError(s);
      lastError_ = pending;
      if (pending == 0) break;
      if (pending != platform::kWsaEconnrefused && pending != platform::kWsaEnetunreach &&
          pending != platform::kWsaEtimedout) {
        return fail("connect, wsa error: " + std::to_string(pending));
      }
      // A refused connect cannot be repeated on the same POSIX socket.
      shell().debug4("Connect failed, wsa error %s", params().addString(std::to_string(pending)));
      return fail("CONNECT");
    }
    if (err == platform::kWsaEnetunreach || err == platform::kWsaEtimedout ||
        err == platform::kWsaEconnrefused) {
      shell().debug4("Connect failed, wsa error %s", params().addString(std::to_string(err)));
      if (call >= kConnectRetries) return fail("CONNECT");
      continue;
    }
    return fail("connect, wsa error: " + std::to_string(err));
  }
  shell().debug4("Connection::connect: Successfully connected");
  platform::socketSetNonBlocking(s, false);
  openSocket(s);
  connectTime_ = openTime_;
  return kOk;
}

bool Connection::openSocket(platform::SocketHandle s) {
  socket_ = s;
  openTime_ = now();
  ++g_openSockets;
  open_ = true;
  listener_ = false;
  lastActivity_ = openTime_;
  return true;
}

bool Connection::breakListen() {
  shell().debug1("Connection::breakListen");
  if (!open_ || !listener_) {
    HubLog::messagingError(kErrBreakListen);
    shell().debug1("Connection::breakListen: Connection is not open or is not a listener");
    return false;
  }
  Connection wake;
  wake.setHost(host_);
  wake.setPort(port_);
  if (wake.connect() != kOk) {
    HubLog::messagingError(kErrBreakListen);
    shell().debug1("Connection::breakListen: Failed to connect");
    return false;
  }
  wake.close();
  shell().debug1("Connection::breakListen: Broken");
  return true;
}

void Connection::close() {
  if (!open_ || socket_ == platform::kInvalidSocket) return;
  platform::socketClose(socket_);
  const int count = --g_openSockets;
  if (shell().hasDebug5()) {
    shell().debug5(
        "Connection::close: Closed socket %i after being open for %i second(s) (There are now "
        "%i open socket(s))",
        params().addUInt(socket_).addInt(now() - openTime_).addInt(count));
  }
  shell().debug4("Connection::close");
  socket_ = platform::kInvalidSocket;
  open_ = false;
  listener_ = false;
  outbox_.clear();
  outOffset_ = 0;
  term();
}

bool Connection::sendRaw(const char* data, unsigned int length) {
  if (shell().hasDebug4()) {
    shell().debug4("Connection::sendRaw: Sending %i bytes = \"%s\"",
                   params().addUInt(length).addString(render(data, length)));
  }
  if (!open_) {
    shell().debug1("Connection::sendRaw: Failed to send because connection is not open");
    return false;
  }
  if (length == 0) return true;
  if (!staged_) return sendBlocking(data, length);
  size_t taken = 0;
  if (!hasUnsent()) {
    const int64_t n = sendSome(data, length, 1);
    if (n < 0) return false;
    taken = static_cast<size_t>(n);
    if (taken == length) {
      shell().debug5("Connection::sendRaw: Sent %i bytes", params().addUInt(length));
      return true;
    }
    outbox_.clear();
    outOffset_ = 0;
    unsentSinceMs_ = platform::monotonicMs();
  }
  try {
    outbox_.append(data + taken, length - taken);
  } catch (const std::bad_alloc&) {
    shell().debug1("Connection::sendRaw: OUT OF MEMORY");
    return false;
  }
  return true;
}

void Connection::setStagedSends(bool on) {
  staged_ = on;
  if (open_) platform::socketSetNoDelay(socket_, on);
}

int64_t Connection::sendSome(const char* data, size_t length, int attempt) {
  size_t sent = 0;
  while (sent < length) {
    const int64_t n =
        platform::socketSend(socket_, data + sent, static_cast<uint32_t>(length - sent));
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && platform::lastError() != platform::kWsaEwouldblock) {
      lastError_ = platform::lastError();
      const platform::SocketHandle s = socket_;
      close();
      HubLog::messagingError(kErrSend, params().addULong(lastError_));
      shell().debug1("Failed to send through socket %i - attempt no %i",
                     params().addUInt(s).addInt(attempt));
      return -1;
    }
    break;  // the socket is full for now
  }
  return static_cast<int64_t>(sent);
}

int Connection::flush() {
  if (!hasUnsent()) return 2;
  if (!open_) return 0;
  const int64_t n = sendSome(outbox_.data() + outOffset_, outbox_.size() - outOffset_, 1);
  if (n < 0) return 0;
  outOffset_ += static_cast<size_t>(n);
  if (!hasUnsent()) {
    shell().debug5("Connection::sendRaw: Sent %i bytes",
                   params().addUInt(static_cast<unsigned int>(outbox_.size())));
    outbox_.clear();
    outbox_.shrink_to_fit();
    outOffset_ = 0;
    return 2;
  }
  if (platform::monotonicMs() - unsentSinceMs_ >= g_sendLimitMs.load()) {
    HubLog::messagingError(kErrSendIncomplete, params().addInt(kSendAttempts));
    return 0;
  }
  return 1;
}

bool Connection::sendBlocking(const char* data, unsigned int length) {
  // The whole item must be handed over within the time limit. A peer that
  // stops reading fills its window; the send then gives up instead of
  // holding the calling thread for ever.
  const uint64_t deadline = platform::monotonicMs() + g_sendLimitMs.load();
  unsigned int sent = 0;
  int stalls = 0;
  while (sent < length) {
    const int64_t n = sendSome(data + sent, length - sent, stalls + 1);
    if (n < 0) return false;
    sent += static_cast<unsigned int>(n);
    if (sent == length) break;
    const uint64_t t = platform::monotonicMs();
    ++stalls;
    if (t >= deadline) {
      HubLog::messagingError(kErrSendIncomplete, params().addInt(kSendAttempts));
      return false;
    }
    platform::socketWaitWritable(socket_, static_cast<int>(std::min<uint64_t>(deadline - t, 1000)));
  }
  shell().debug5("Connection::sendRaw: Sent %i bytes", params().addUInt(length));
  return true;
}

bool Connection::sendAck() {
  return sendRaw("ACK", 3);
}

bool Connection::sendNac() {
  return sendRaw("NAC", 3);
}

bool Connection::csend(const std::string& value) {
  if (value.size() > 0xFFFFFFFFull - 13) return false;
  std::string item = "STR" + lengthField(static_cast<uint32_t>(value.size()));
  item += value;
  return sendRaw(item.data(), static_cast<unsigned int>(item.size()));
}

bool Connection::csend(unsigned int value) {
  const std::string item = "U32" + numberField(value);
  return sendRaw(item.data(), static_cast<unsigned int>(item.size()));
}

bool Connection::haveData(int milliseconds) {
  shell().debug5(
      "Connection::haveData: Checking for data, allowing for up to %i millisecond(s) "
      "timeout",
      params().addInt(milliseconds));
  if (!open_) {
    shell().debug5("Connection::haveData:    Connection is not open");
    return false;
  }
  const int r = platform::socketWaitReadable(socket_, milliseconds);
  if (r > 0) {
    shell().debug5("Connection::haveData:    OK, have data");
    return true;
  }
  shell().debug5(r == 0 ? "Connection::haveData:    Timeout, no data"
                        : "Connection::haveData:    Error, no data");
  return false;
}

int Connection::crecvRaw(char* buffer, unsigned int& count) {
  shell().debug5("Connection::crecvRaw: Receiving up to %i bytes...", params().addUInt(count));
  if (!open_) {
    shell().debug5("Connection::crecvRaw: Connection not open");
    return 0;
  }
  if (count == 0) {
    shell().debug5("Connection::crecvRaw: Specified nothing (zero bytes) to receive");
    return 1;
  }
  const unsigned int asked = count;
  if (!haveData(0)) {
    count = 0;
    shell().debug5("Connection::crecvRaw: Found no data to receive");
    return 1;
  }
  const int64_t n = platform::socketRecv(socket_, buffer, asked);
  if (n < 0) {
    count = 0;
    if (platform::lastError() == platform::kWsaEwouldblock) {
      shell().debug5("Connection::crecvRaw: Non-fatal blocking error");
      return 1;
    }
    lastError_ = platform::lastError();
    HubLog::messagingError(kErrReceive, params().addULong(lastError_));
    shell().debug1("Connection::crecvRaw: Failed to receive through socket %i",
                   params().addUInt(socket_));
    close();
    return 0;
  }
  if (n == 0) {
    count = 0;
    shell().debug5("Connection::crecvRaw: Received zero bytes");
    return 0;
  }
  lastActivity_ = now();
  count = static_cast<unsigned int>(n);
  if (shell().hasDebug4()) {
    if (count == asked) {
      shell().debug4("Connection::crecvRaw: Received complete %i bytes = \"%s\"",
                     params().addUInt(count).addString(render(buffer, count)));
    } else {
      shell().debug4("Connection::crecvRaw: Received partial %i of %i bytes = \"%s\"",
                     params().addUInt(count).addUInt(asked).addString(render(buffer, count)));
    }
  }
  return count == asked ? 2 : 1;
}

int Connection::crecvRaw(std::string& partial, unsigned int total) {
  if (total < partial.size()) {
    shell().debug1("Connection::crecvRaw: INTERNAL ERROR - trying to receive negative remainder");
    return 0;
  }
  const unsigned int missing = total - static_cast<unsigned int>(partial.size());
  shell().debug5("Connection::crecvRaw: Receving %i (remaining) bytes", params().addUInt(missing));
  if (missing == 0) {
    shell().debug5("Connection::crecvRaw:    No remaining bytes to receive");
    return 2;
  }
  // One bounded chunk a call: a large item arrives over several calls and
  // the buffer never exceeds the chunk, whatever the peer announced.
  unsigned int count = std::min(missing, kReadChunkBytes);
  char stackBuffer[4096];
  std::string heap;
  char* buffer = stackBuffer;
  if (count > sizeof stackBuffer) {
    try {
      heap.resize(count);
    } catch (const std::bad_alloc&) {
      shell().debug1("Connection::crecvRaw: OUT OF MEMORY");
      return 0;
    }
    buffer = heap.data();
  }
  const int r = crecvRaw(buffer, count);
  if (r == 0) return 0;
  try {
    partial.append(buffer, count);
  } catch (const std::bad_alloc&) {
    shell().debug1("Connection::crecvRaw: OUT OF MEMORY");
    return 0;
  }
  return partial.size() == total ? 2 : 1;
}

int Connection::crecvType(std::string& partial) {
  shell().debug5("Connection::crecvType: Receiving");
  return crecvRaw(partial, 3);
}

int Connection::crecvLength(unsigned int& value, std::string& partial) {
  const int r = crecvRaw(partial, kLengthFieldBytes);
  if (r != 2) return r;
  value = platform::strtoul32(fieldText(partial).c_str(), nullptr, 10);
  return 2;
}

int Connection::crecv(std::string& value, RecvStaging& staging) {
  shell().debug5("Connection::crecv: Receiving string at stage %i", params().addInt(staging.stage));
  const char* failure = nullptr;
  int r = 1;
  switch (staging.stage) {
    case RecvStaging::kTag:
      r = crecvType(staging.partial);
      if (r == 2) {
        if (staging.partial != "STR") {
          shell().debug2("Connection::crecv: Stage 0 failure (expected \"STR\", got \"%s\")",
                         params().addString(render(staging.partial.data(), 3)));
          return 0;
        }
        staging.partial.clear();
        staging.stage = RecvStaging::kField;
        shell().debug5("Connection::crecv:    Received in full, incremented to next stage");
        return 1;
      }
      failure = "Connection::crecv: Stage 0 failure";
      break;
    case RecvStaging::kField: {
      unsigned int length = 0;
      r = crecvLength(length, staging.partial);
      if (r == 2) {
        if (length > kMaxItemBytes) {
          shell().debug1("Connection::crecv: Refused string of %i bytes (the limit is %i)",
                         params().addUInt(length).addUInt(kMaxItemBytes));
          return 0;
        }
        staging.length = length;
        staging.partial.clear();
        staging.stage = RecvStaging::kStringBytes;
        shell().debug5("Connection::crecv:    Received in full, incremented to next stage");
        return 1;
      }
      failure = "Connection::crecv: Stage 1 failure";
      break;
    }
    case RecvStaging::kStringBytes:
      if (!reserveStaged(staging)) return 0;
      r = crecvRaw(staging.partial, staging.length);
      if (r == 2) {
        value = staging.partial;
        staging.stage = RecvStaging::kStringDone;
        shell().debug5("Connection::crecv:    Received in full, last stage completed");
        return 2;
      }
      if (r == 0) {
        shell().debug2("Connection::crecv: Stage 2 failure");
        return 0;
      }
      return 1;
    default:
      return 1;
  }
  if (r == 0) {
    shell().debug2(failure);
    return 0;
  }
  shell().debug5("Connection::crecv:    Received partial, have to repeate stage to get the rest");
  return 1;
}

// Grows the staged text's room ahead of the next read (doubling, up to the
// announced length), so that what all connections hold together stays
// within the receive bound; false when it would not.
bool Connection::reserveStaged(RecvStaging& staging) {
  const uint64_t have = staging.partial.size();
  const uint64_t next = have + std::min<uint64_t>(staging.length - have, kReadChunkBytes);
  if (next <= staging.charged()) return true;
  const uint64_t room = std::min<uint64_t>(staging.length, std::max(next, 2 * staging.charged()));
  if (staging.reserve(room)) return true;
  HubLog::error(kMsgReceiveBound, params().addULong(RecvBudget::limit()).addString(host_));
  shell().debug1("Connection::crecv: Refused to hold more partly received bytes (%i in use)",
                 params().addULong(RecvBudget::used()));
  return false;
}

// The staged tag and fixed-width field of a number; 2 leaves the field's
// text in `staging.partial`.
int Connection::crecvNumber(const char* tag, RecvStaging& staging) {
  if (staging.stage == RecvStaging::kTag) {
    const int r = crecvType(staging.partial);
    if (r != 2) return r;
    if (staging.partial != tag) return 0;
    staging.partial.clear();
    staging.stage = RecvStaging::kField;
    return 1;
  }
  if (staging.stage != RecvStaging::kField) return 1;
  const int r = crecvRaw(staging.partial, kNumberFieldBytes);
  if (r != 2) return r;
  staging.stage = RecvStaging::kStringBytes;
  return 2;
}

int Connection::crecv(int& value, RecvStaging& staging) {
  shell().debug5("Connection::crecv: Receiving int_32");
  const int r = crecvNumber("I32", staging);
  if (r == 2) value = platform::atoi32(fieldText(staging.partial).c_str());
  return r;
}

int Connection::crecv(unsigned int& value, RecvStaging& staging) {
  shell().debug5("Connection::crecv: Receiving unsigned int_32");
  const int r = crecvNumber("U32", staging);
  if (r == 2) value = platform::strtoul32(fieldText(staging.partial).c_str(), nullptr, 10);
  return r;
}

int Connection::crecvAck(RecvStaging& staging) {
  const int r = crecvRaw(staging.partial, 3);
  if (r != 2) return r;
  return staging.partial == "ACK" ? 2 : 0;
}

}  // namespace Vemora
