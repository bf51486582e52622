// The relay daemon: the one object that main builds, configures and runs.
//
// Threads: the main thread configures the hub and runs the main loop
// (run); the listener thread accepts connections and queues them; the
// handler thread owns every accepted connection and steps the agent
// protocol. They share only the new-connection queue (under queueLock_),
// the open-connection count (atomic) and the process-wide stop and restart
// flags (atomic). Message boxes, the record of sent messages and the
// connection entries belong to the handler thread once the threads run.
//
// Shutdown order: the main loop ends, the stop flag is set and the blocked
// listener woken; the destructor asks both threads to quit and waits for
// them (bounded), and only then releases the logging objects and destroys
// the members the threads used.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/BasicFile.h"
#include "common/CommandLine.h"
#include "common/Monopoly.h"
#include "common/SmartPointer.h"
#include "common/ThreadInfo.h"
#include "logger/LogCommons.h"
#include "logger/LoggerInterface.h"
#include "logger/LoggingSetup.h"
#include "platform/WakeEvent.h"
#include "relayhub/AppEntry.h"
#include "relayhub/Connection.h"
#include "relayhub/ConnectionEntry.h"
#include "relayhub/ConnectionList.h"
#include "relayhub/ConnectionsLog.h"
#include "relayhub/Message.h"
#include "relayhub/MessageBox.h"
#include "relayhub/RHBackup.h"
#include "relayhub/SentRecord.h"
#include "relayhub/TargetMapping.h"

namespace Vemora {

class RelayHub {
 public:
  // Catalogue messages of the daemon's own module.
  enum Catalogue : int {
    kMsgMissingKey = 2,
    kMsgNoMemory = 3,
    kMsgDirectory = 4,
    kMsgMappingsUnreadable = 5,
    // One number, two events: a failed catalogue load never finds its own
    // text (it shows as "Message not found" with the report), so the
    // catalogue's text for 6 is the name-mapping line's.
    kMsgMappingLine = 6,
    kMsgLoadFailed = 6,
    kMsgNoMappings = 8,
    kMsgConnectionsLog = 13,
    kMsgListenerFailed = 15,
    kMsgThreadStart = 16,
    kMsgThreadsFailed = 18,
    kMsgThreadsStarted = 19,
    kMsgStopping = 20,
    kMsgNoProgram = 21,
    kMsgListening = 22,
    kMsgRegistryUnreadable = 23,
    kMsgStoreFailed = 24,
    kMsgStateInUse = 25,
    kMsgTextWithoutMessage = 26,
    kMsgReceiveBound = 27,
    kMsgStoreRetry = 28,
  };

  // Exit codes of the daemon.
  enum ExitCode : int {
    kExitRunning = 0,
    kExitUsage = 0,
    kExitRestart = 1,
    kExitConfig = 2,
    kExitStopped = 10,
    kExitThreads = 20,
    kExitOtherInstance = 21,
  };

  // How long the shutdown waits for the worker threads to end: longer than
  // one send may take (its time limit is 10 s), so a handler caught in a
  // send to a stalled agent still ends in order.
  static constexpr uint32_t kThreadJoinMs = 12000;
  static constexpr int kAcceptFailureLimit = 20;

  // Stores the stop flag and parses the command line (argv[0] dropped).
  RelayHub(std::atomic<bool>* stopFlag, int argc, char** argv);
  virtual ~RelayHub();
  RelayHub(const RelayHub&) = delete;
  RelayHub& operator=(const RelayHub&) = delete;

  // Configuration in its fixed order; false ends the process with exit
  // code 2. The usage text ends the process with exit code 0.
  bool configure();
  // Starts the threads and runs the main loop until a stop; false only when
  // the threads could not start. Sets the stop flag before returning true.
  bool run();
  bool startThreads();
  bool startAllThreads();

  // True after the destructor saw a worker thread outlive its wait; main
  // then ends the process without destroying what the thread still uses.
  bool threadsStuck() const { return threadsStuck_; }
  // Asks the worker threads to quit and waits for them; false when one is
  // still running after `timeoutMs`.
  bool stopThreads(uint32_t timeoutMs);
  // Writes what the log agent still holds (for an exit that skips the
  // destructor).
  void flushLogs();

  // ---- configuration steps (run by configure, in this order) ----
  bool wantsUsage() const;
  static void usage();
  bool configureDebugLog();
  bool configureFile();
  void loadLogMessages();
  bool configureDebugLevel();
  bool configurePort();
  bool configureMappings();
  bool configureDirectories();
  bool configureConnections();
  bool configureApps();
  bool configureBackup();
  void configureConnectionsLog();
  // Start-up checks and the failures that standard error also tells.
  void reportRegistryProblem();
  void missingKey(const std::string& key, int code);
  bool requiredDirectory(const std::string& key, std::string& dir);
  bool usableDirectory(const std::string& key, const std::string& dir);

  // ---- listener and handler threads ----
  // Thread entry routines: they receive the thread record; 1 at once when
  // the record or its argument is null.
  static uint32_t listenerEntry(void* record);
  static uint32_t handlerEntry(void* record);
  uint32_t listener(ThreadInfo* self);
  uint32_t handler(ThreadInfo* self);
  bool newConnection(SmartPointer<Connection>& connection);
  void listenerFailed(int setup);
  void registerConnection(SmartPointer<Connection> connection);
  void grabNewConnections(ConnectionList& list);
  void iterateHandleConnnections(ConnectionList& list);
  // The idle step; true when it called an agent back (no sleep then).
  bool waitIfNoConnections(int32_t now, int32_t& lastTick);
  // The end of a pass: the state store's group commit, then the replies
  // that waited for it.
  void commitPass(ConnectionList& list);
  // Waits up to `ms` for input on a connection that waits for it, room on
  // one whose sends are staged, a new queued connection or a quit; not at
  // all when a connection has a step to take without input.
  void waitForInput(ConnectionList& list, int ms);
  // A connection with staged bytes sends more of them; false when it was
  // dropped or must wait for its socket this pass (the position moved on).
  bool flushStep(ConnectionEntry& entry, ConnectionList& list);

  // ---- steps of later parts, empty until they are built ----
  // Reloads the user name-mapping file when it changed (main loop, once a
  // second, and the first check during configuration).
  bool updateTargetAddrNamesMapFile();
  // Drops timed-out broadcasts (main loop, every 60 seconds).
  void checkBroadcastTimeouts();
  // The idle sweep (RelayHubNotify.cpp): removes boxes inactive for longer
  // than the agents time-out and calls back agents with HIGH mail waiting;
  // true when it attempted a call-back. Does nothing unless notify-agents.
  bool sweepBoxes();
  // True (and the address noted for removal) when the box has been idle
  // for longer than the agents time-out at `now` (seconds since 1970).
  bool haveMsgBoxTimedOut(int32_t now, const MessageBox& box, std::list<Address>& removals);
  void removeBoxes(const std::list<Address>& addresses);
  bool shouldNotify(const MessageBox& box) const;
  // One call-back ("UPDATE" on the agent's own port); false when the box is
  // still held back after a failed attempt, true when one was made.
  bool notify(MessageBox& box);

  // Read-only views used by the protocol and the tests.
  int32_t openConnections() const { return openCount_.load(); }
  int32_t maxConnections() const { return maxConnections_; }
  int32_t preferredProtocolVersion() const { return preferredVersion_; }
  int32_t port() const { return port_; }
  const std::string& hostName() const { return hostName_; }
  const std::string& tempDirectory() const { return tempDir_; }
  const std::string& binDirectory() const { return binDir_; }
  const std::string& mappingsDirectory() const { return mappingsDir_; }
  const std::map<std::string, std::list<AppEntry>>& apps() const { return apps_; }
  int32_t agentsTimeout() const { return agentsTimeout_; }
  bool notifyAgents() const { return notifyAgents_; }
  std::atomic<bool>* stopFlag() const { return stopFlag_; }

  // ==== Agent protocol, messages, boxes and state store ====
  // (declared by the protocol and store files, defined in their own .cpp
  // files; the engine above calls the first six)
  bool handleConnection(ConnectionEntry& entry, ConnectionList& list);
  bool checkWaitingHaveData(int32_t now, ConnectionEntry& entry, ConnectionList& list);
  void getFullConnAddress(ConnectionEntry& entry);
  void debugConn(int32_t now, ConnectionEntry& entry, int index, int count);
  void sweepSentMessages();
  // Takes the state directory's lock, then restores; false (and
  // stateFolderBusy) when another daemon holds the directory.
  bool restoreBackup();
  bool stateFolderBusy() const { return stateFolderBusy_; }
  void mergeCapitalisedBoxes();
  void restoreBox(const std::string& dir);
  void restoreBroadcasts();
  void rebuildSentMessages();
  // A box file that parses whole and names its address.
  bool readStoredBox(const std::string& dir, MessageBox& box);

  // Handshake (states 0 to 11) and what all states share.
  bool haveDataToReceive(ConnectionEntry& entry, ConnectionList& list);
  bool reportHaveNoData(ConnectionEntry& entry);
  // Closes and erases the list's current entry; the position moves on.
  void dropConnection(ConnectionList& list);
  void logMsgBoxContents(const Address& address);
  bool initGetProtocolVersion(ConnectionEntry& entry, ConnectionList& list);
  bool initAcceptProtocol(ConnectionEntry& entry, ConnectionList& list);
  bool initGetType(ConnectionEntry& entry, ConnectionList& list);
  bool initAcceptAgent(ConnectionEntry& entry, ConnectionList& list);
  bool initAcceptRouter(ConnectionEntry& entry, ConnectionList& list);
  bool initRejectUnknown(ConnectionEntry& entry, ConnectionList& list);
  bool initRecvAddrName(ConnectionEntry& entry, ConnectionList& list);
  bool initRecvAddrHost(ConnectionEntry& entry, ConnectionList& list);
  bool initRecvPort(ConnectionEntry& entry, ConnectionList& list);
  bool initRecvInstanceID(ConnectionEntry& entry, ConnectionList& list);
  bool initRecvSignal(ConnectionEntry& entry, ConnectionList& list);
  bool initAck(ConnectionEntry& entry, ConnectionList& list);
  // Tasks (states 12 to 23).
  bool handleRecvTask(ConnectionEntry& entry, ConnectionList& list);
  bool handlePLAC(ConnectionEntry& entry, ConnectionList& list);
  bool handleEXTR(ConnectionEntry& entry, ConnectionList& list);
  bool handleEND(ConnectionEntry& entry, ConnectionList& list);
  bool handleReject(ConnectionEntry& entry, ConnectionList& list);
  bool handlePLACRecvMsgnum(ConnectionEntry& entry, ConnectionList& list);
  bool handlePLACRecvMsg(ConnectionEntry& entry, ConnectionList& list);
  bool handlePLACRecvMsgAck(ConnectionEntry& entry, ConnectionList& list);
  // The "ACK" of a placed message once the state store has synced it.
  bool finishPlacedMessage(ConnectionEntry& entry);
  bool handleEXTRSendMsgnum(ConnectionEntry& entry, ConnectionList& list);
  bool handleEXTRSendMsgStart(ConnectionEntry& entry, ConnectionList& list);
  bool handleEXTRSendMsg(ConnectionEntry& entry, ConnectionList& list);
  bool handleEXTRRecvMsgAck(ConnectionEntry& entry, ConnectionList& list);

  // Placing, extraction and the record of sent messages. place answers
  // false only when the message could not be stored on disk.
  bool place(const Message& msg, bool mapped);
  bool placeInMsgBox(const Message& msg);
  MessageBox& getMessageBox(const Address& address);
  bool addMessage(MessageBox& box, const Message& msg);
  void registerMsgDetails(const Message& msg);
  bool extract(const Address& address, std::list<Message>& out, int32_t port, int32_t instanceId);
  void cacheExtractedMessages(MessageBox& box, std::list<Message>& out);
  void unCache(uint32_t id, bool withdrawBroadcast, bool clearNoBroadcast);
  void removeFromCache(const Address& address, uint32_t id, bool clearNoBroadcast);
  void clearFromNoBroadcast(uint32_t id, MessageBox& box);
  void handledLocal(const Message& msg);
  // True while a box named by the record still holds a copy of its id
  // (pending or unconfirmed); the record is dropped as soon as none does.
  bool holdsCopy(uint32_t id, const SentRecord& record) const;
  void forgetSentIfUnheld(uint32_t id);

  // Broadcast (RelayHubBroadcast.cpp). broadcast takes a wildcard-target
  // message into the main list and offers it to every existing box;
  // placeBroadcast(box) offers the list to one box (a new box, or after
  // SIG_REBROADCAST); getBroadcast answers GETBROADCAST, reading the address
  // from lines[next] and moving next past it.
  // broadcast and updateBroadcast answer false when the broadcast's file
  // could not be written: it is then neither listed nor offered to a box.
  bool broadcast(const Message& msg);
  void placeBroadcast(const Message& msg);
  bool updateBroadcast(Message msg);
  void placeBroadcast(MessageBox& box);
  void placeBroadcastMessages(MessageBox& box, const std::list<Message>& list);
  bool offerToBox(const MessageBox& box, const Message& msg, const std::set<uint32_t>& given);
  bool placeBroadcastTargetMapping(const MessageBox& box, const Message& msg);
  void reBroadcast(const Address& address);
  void getBroadcast(const Address& requester, uint32_t id, const std::vector<std::string>& lines,
                    size_t& next);

  // Administrative commands (RelayHubAdmin.cpp): a CENTRAL message's data,
  // one command per line. handleAdminCommand runs lines[position] (moving
  // position past the lines a command reads) and answers true when the
  // rest of the request is not to be run (after RUNAPP).
  void handleAdminMessage(const Message& request);
  bool handleAdminCommand(const Message& request, const std::vector<std::string>& lines,
                          size_t& position);
  void sendHelp(const Address& requester, uint32_t id);
  void sendStatus(const Address& requester, uint32_t id);
  void clearBox(const Address& target);
  void handleRunApp(const Message& request, const std::vector<std::string>& lines, size_t position);
  bool runApp(std::string application, std::string arguments, std::string key);
  void handleQuit(const std::string& header);
  void handleRestart(const std::string& header);
  // A STATEMENT from the daemon to the requester; the first line of the
  // HELP and STATUS texts.
  Message adminReply(const Address& requester, uint32_t id) const;
  std::string adminBanner() const;
  // The id of the next reply to a request: its own id for the first reply,
  // 0 (a new id) for every further reply of the same request.
  uint32_t adminReplyId(uint32_t requestId);

  // Calls into name mapping and the connections log. runTargetMappings is
  // true when the message went to the learned local names of its target's
  // standard name instead of its own target; `stored` turns false when a
  // copy could not be stored on disk. localToStandardName gives "" for a
  // name no mapping line maps.
  bool runTargetMappings(const Message& msg, bool& stored);
  std::string localToStandardName(const std::string& name);
  bool connectionsLogOpen() const;
  void connectionsLogLine(const Address& address, const std::string& keyword,
                          const std::string& text);
  void connectionsLogMessage(const Address& address, const std::string& keyword, const Message& msg,
                             bool withLine);

  // Target-name mapping (the user mappings file and the learned names).
  bool readMapFile();
  std::list<TargetMapping> copyMappings();
  std::string mapName(const std::string& name);
  std::set<std::string> getLocalNames(const std::string& standard);
  // False when a copy could not be stored.
  bool sendToTargets(const Message& msg, const std::set<std::string>& locals,
                     const std::string& standard);
  // The next line that is neither empty nor a "#" comment, trimmed; false
  // at the end. `lineNumber` counts every line read.
  static bool readNextLine(BasicFile& file, std::string& line, int32_t& lineNumber);

  // State and views for the restore and the tests.
  RHBackup& backup() { return backup_; }
  std::map<Address, MessageBox>& messageBoxes() { return boxes_; }
  std::map<uint32_t, SentRecord>& sentMessages() { return sentMessages_; }
  std::list<Message>& broadcastList() { return broadcasts_; }
  // Longest a handshake may take, and the base of what one item from an
  // agent may take (seconds).
  static constexpr int32_t kHandshakeLimitSeconds = 30;
  static constexpr int32_t kItemLimitSeconds = 30;
  // An item may take 30 s plus one second for every 500 bytes it
  // announces: a minimum average rate of 500 bytes a second, so a large
  // message over a slow link completes.
  static constexpr uint32_t kItemMinBytesPerSecond = 500;
  static int64_t itemLimitSeconds(uint32_t announcedBytes);
  // ==== end of the agent protocol block ====

 private:
  // Logging set, catalogue and command line.
  LoggingSetup logging_;
  std::unique_ptr<LoggerInterface> loggerInterface_;
  ConnectionsLog connectionsLog_;
  LogCommons catalogue_;
  CommandLine::OptionList options_;
  std::string configPath_;  // the configuration file read
  std::string hostName_;
  int32_t port_ = 0;
  std::atomic<bool>* stopFlag_ = nullptr;
  std::string mappingsDir_;
  std::string tempDir_;
  std::string binDir_;
  std::map<std::string, std::list<AppEntry>> apps_;
  Monopoly mappingLock_;
  std::list<TargetMapping> mappings_;
  std::string mappingsFile_;
  int32_t mappingsFileTime_ = 0;
  Connection listening_;
  int32_t preferredVersion_ = 2;
  int32_t agentsTimeout_ = 86400;
  bool notifyAgents_ = true;
  Monopoly broadcastLock_;

  // ==== Agent protocol members (boxes, sent record, broadcasts, store) ====
  // When the item an entry waits for began, keyed by the entry (with its
  // connection and registration time, so a reused address starts afresh).
  struct ItemClock {
    const Connection* connection = nullptr;
    int32_t registered = 0;
    int32_t started = 0;
  };
  void startItem(ConnectionEntry& entry, int32_t state, bool waiting);
  bool overTimeLimits(int32_t now, ConnectionEntry& entry);
  void replacePending(ConnectionEntry& entry);
  void protoTrace(int level, const char* method, const ConnectionEntry& entry, int indent,
                  const std::string& text, const ParamStream& params = ParamStream());

  RHBackup backup_;
  std::map<Address, MessageBox> boxes_;
  std::map<uint32_t, SentRecord> sentMessages_;
  std::list<Message> broadcasts_;
  // Ids whose broadcast file could not be read at start: never overwritten.
  std::set<uint32_t> unreadableBroadcasts_;
  std::map<const ConnectionEntry*, ItemClock> itemClocks_;
  // ==== end of the agent protocol members ====

  // Declared before the queue: entries give their place back on
  // destruction, so the count must outlive them.
  std::atomic<int32_t> openCount_{0};
  ConnectionList::Entries queue_;
  Monopoly queueLock_;
  int32_t queuedCount_ = 0;
  // Set when a connection is queued or the handler is asked to quit: ends
  // the handler's wait between passes.
  platform::WakeEvent handlerWake_;
  int32_t maxConnections_ = 1;
  ThreadInfo* listenerThread_ = nullptr;
  // The listening socket is up (set by the listener): only then is there
  // an accept to wake at shutdown.
  std::atomic<bool> listenerUp_{false};
  ThreadInfo* handlerThread_ = nullptr;
  bool threadsStuck_ = false;
  bool stateFolderBusy_ = false;
  // While one administrative request runs: whether it has replied yet.
  bool inAdminRequest_ = false;
  bool adminReplied_ = false;
};

}  // namespace Vemora
