// A sender that puts a typed record together and writes it to a mailslot:
// "Vemora", ESC, type, ESC, second field, ESC, body, ESC, [last field, ESC],
// and the closing zero byte. One client serves one thread at a time.
#pragma once

#include <memory>
#include <string>

namespace Vemora {

class MailSlot;

class IPCClient {
 public:
  static constexpr char kEsc = '\x1B';

  explicit IPCClient(const std::string& mailslotName);
  IPCClient(const IPCClient&) = delete;
  IPCClient& operator=(const IPCClient&) = delete;
  virtual ~IPCClient();

  // The record text of send().
  static std::string recordText(const std::string& type, const std::string& second,
                                const std::string& body, const std::string& last);
  // sendRaw of the record text.
  bool send(const std::string& type, const std::string& second, const std::string& body,
            const std::string& last);
  // False when the mailslot cannot be opened or written (no receiver, a
  // full receiver); throws IPCException only when the MailSlot object
  // itself cannot be made.
  bool sendRaw(const std::string& text);

 private:
  std::unique_ptr<MailSlot> slot_;
  std::string name_;
};

}  // namespace Vemora
