// A small blocking TCP client that speaks the relay daemon's framing, for
// end-to-end tests: raw "ACK"/"NAC", "U32" and "I32" numbers (15-byte
// fields) and "STR" strings (10-byte length field), fields padded with zero
// bytes. Every read waits at most its time-out; nothing waits for ever.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace e2e {

class FrameClient {
 public:
  FrameClient() = default;
  ~FrameClient();
  FrameClient(const FrameClient&) = delete;
  FrameClient& operator=(const FrameClient&) = delete;

  // Connects to 127.0.0.1:port; false when refused or timed out.
  bool connect(int port, int timeoutMs = 5000);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  // Half-closes the sending side (the daemon then reads end of stream).
  void shutdownSend();

  // Raw bytes, sent whole (false on error).
  bool sendRaw(const std::string& bytes);
  bool sendAck() { return sendRaw("ACK"); }
  bool sendNac() { return sendRaw("NAC"); }
  bool sendU32(uint32_t value);
  bool sendI32(int32_t value);
  bool sendString(const std::string& value);
  // The item bytes, for tests that send them in pieces or malformed.
  static std::string u32Item(uint32_t value);
  static std::string i32Item(int32_t value);
  static std::string stringItem(const std::string& value);
  static std::string field(const std::string& digits, size_t width);

  // Exactly `count` bytes, or nullopt when the peer closed or the time ran
  // out first (what arrived is then in lastPartial()).
  std::optional<std::string> readExact(size_t count, int timeoutMs = 5000);
  // A 3-byte raw answer ("ACK", "NAC", ...).
  std::optional<std::string> readRaw(int timeoutMs = 5000) { return readExact(3, timeoutMs); }
  // A "U32" / "I32" item; nullopt when the tag differs or the read fails.
  std::optional<uint32_t> readU32(int timeoutMs = 5000);
  std::optional<int32_t> readI32(int timeoutMs = 5000);
  // A "STR" item.
  std::optional<std::string> readString(int timeoutMs = 5000);

  // True when the peer closed the connection (end of stream or reset)
  // within the time, with no byte arriving before.
  bool waitClosed(int timeoutMs = 5000);
  // Reads and drops whatever arrives until the peer closes; true when it
  // closed within the time. The dropped bytes are in lastPartial().
  bool drainUntilClosed(int timeoutMs = 5000);
  // True when nothing arrives and the connection stays open for `ms`.
  bool quietFor(int ms);

  const std::string& lastPartial() const { return partial_; }

 private:
  int fd_ = -1;
  std::string partial_;
};

}  // namespace e2e
