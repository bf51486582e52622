// Administrative commands: CENTRAL messages addressed to the daemon. Their
// data holds one command per line; HELP, STATUS, GETBROADCAST and RUNAPP
// answer with a STATEMENT to the requester, the others act silently. All of
// this runs on the handler thread.
#include <string>
#include <vector>

#include "common/ProcessInstance.h"
#include "common/StringOps.h"
#include "relayhub/DaemonFlags.h"
#include "relayhub/HubLog.h"
#include "relayhub/RelayHub.h"

namespace Vemora {

namespace {

constexpr const char* kReplySource = "<noreply=relayhub>";
constexpr const char* kAdminHeader = "RAVEN";

// An application name that RUNAPP may look up in the program directory: no
// folder, drive or quote, so a request can never reach a program elsewhere.
bool isPlainProgramName(const std::string& name) {
  return name.find_first_of("\\/:\"") == std::string::npos;
}

}  // namespace

void RelayHub::handleAdminMessage(const Message& request) {
  std::vector<std::string> lines;
  StringOps::split(request.getData(), '\n', lines, 0, false);
  inAdminRequest_ = true;
  adminReplied_ = false;
  for (size_t position = 0; position < lines.size(); ++position) {
    if (handleAdminCommand(request, lines, position)) break;
  }
  inAdminRequest_ = false;
}

// A box keeps one pending message per id: a second reply under the
// request's id would replace the first before the requester fetched it.
uint32_t RelayHub::adminReplyId(uint32_t requestId) {
  if (!inAdminRequest_) return requestId;
  if (adminReplied_) return 0;
  adminReplied_ = true;
  return requestId;
}

bool RelayHub::handleAdminCommand(const Message& request, const std::vector<std::string>& lines,
                                  size_t& position) {
  std::string rest = lines[position];
  const std::string word = StringOps::cutToken(rest, ' ');
  if (word == "HANDLED") {
    unCache(request.getId(), true, false);
  } else if (word == "HANDLED_LOCAL") {
    handledLocal(request);
  } else if (word == "HELP") {
    sendHelp(request.getSource(), adminReplyId(request.getId()));
  } else if (word == "STATUS") {
    sendStatus(request.getSource(), adminReplyId(request.getId()));
  } else if (word == "GETBROADCAST") {
    size_t next = position + 1;
    getBroadcast(request.getSource(), adminReplyId(request.getId()), lines, next);
    position = next - 1;  // the address line is not a command
  } else if (word == "CLEAR") {
    clearBox(request.getTarget());
  } else if (word == "RUNAPP") {
    handleRunApp(request, lines, position);
    return true;
  } else if (word == "QUIT") {
    handleQuit(request.getHeader());
  } else if (word == "RESTART") {
    handleRestart(request.getHeader());
  }
  return false;
}

Message RelayHub::adminReply(const Address& requester, uint32_t id) const {
  Message reply(id);
  reply.setSource(kReplySource, hostName_);
  reply.setTargetExact(requester);
  reply.setType(Message::kStatement);
  return reply;
}

std::string RelayHub::adminBanner() const {
  return "Relay hub on " + hostName_ + " (port " + StringOps::fromInt(port_) + ")\n";
}

void RelayHub::sendHelp(const Address& requester, uint32_t id) {
  Message reply = adminReply(requester, id);
  reply.setData(adminBanner() +
                "\n"
                "STATUS       : Report current status\n"
                "GETBROADCAST : Specify an address on the second line (can be globs), for which "
                "to get all broadcast messages\n"
                "CLEAR        : Clear undelivered messages target address + report status\n"
                "RUNAPP       : Run the application specified on the following lines, where one "
                "line is app=<basename> and antother (optional) is args=<arguments to "
                "application>\n"
                "QUIT         : Terminate the relay hub\n"
                "RESTART      : Restart the relay hub\n");
  place(reply, true);
}

void RelayHub::sendStatus(const Address& requester, uint32_t id) {
  std::string text = adminBanner() + "Message boxes:\n";
  for (const auto& [address, box] : boxes_) {
    text += " - " + address.toText() + " (" +
            StringOps::fromUInt(static_cast<uint32_t>(box.pending().size())) + " messages, " +
            StringOps::fromInt(box.highCount()) + " high priority)\n";
  }
  Message reply = adminReply(requester, id);
  reply.setData(text);
  place(reply, true);
}

void RelayHub::clearBox(const Address& target) {
  auto it = boxes_.find(target.lowered());
  if (it == boxes_.end()) return;
  it->second.clearMessages();
  it->second.clearUnconfirmed();
}

void RelayHub::handleRunApp(const Message& request, const std::vector<std::string>& lines,
                            size_t position) {
  std::string app, args, key;
  for (size_t i = position + 1; i < lines.size(); ++i) {
    std::string value = lines[i];
    const std::string name = StringOps::cutToken(value, '=');
    if (name == "app") {
      app = value;
    } else if (name == "args") {
      args = value;
    } else if (name == "key") {
      key = value;
    }
  }
  const bool started = runApp(app, args, key);
  Message reply = adminReply(request.getSource(), adminReplyId(request.getId()));
  reply.setHeader(started ? "OK" : "ERR");
  reply.setData(request.getData());
  place(reply, true);
}

bool RelayHub::runApp(std::string application, std::string arguments, std::string key) {
  StringOps::trim(application);
  StringOps::trim(arguments);
  StringOps::trim(key);
  if (application.empty()) return false;
  std::string executable;
  bool configured = false;
  auto app = apps_.find(application);
  if (app != apps_.end()) {
    for (auto entry = app->second.rbegin(); entry != app->second.rend() && !configured; ++entry) {
      configured = StringOps::wildcardMatch(entry->key, key);
      if (configured) executable = entry->executable;
    }
  }
  if (!configured) {
    if (!isPlainProgramName(application)) return false;
    executable = binDir_ + application;
  }
  executable += ".exe";
  if (HubLog::debugLevel() >= 2) {
    ParamStream p;
    p.addString(executable).addString(arguments);
    HubLog::debug(2, "RelayHub::runApp: Running: %s %s", p);
  }
  return ProcessInstance::runCommand(executable, arguments);
}

void RelayHub::handleQuit(const std::string& header) {
  if (header != kAdminHeader) return;
  HubLog::debug(1, "RelayHub::handleQuit: Quit request received - quitting");
  stopFlag_->store(true);
}

void RelayHub::handleRestart(const std::string& header) {
  if (header != kAdminHeader) return;
  HubLog::debug(1, "RelayHub::handleRestart: Restart request received - restarting");
  DaemonFlags::restart().store(true);
  stopFlag_->store(true);
}

}  // namespace Vemora
