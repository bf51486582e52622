// Load generator for a running relayhub (run by hand through scripts/bench,
// never in CI): N sending and N receiving agents over loopback, each sender
// placing M messages of S bytes, spread over the receivers, which fetch them
// with EXTR. Prints messages per second end to end, the median and 99th
// percentile latency from PLAC to EXTR, and the daemon's peak memory.
// With --backlog K, N senders first queue K messages for one receiver, which
// then drains them (messages per second of the drain). With --disk-rate R the
// rate is also shown divided by R, the disk's rate of atomic synced file
// writes, which --measure-disk DIR measures and prints. With --idle T, N
// agents connect and stay silent for T seconds, and the share of a core the
// daemon used meanwhile is printed.
//
//   relayhub_load --port P [--pid PID] [--senders N] [--messages M] [--size S]
//                 [--batch B] [--backlog K] [--idle SECONDS] [--disk-rate R] [--header]
//   relayhub_load --measure-disk DIR
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/FileUtils.h"
#include "common/StringStream.h"
#include "relayhub/Connection.h"
#include "relayhub/Message.h"
#include "relayhub/RecvStaging.h"

using Vemora::Connection;
using Vemora::Message;
using Vemora::RecvStaging;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
  int port = 0;
  int pid = 0;
  int agents = 1;
  int messages = 100;
  int size = 256;
  int batch = 10;
  int backlog = 0;
  int idle = 0;
  double diskRate = 0;
  std::string measureDisk;
  bool header = false;
};

// Shared between the agents: when each message id was handed in.
struct Book {
  std::mutex lock;
  std::map<uint32_t, Clock::time_point> placed;
  std::vector<double> latencyMs;
  std::atomic<int> received{0};
  std::atomic<int> failures{0};
};

// A blocking agent on top of the daemon's own connection class.
class Agent {
 public:
  bool open(int port, const std::string& name) {
    c_.setHost("127.0.0.1");
    c_.setPort(port);
    if (c_.connect() != Connection::kOk) return false;
    // Items go out at once, as the daemon sends its own.
    platform::socketSetNoDelay(c_.getSocket(), true);
    unsigned int socketId = 0;
    std::string status;
    return raw() == "ACK" && recv(socketId) && c_.csend(2u) && raw() == "ACK" &&
           c_.csend(std::string("AGENT")) && raw() == "ACK" && recv(status) && recv(status) &&
           sendI32Items(name) && raw() == "ACK";
  }
  // `sending` runs just before each message goes out.
  template <typename F>
  bool place(const std::vector<std::string>& texts, F sending) {
    if (!c_.csend(std::string("PLAC")) || raw() != "ACK") return false;
    if (!c_.csend(static_cast<unsigned int>(texts.size()))) return false;
    for (size_t i = 0; i < texts.size(); ++i) {
      sending(i);
      if (!c_.csend(texts[i]) || raw() != "ACK") return false;
    }
    return true;
  }
  // EXTR: the messages handed out (each acknowledged); false on failure.
  bool extract(std::vector<std::string>& out, bool& all) {
    out.clear();
    if (!c_.csend(std::string("EXTR")) || raw() != "ACK") return false;
    unsigned int count = 0;
    if (!recv(count)) return false;
    all = true;
    if (count == 0) return true;
    std::string indicator;
    if (!recv(indicator)) return false;
    all = indicator == "all";
    for (unsigned int i = 0; i < count; ++i) {
      std::string text;
      if (!recv(text) || !c_.sendAck()) return false;
      out.push_back(text);
    }
    return true;
  }
  void end() {
    c_.csend(std::string("END!"));
    c_.close();
  }

 private:
  template <typename T>
  bool recv(T& value) {
    RecvStaging staging;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (;;) {
      const int r = c_.crecv(value, staging);
      if (r != 1) return r == 2;
      if (Clock::now() > deadline) return false;
      c_.haveData(1000);
    }
  }
  std::string raw() {
    RecvStaging staging;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (;;) {
      const int r = c_.crecvAck(staging);
      if (r == 2) return "ACK";
      if (r == 0 || Clock::now() > deadline) return "";
      c_.haveData(1000);
    }
  }
  bool sendI32Items(const std::string& name) {
    // Name and host, then port, instance id and signals as "I32" items.
    if (!c_.csend(name) || !c_.csend(std::string("localhost"))) return false;
    for (int v : {0, 1, 0}) {
      const std::string item = "I32" + Connection::numberField(static_cast<uint32_t>(v));
      if (!c_.sendRaw(item.data(), static_cast<unsigned int>(item.size()))) return false;
    }
    return true;
  }

  Connection c_;
};

std::string messageText(uint32_t id, const std::string& from, const std::string& to,
                        const std::string& data) {
  Message m(id);
  m.setSource(from, "localhost");
  m.setTarget(Vemora::Address(to, "localhost"));
  m.setType(Message::kData);
  m.setData(data);
  Vemora::StringStream s;
  m.toStream(s);
  std::string text;
  s.toString(text, Vemora::StringStream::kMethodNone);
  return text;
}

uint32_t idOf(const std::string& text) {
  Vemora::StringStream s;
  s.fromString(text);
  Message m(1);
  m.fromStream(s);
  return m.getId();
}

void sender(const Options& o, int index, uint32_t firstId, Book& book) {
  Agent a;
  const std::string name = "load-sender-" + std::to_string(index);
  if (!a.open(o.port, name)) {
    ++book.failures;
    return;
  }
  const std::string data(static_cast<size_t>(o.size), 'x');
  std::vector<std::string> batch;
  std::vector<uint32_t> ids;
  for (int i = 0; i < o.messages; ++i) {
    const uint32_t id = firstId + static_cast<uint32_t>(i);
    const std::string to = o.backlog > 0
                               ? std::string("load-drain")
                               : "load-receiver-" + std::to_string((index + i) % o.agents);
    batch.push_back(messageText(id, name, to, data));
    ids.push_back(id);
    if (static_cast<int>(batch.size()) == o.batch || i + 1 == o.messages) {
      // Latency counts from the moment each message is handed in.
      const auto stamp = [&](size_t k) {
        std::lock_guard<std::mutex> g(book.lock);
        book.placed[ids[k]] = Clock::now();
      };
      if (!a.place(batch, stamp)) {
        ++book.failures;
        return;
      }
      batch.clear();
      ids.clear();
    }
  }
  a.end();
}

void receiver(const Options& o, int index, int expected, Book& book,
              const std::atomic<bool>& giveUp) {
  Agent a;
  const std::string name =
      o.backlog > 0 ? std::string("load-drain") : "load-receiver-" + std::to_string(index);
  if (!a.open(o.port, name)) {
    ++book.failures;
    return;
  }
  int got = 0;
  std::vector<std::string> texts;
  while (got < expected && !giveUp.load()) {
    bool all = true;
    if (!a.extract(texts, all)) {
      ++book.failures;
      return;
    }
    const auto now = Clock::now();
    for (const std::string& t : texts) {
      const uint32_t id = idOf(t);
      std::lock_guard<std::mutex> g(book.lock);
      auto it = book.placed.find(id);
      if (it != book.placed.end()) {
        book.latencyMs.push_back(
            std::chrono::duration<double, std::milli>(now - it->second).count());
      }
    }
    got += static_cast<int>(texts.size());
    book.received += static_cast<int>(texts.size());
    // An eager agent: asks again soon when its box was empty.
    if (texts.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  a.end();
}

long peakKb(int pid) {
  if (pid <= 0) return 0;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
  return v[i];
}

bool parse(int argc, char** argv, Options& o) {
  const std::map<std::string, int Options::*> numbers = {
      {"--port", &Options::port},       {"--pid", &Options::pid},
      {"--senders", &Options::agents},  {"--messages", &Options::messages},
      {"--size", &Options::size},       {"--batch", &Options::batch},
      {"--backlog", &Options::backlog}, {"--idle", &Options::idle}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    const auto number = numbers.find(arg);
    if (number != numbers.end()) {
      o.*(number->second) = next != nullptr ? std::atoi(argv[++i]) : 0;
    } else if (arg == "--disk-rate") {
      o.diskRate = next != nullptr ? std::atof(argv[++i]) : 0;
    } else if (arg == "--measure-disk") {
      o.measureDisk = next != nullptr ? argv[++i] : "";
    } else if (arg == "--header") {
      o.header = true;
    } else {
      return false;
    }
  }
  if (!o.measureDisk.empty()) return true;
  if (o.backlog > 0) o.messages = std::max(1, o.backlog / o.agents);
  return o.port > 0 && o.agents > 0 && o.messages > 0 && o.size >= 0 && o.batch > 0;
}

// Atomic synced writes a second in `folder`: each replaces one small file
// through a synced temporary, a rename and a synced folder.
double measureDisk(const std::string& folder) {
  const std::string file = folder + "/disk-rate-probe.txt";
  const std::string text(256, 'x');
  const auto start = Clock::now();
  int writes = 0;
  while (Clock::now() - start < std::chrono::seconds(2)) {
    if (!Vemora::FileUtils::writeFile(file, text)) return 0;
    ++writes;
  }
  Vemora::FileUtils::deleteFile(file, true);
  return writes / std::chrono::duration<double>(Clock::now() - start).count();
}

// The daemon's user and system CPU time so far, in clock ticks.
long cpuTicks(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  // After the name: state is field 3; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

// N agents connect, shake hands and stay silent for `idle` seconds: the
// share of one core the daemon uses meanwhile.
int runIdle(const Options& o) {
  if (o.pid <= 0 || cpuTicks(o.pid) < 0) {
    std::fprintf(stderr, "relayhub_load: --idle needs the daemon's --pid\n");
    return 1;
  }
  std::vector<Agent> agents(static_cast<size_t>(o.agents));
  for (int i = 0; i < o.agents; ++i) {
    if (!agents[static_cast<size_t>(i)].open(o.port, "load-idle-" + std::to_string(i))) {
      std::fprintf(stderr, "relayhub_load: idle agent %d could not connect\n", i);
      return 1;
    }
  }
  // The handshakes' own work (their log lines) is not idle time.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const long before = cpuTicks(o.pid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(o.idle));
  const long after = cpuTicks(o.pid);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (Agent& a : agents) a.end();
  if (before < 0 || after < 0) {
    std::fprintf(stderr, "relayhub_load: the daemon (pid %d) ended during the idle run\n", o.pid);
    return 1;
  }
  const double share = 100.0 * static_cast<double>(after - before) /
                       static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
  std::printf("idle: %d agents connected and silent for %.0f s: relayhub used %.2f%% of a core\n",
              o.agents, seconds, share);
  return 0;
}

// Queues the backlog (every sender at once), then drains it with one
// receiver; only the drain is timed.
int runBacklog(const Options& o, Book& book, uint32_t base) {
  const int total = o.agents * o.messages;
  std::vector<std::thread> threads;
  const auto fillStart = Clock::now();
  for (int s = 0; s < o.agents; ++s) {
    threads.emplace_back(sender, std::cref(o), s,
                         base + static_cast<uint32_t>(s) * static_cast<uint32_t>(o.messages),
                         std::ref(book));
  }
  for (std::thread& t : threads) t.join();
  const double fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
  std::atomic<bool> giveUp{false};
  const auto start = Clock::now();
  std::thread drain(receiver, std::cref(o), 0, total, std::ref(book), std::cref(giveUp));
  drain.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const int received = book.received.load();
  const double rate = received / seconds;
  std::printf("%-6s %5d %7d %6d %10d %12.1f %8.2f %10s %10s %12ld\n", "drain", 1, total, o.size,
              received, rate, o.diskRate > 0 ? rate / o.diskRate : 0.0, "-", "-", peakKb(o.pid));
  std::fprintf(stderr, "relayhub_load: backlog of %d queued in %.1f s (%.1f messages/s)\n", total,
               fillSeconds, total / fillSeconds);
  if (book.failures.load() != 0 || received != total) {
    std::fprintf(stderr, "relayhub_load: %d of %d messages drained, %d agent failure(s)\n",
                 received, total, book.failures.load());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: relayhub_load --port P [--pid PID] [--senders N] [--messages M] "
                 "[--size S] [--batch B] [--backlog K] [--idle SECONDS] [--disk-rate R] "
                 "[--header]\n"
                 "       relayhub_load --measure-disk DIR\n");
    return 2;
  }
  if (!o.measureDisk.empty()) {
    const double rate = measureDisk(o.measureDisk);
    std::printf("%.0f\n", rate);
    return rate > 0 ? 0 : 1;
  }
  if (o.header) {
    std::printf("%-6s %5s %7s %6s %10s %12s %8s %10s %10s %12s\n", "run", "N", "M/agent", "S",
                "messages", "messages/s", "/disk", "p50 ms", "p99 ms", "peak RSS kB");
  }
  Book book;
  // Ids of this run: distinct from every earlier run against the daemon.
  const uint32_t base =
      static_cast<uint32_t>((std::chrono::system_clock::now().time_since_epoch().count() / 1000) &
                            0x7FFFFFFF) |
      1u;
  if (o.idle > 0) return runIdle(o);
  if (o.backlog > 0) return runBacklog(o, book, base);
  const int total = o.agents * o.messages;
  std::vector<int> expected(static_cast<size_t>(o.agents), 0);
  for (int s = 0; s < o.agents; ++s) {
    for (int i = 0; i < o.messages; ++i) ++expected[static_cast<size_t>((s + i) % o.agents)];
  }
  std::atomic<bool> giveUp{false};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int r = 0; r < o.agents; ++r) {
    threads.emplace_back(receiver, std::cref(o), r, expected[static_cast<size_t>(r)],
                         std::ref(book), std::cref(giveUp));
  }
  for (int s = 0; s < o.agents; ++s) {
    threads.emplace_back(sender, std::cref(o), s,
                         base + static_cast<uint32_t>(s) * static_cast<uint32_t>(o.messages),
                         std::ref(book));
  }
  // A stuck run ends after 10 minutes rather than never.
  std::thread watchdog([&] {
    const auto limit = start + std::chrono::minutes(10);
    while (book.received.load() < total && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    giveUp = true;
  });
  for (std::thread& t : threads) t.join();
  giveUp = true;
  watchdog.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const int received = book.received.load();
  const double rate = received / seconds;
  std::printf("%-6s %5d %7d %6d %10d %12.1f %8.2f %10.1f %10.1f %12ld\n", "pairs", o.agents,
              o.messages, o.size, received, rate, o.diskRate > 0 ? rate / o.diskRate : 0.0,
              percentile(book.latencyMs, 0.5), percentile(book.latencyMs, 0.99), peakKb(o.pid));
  if (book.failures.load() != 0 || received != total) {
    std::fprintf(stderr, "relayhub_load: %d of %d messages arrived, %d agent failure(s)\n",
                 received, total, book.failures.load());
    return 1;
  }
  return 0;
}
