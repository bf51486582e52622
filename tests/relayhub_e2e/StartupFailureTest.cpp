// What an operator sees when the start goes wrong: each failure ends the
// daemon at once with its documented exit code and says why on standard
// error; the registry store keeps the operator's lines and tells where a
// broken file fails.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "relayhub_e2e/DaemonFixture.h"

namespace e2e {
namespace {

// A listener of the test's own on a port the system picks, on all
// addresses, for as long as it lives.
class PortHolder {
 public:
  PortHolder() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
      port_ = ntohs(a.sin_port);
    }
  }
  ~PortHolder() { ::close(fd_); }
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The daemon ends within the bound (it should in fact end at once; an
// address in use is retried for 10 seconds).
constexpr int kExitBoundMs = 30000;

TEST(StartupFailure, EachEndsWithItsExitCodeAndALineOnStandardError) {
  struct Case {
    const char* name;
    // Prepares the fixture and gives the arguments; may start a first
    // daemon.
    std::function<std::vector<std::string>(DaemonFixture&, PortHolder&)> prepare;
    int exitCode;
    std::vector<std::string> words;  // each in standard error; "{root}" is the fixture's folder
  };
  const Case cases[] = {
      {"missing -c file",
       [](DaemonFixture&, PortHolder&) {
         return std::vector<std::string>{"-c", "C:/missing.conf"};
       },
       2,
       {"the configuration file {root}/missing.conf cannot be read",
        "exit code 2: the configuration failed"}},
      {"configuration error",
       [](DaemonFixture& d, PortHolder&) {
         DaemonFixture::Settings settings = d.defaultSettings();
         settings.erase("relayhub.max-connections");
         return std::vector<std::string>{"-c", d.writeConfig(settings)};
       },
       2,
       {"configuration error: relayhub.max-connections is not set in {root}/relayhub.conf",
        "exit code 2"}},
      {"syntax error",
       [](DaemonFixture& d, PortHolder&) {
         return std::vector<std::string>{
             "-c", d.writeFile("broken.conf",
                               "relayhub()=\"\"{\n  port(Integer)=7{}\n  max(Integer)1{}\n}\n")};
       },
       2,
       {"the configuration file {root}/broken.conf has a syntax error on line 3", "exit code 2"}},
      {"state folder that is a file",
       [](DaemonFixture& d, PortHolder&) {
         std::filesystem::remove_all(d.root() + "/state");
         d.writeFile("state", "not a folder\n");
         return std::vector<std::string>{"-c", d.writeConfig()};
       },
       2,
       {"configuration error: Vemora.directories.temp: the folder {root}/state/ is not a folder",
        "exit code 2"}},
      {"log folder that cannot be created",
       [](DaemonFixture& d, PortHolder&) {
         d.writeFile("plain", "a file, not a folder\n");
         DaemonFixture::Settings settings = d.defaultSettings();
         settings["Vemora.directories.log"] = "(DirName)=\"C:/plain/log\"";
         return std::vector<std::string>{"-c", d.writeConfig(settings)};
       },
       2,
       {"configuration error: Vemora.directories.log: the folder {root}/plain/log/ cannot be "
        "created",
        "exit code 2"}},
      {"port in use",
       [](DaemonFixture& d, PortHolder& holder) {
         return std::vector<std::string>{"-c", d.writeConfig(), "--port",
                                         std::to_string(holder.port())};
       },
       1,
       {"cannot listen on 0.0.0.0 port {port}: address already in use",
        "exit code 1: the daemon should be started again"}},
      {"second instance",
       [](DaemonFixture& d, PortHolder&) {
         EXPECT_TRUE(d.startDefault());
         DaemonFixture::Settings other = d.defaultSettings();
         other["relayhub.port"] = "(Integer)=" + std::to_string(DaemonFixture::freePort());
         return std::vector<std::string>{"-c", d.writeConfig(other, "other.conf")};
       },
       21,
       {"another instance is running (it holds the lock \"VemoraRelayHub\" in {root}/locks)",
        "exit code 21"}},
      {"lock folder that is a file",
       [](DaemonFixture& d, PortHolder&) {
         std::filesystem::remove_all(d.root() + "/locks");
         d.writeFile("locks", "not a folder\n");
         return std::vector<std::string>{"-c", d.writeConfig()};
       },
       21,
       {"the lock folder {root}/locks is not a folder", "exit code 21"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DaemonFixture daemon;
    PortHolder holder;
    ASSERT_NE(holder.port(), 0);
    const std::vector<std::string> args = c.prepare(daemon, holder);
    std::string err;
    EXPECT_EQ(daemon.runOnce(args, kExitBoundMs, nullptr, &err), c.exitCode) << err;
    for (std::string words : c.words) {
      for (const auto& [mark, value] :
           {std::pair<std::string, std::string>{"{root}", daemon.root()},
            {"{port}", std::to_string(holder.port())}}) {
        if (const size_t at = words.find(mark); at != std::string::npos) {
          words.replace(at, mark.size(), value);
        }
      }
      EXPECT_TRUE(contains(err, "relayhub: " + words)) << err;
    }
    if (daemon.running()) {
      EXPECT_EQ(daemon.stop(), 10);
    }
  }
}

// The catalogue numbers of a failure that comes before the catalogue is
// loaded still read as words on standard error; the log keeps its line.
TEST(StartupFailure, FailureBeforeTheCatalogueReadsAsWords) {
  DaemonFixture daemon;
  DaemonFixture::Settings settings = daemon.defaultSettings();
  settings.erase("Vemora.directories.conf");
  settings.erase("relayhub.port");
  std::string err;
  EXPECT_EQ(daemon.runOnce({"-c", daemon.writeConfig(settings)}, kExitBoundMs, nullptr, &err), 2);
  EXPECT_TRUE(contains(err,
                       "relayhub: fatal 2 (relayhub): Required configuration key "
                       "\"relayhub.port\" is missing"))
      << err;
  EXPECT_FALSE(contains(err, "Message not found")) << err;
  EXPECT_TRUE(contains(daemon.logText(), "(41.48.02)")) << daemon.logText();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The daemon writes its job resource at start: the operator's comments and
// the order of the other lines stay as they were.
TEST(StartupFailure, JobResourceKeepsTheOperatorsRegistryLines) {
  DaemonFixture daemon;
  const std::string file = daemon.root() + "/registry/HKEY_LOCAL_MACHINE.reg";
  const std::string before =
      "; written by hand\n"
      "[SOFTWARE\\Vemora\\Resources]\n"
      "# debug level at start\n"
      "\"StartupDebugLevel\"=dword:5\n"
      "\n"
      "[SOFTWARE\\Other]\n"
      "\"x\"=sz:\"y\"\n";
  std::ofstream(file, std::ios::binary) << before;
  ASSERT_TRUE(daemon.startDefault()) << daemon.stderrText();
  std::string job;
  for (int i = 0; i < 500 && job.empty(); ++i) {
    job = daemon.resource("JOB_RelayHub");
    if (job.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(job.empty());
  const std::string after = readFile(file);
  const std::string added = "\"JOB_RelayHub\"=sz:\"" + job + "\"\n";
  EXPECT_EQ(after,
            "; written by hand\n"
            "[SOFTWARE\\Vemora\\Resources]\n"
            "# debug level at start\n"
            "\"StartupDebugLevel\"=dword:5\n" +
                added +
                "\n"
                "[SOFTWARE\\Other]\n"
                "\"x\"=sz:\"y\"\n");
  EXPECT_TRUE(daemon.waitForLog("Listening on 0.0.0.0 port " + std::to_string(daemon.port())))
      << daemon.logText();
  EXPECT_EQ(daemon.stop(), 10);
}

TEST(StartupFailure, RegistryFileThatDoesNotParseIsToldWithPathAndLine) {
  DaemonFixture daemon;
  const std::string file = daemon.root() + "/registry/HKEY_LOCAL_MACHINE.reg";
  const std::string broken = "[SOFTWARE\\Vemora\\Resources]\n\"StartupDebugLevel\"=dword:nothex\n";
  std::ofstream(file, std::ios::binary) << broken;
  ASSERT_TRUE(daemon.startDefault()) << daemon.stderrText();
  EXPECT_EQ(daemon.stop(), 10);
  EXPECT_TRUE(contains(daemon.stderrText(),
                       "relayhub: error 23 (relayhub): The registry store "
                       "cannot be read, its resources count as missing: " +
                           file + ", line 2: "))
      << daemon.stderrText();
  // Logged before the configuration moves the log: in the folder the daemon
  // was started in.
  const std::string startLog = readFile(daemon.root() + "/RelayHubDebugLog.log");
  EXPECT_TRUE(contains(startLog, "(41.48.23)")) << startLog;
  EXPECT_TRUE(contains(startLog, file + ", line 2: ")) << startLog;
  EXPECT_EQ(readFile(file), broken);  // refused, never overwritten
}

}  // namespace
}  // namespace e2e
