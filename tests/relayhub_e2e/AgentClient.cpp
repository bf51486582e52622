#include "relayhub_e2e/AgentClient.h"

#include <cstdlib>

namespace e2e {

namespace {

void item(std::string& out, char code, const std::string& value) {
  out += code;
  out += value;
  out += '\0';
}

}  // namespace

std::string WireMessage::toText() const {
  std::string body;
  item(body, 9, std::to_string(id));
  item(body, 1, sourceName);
  item(body, 1, sourceHost);
  item(body, 1, targetName);
  item(body, 1, targetHost);
  item(body, 8, std::to_string(type));
  item(body, 8, std::to_string(priority));
  item(body, 1, header);
  item(body, 1, data);
  item(body, 10, std::to_string(created));
  item(body, 10, std::to_string(timeout));
  item(body, 5, broadcast ? "1" : "0");
  item(body, 5, notify ? "1" : "0");
  if (remainingMs) item(body, 13, std::to_string(*remainingMs));
  return "method=none\n" + body;
}

std::optional<WireMessage> WireMessage::parse(const std::string& text) {
  const size_t eol = text.find('\n');
  if (eol == std::string::npos || text.substr(0, eol) != "method=none") return std::nullopt;
  std::vector<std::string> pieces;
  size_t start = eol + 1;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] != '\0') continue;
    if (i > start) pieces.push_back(text.substr(start, i - start));
    start = i + 1;
  }
  if (pieces.size() < 14) return std::nullopt;
  auto value = [&](size_t i) { return pieces[i].substr(1); };
  WireMessage m;
  m.id = static_cast<uint32_t>(std::strtoul(value(0).c_str(), nullptr, 10));
  m.sourceName = value(1);
  m.sourceHost = value(2);
  m.targetName = value(3);
  m.targetHost = value(4);
  m.type = std::atoi(value(5).c_str());
  m.priority = std::atoi(value(6).c_str());
  m.header = value(7);
  m.data = value(8);
  m.created = std::atoi(value(9).c_str());
  m.timeout = std::atoi(value(10).c_str());
  m.broadcast = value(11) != "0";
  m.notify = value(12) != "0";
  m.remainingMs = std::strtoull(value(13).c_str(), nullptr, 10);
  return m;
}

WireMessage AgentClient::make(uint32_t id, const std::string& from, const std::string& to,
                              const std::string& data) {
  WireMessage m;
  m.id = id;
  m.sourceName = from;
  m.sourceHost = "localhost";
  m.targetName = to;
  m.targetHost = "localhost";
  m.data = data;
  return m;
}

bool AgentClient::connect(int port) {
  if (!frame_.connect(port)) return false;
  return frame_.readRaw() == std::optional<std::string>("ACK") && frame_.readU32().has_value();
}

bool AgentClient::handshake(const std::string& name, const std::string& host, int32_t port,
                            int32_t instanceId, int32_t signals, std::string* status) {
  if (!frame_.sendU32(2) || frame_.readRaw() != std::optional<std::string>("ACK")) return false;
  if (!frame_.sendString("AGENT") || frame_.readRaw() != std::optional<std::string>("ACK")) {
    return false;
  }
  const auto backup = frame_.readString();
  if (!backup || frame_.readString() != std::optional<std::string>("BEGIN")) return false;
  if (status != nullptr) *status = *backup;
  return frame_.sendString(name) && frame_.sendString(host) && frame_.sendI32(port) &&
         frame_.sendI32(instanceId) && frame_.sendI32(signals) &&
         frame_.readRaw() == std::optional<std::string>("ACK");
}

bool AgentClient::place(const std::vector<WireMessage>& messages) {
  if (!frame_.sendString("PLAC") || frame_.readRaw() != std::optional<std::string>("ACK")) {
    return false;
  }
  if (!frame_.sendU32(static_cast<uint32_t>(messages.size()))) return false;
  for (const WireMessage& m : messages) {
    if (!frame_.sendString(m.toText())) return false;
    if (frame_.readRaw() != std::optional<std::string>("ACK")) return false;
  }
  return true;
}

std::optional<AgentClient::Batch> AgentClient::extract() {
  if (!frame_.sendString("EXTR") || frame_.readRaw() != std::optional<std::string>("ACK")) {
    return std::nullopt;
  }
  Batch batch;
  const auto count = frame_.readU32();
  if (!count) return std::nullopt;
  batch.count = *count;
  if (batch.count == 0) return batch;
  const auto indicator = frame_.readString();
  if (!indicator) return std::nullopt;
  batch.indicator = *indicator;
  for (uint32_t i = 0; i < batch.count; ++i) {
    const auto text = frame_.readString();
    if (!text) return std::nullopt;
    const auto m = WireMessage::parse(*text);
    if (!m || !frame_.sendAck()) return std::nullopt;
    batch.messages.push_back(*m);
  }
  return batch;
}

std::optional<std::vector<WireMessage>> AgentClient::extractAll() {
  std::vector<WireMessage> all;
  for (int round = 0; round < 1000; ++round) {
    const auto batch = extract();
    if (!batch) return std::nullopt;
    all.insert(all.end(), batch->messages.begin(), batch->messages.end());
    if (batch->count == 0 || batch->indicator == "all") return all;
  }
  return std::nullopt;
}

}  // namespace e2e
