// An inter-process channel: a receiver (mode 0) reads the messages written
// to it; a sender (mode 1 this machine, 2 every machine of the domain)
// writes one message per send.
#pragma once

#include <list>
#include <string>

namespace Vemora {

class IPC {
 public:
  static constexpr int kReceiver = 0;
  static constexpr int kLocalSender = 1;
  static constexpr int kDomainSender = 2;

  explicit IPC(int mode) : mode_(mode) {}
  IPC(const IPC&) = delete;
  IPC& operator=(const IPC&) = delete;
  virtual ~IPC() = default;

  virtual bool send(const std::string& text) = 0;
  virtual void receive(std::list<std::string>& out) = 0;
  int mode() const { return mode_; }

 protected:
  int mode_;
};

}  // namespace Vemora
