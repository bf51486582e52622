#include "relayhub_e2e/DaemonFixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/FreePort.h"

namespace e2e {

namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string envOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

using Clock = std::chrono::steady_clock;

// RELAYHUB_BIN, else the program of the same build folder as this test
// program (<build>/tests/relayhub_e2e_tests -> <build>/relayhub/relayhub).
std::string programPath() {
  const std::string given = envOr("RELAYHUB_BIN", "");
  if (!given.empty()) return given;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? "relayhub" : (self.parent_path().parent_path() / "relayhub" / "relayhub").string();
}

bool before(Clock::time_point deadline) {
  return Clock::now() < deadline;
}

void pause() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace

DaemonFixture::DaemonFixture() {
  std::string pattern = (fs::temp_directory_path() / "relayhub-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  root_ = pattern;
  for (const char* sub :
       {"registry", "locks", "state", "bin", "mappings", "conf/LogMessages", "log", "out"}) {
    fs::create_directories(fs::path(root_) / sub);
  }
  port_ = freePort();
  // The example catalogues make the daemon's log readable.
  const char* source = std::getenv("VEMORA_TEST_SOURCE");
  if (source != nullptr) {
    std::error_code ignored;
    for (const auto& entry :
         fs::directory_iterator(fs::path(source) / "examples/conf/LogMessages", ignored)) {
      fs::copy_file(entry.path(), fs::path(root_) / "conf/LogMessages" / entry.path().filename(),
                    ignored);
    }
  }
}

DaemonFixture::~DaemonFixture() {
  if (pid_ > 0 && exitCode_ < 0) {
    ::kill(pid_, SIGKILL);
    bool ended = false;
    waitPid(pid_, 10000, ended);
  }
  if (std::getenv("VEMORA_KEEP_TEST_ROOT") == nullptr) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
}

int DaemonFixture::freePort() {
  return testsupport::freePort();
}

DaemonFixture::Settings DaemonFixture::defaultSettings() const {
  return {
      {"relayhub.port", "(Integer)=" + std::to_string(port_)},
      {"relayhub.max-connections", "(Integer)=10"},
      {"relayhub.preferred-protocol-version", "(Integer)=2"},
      {"relayhub.agents-timeout", "(TimeSpan)=\"P1D\""},
      {"relayhub.notify-agents", "(Bool)=false"},
      {"relayhub.connections-log", "(Bool)=false"},
      {"relayhub.mappings", "(DirName)=\"C:/mappings\""},
      {"relayhub.log.debug-level", "(Integer)=5"},
      {"Vemora.directories.temp", "(DirName)=\"C:/state\""},
      {"Vemora.directories.bin", "(DirName)=\"C:/bin\""},
      {"Vemora.directories.conf", "(DirName)=\"C:/conf\""},
      {"Vemora.directories.log", "(DirName)=\"C:/log\""},
      {"log.time", "(String)=\"zulu\""},
      {"log.global.severity", "(String)=\"NOTICE\""},
      {"log.global.debug-level", "(Integer)=5"},
  };
}

std::string DaemonFixture::configText(const Settings& settings) {
  // Nested sections: "a.b.c" -> a()=""{ b()=""{ c(T)=v{} } }. The map is
  // ordered, so keys of one section are next to each other.
  std::ostringstream out;
  std::vector<std::string> open;
  for (const auto& [key, value] : settings) {
    std::vector<std::string> parts;
    std::stringstream ss(key);
    for (std::string p; std::getline(ss, p, '.');) parts.push_back(p);
    const std::vector<std::string> sections(parts.begin(), parts.end() - 1);
    size_t common = 0;
    while (common < open.size() && common < sections.size() && open[common] == sections[common]) {
      ++common;
    }
    while (open.size() > common) {
      open.pop_back();
      out << std::string(open.size() * 2, ' ') << "}\n";
    }
    for (size_t i = common; i < sections.size(); ++i) {
      out << std::string(open.size() * 2, ' ') << sections[i] << "()=\"\"{\n";
      open.push_back(sections[i]);
    }
    out << std::string(open.size() * 2, ' ') << parts.back() << value << "{}\n";
  }
  while (!open.empty()) {
    open.pop_back();
    out << std::string(open.size() * 2, ' ') << "}\n";
  }
  return out.str();
}

std::string DaemonFixture::writeConfig(const Settings& settings, const std::string& name) {
  return writeFile(name, configText(settings));
}

std::string DaemonFixture::writeFile(const std::string& relative, const std::string& text) {
  const fs::path path = fs::path(root_) / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
  return "C:/" + relative;
}

std::vector<std::string> DaemonFixture::environment() const {
  std::vector<std::string> env;
  for (char** e = ::environ; *e != nullptr; ++e) {
    const std::string item = *e;
    const std::string name = item.substr(0, item.find('='));
    if (name == "VEMORA_REGISTRY_DIR" || name == "VEMORA_LOCK_DIR" || name == "VEMORA_DRIVE_C" ||
        name == "VEMORA_ENV" || name == "VEMORA_TEST_ROOT" || name == "VEMORA_FAULTS") {
      continue;
    }
    env.push_back(item);
  }
  env.push_back("VEMORA_REGISTRY_DIR=" + root_ + "/registry");
  env.push_back("VEMORA_LOCK_DIR=" + root_ + "/" + lockFolder_);
  env.push_back("VEMORA_DRIVE_C=" + root_);
  env.push_back("VEMORA_FAULTS=" + faultFile());
  return env;
}

pid_t DaemonFixture::spawn(const std::vector<std::string>& args, const std::string& outPath,
                           const std::string& errPath) {
  const std::string program = programPath();
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::vector<std::string> env = environment();
  std::vector<char*> cargv;
  for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  std::vector<char*> cenv;
  for (const auto& e : env) cenv.push_back(const_cast<char*>(e.c_str()));
  cenv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (::chdir(root_.c_str()) != 0) ::_exit(126);
    ::execve(program.c_str(), cargv.data(), cenv.data());
    ::_exit(127);
  }
  return child;
}

int DaemonFixture::waitPid(pid_t pid, int timeoutMs, bool& ended) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  ended = false;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      ended = true;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (r < 0) {
      ended = true;
      return -1;
    }
    if (!before(deadline)) return -1;
    pause();
  }
}

bool DaemonFixture::start(const std::vector<std::string>& args) {
  exitCode_ = -1;
  args_ = args;
  portFreeAtStart_ = testsupport::freeport_detail::bindable(port_);
  pid_ = spawn(args, root_ + "/out/stdout.txt", root_ + "/out/stderr.txt");
  return pid_ > 0;
}

bool DaemonFixture::startDefault() {
  return start({"-c", writeConfig()}) && waitForPort();
}

bool DaemonFixture::isListening(int port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  std::ifstream in("/proc/net/tcp");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0) {
      return true;
    }
  }
  return false;
}

bool DaemonFixture::waitForPort(int timeoutMs) {
  // A test that holds the port itself on purpose sees the daemon's failure.
  constexpr int kStarts = 4;
  for (int attempt = 1;; ++attempt) {
    const PortWait result = awaitListener(timeoutMs);
    if (result == PortWait::kListening) return true;
    if (result == PortWait::kFailed || !portFreeAtStart_ || attempt == kStarts) return false;
    if (!restartOnNewPort()) return false;
  }
}

// kPortLost: someone else listens on the port, or the daemon gave up on it
// (exit code 1, or no listener within the time).
DaemonFixture::PortWait DaemonFixture::awaitListener(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (before(deadline)) {
    if (isListening(port_)) return listenerIsOurs() ? PortWait::kListening : PortWait::kPortLost;
    if (!running()) return exitCode_ == 1 ? PortWait::kPortLost : PortWait::kFailed;
    pause();
  }
  return running() ? PortWait::kPortLost : PortWait::kFailed;
}

// True when the listening socket on the port is one of the daemon's files.
bool DaemonFixture::listenerIsOurs() const {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port_);
  std::ifstream in("/proc/net/tcp");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    if (state != "0A" || local.size() <= 5 || local.compare(local.size() - 5, 5, wanted) != 0) {
      continue;
    }
    const std::string target = "socket:[" + inode + "]";
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec)) {
      std::error_code linkError;
      if (fs::read_symlink(fd.path(), linkError).string() == target) return true;
    }
  }
  return false;
}

bool DaemonFixture::restartOnNewPort() {
  if (running()) {
    ::kill(pid_, SIGKILL);
    waitExit(10000);
  }
  port_ = freePort();
  std::vector<std::string> args = args_;
  auto given = std::find(args.begin(), args.end(), "--port");
  if (given != args.end() && given + 1 != args.end()) {
    *(given + 1) = std::to_string(port_);
  } else {
    args.insert(args.end(), {"--port", std::to_string(port_)});
  }
  return start(args);
}

bool DaemonFixture::running() {
  if (pid_ <= 0 || exitCode_ >= 0) return false;
  bool ended = false;
  const int code = waitPid(pid_, 0, ended);
  if (ended) {
    exitCode_ = code < 0 ? 255 : code;
    return false;
  }
  return true;
}

bool DaemonFixture::signal(int sig) {
  return pid_ > 0 && exitCode_ < 0 && ::kill(pid_, sig) == 0;
}

int DaemonFixture::waitExit(int timeoutMs) {
  if (pid_ <= 0) return -1;
  if (exitCode_ >= 0) return exitCode_;
  bool ended = false;
  const int code = waitPid(pid_, timeoutMs, ended);
  if (ended) exitCode_ = code < 0 ? 255 : code;
  return ended ? exitCode_ : -1;
}

int DaemonFixture::stop(int timeoutMs) {
  signal(SIGTERM);
  return waitExit(timeoutMs);
}

int DaemonFixture::runOnce(const std::vector<std::string>& args, int timeoutMs, std::string* out,
                           std::string* err) {
  const std::string n = std::to_string(++runs_);
  const std::string outPath = root_ + "/out/run" + n + ".out";
  const std::string errPath = root_ + "/out/run" + n + ".err";
  const pid_t child = spawn(args, outPath, errPath);
  if (child <= 0) return -1;
  bool ended = false;
  int code = waitPid(child, timeoutMs, ended);
  if (!ended) {
    ::kill(child, SIGKILL);
    waitPid(child, 10000, ended);
    code = -1;
  }
  if (out != nullptr) *out = readAll(outPath);
  if (err != nullptr) *err = readAll(errPath);
  return code;
}

std::string DaemonFixture::stdoutText() const {
  return readAll(root_ + "/out/stdout.txt");
}

std::string DaemonFixture::stderrText() const {
  return readAll(root_ + "/out/stderr.txt");
}

std::string DaemonFixture::logText() const {
  std::string text;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(root_) / "log", ec)) {
    if (entry.is_regular_file()) text += readAll(entry.path().string());
  }
  return text;
}

bool DaemonFixture::waitForLog(const std::string& needle, int timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (before(deadline)) {
    if (logText().find(needle) != std::string::npos) return true;
    pause();
  }
  return false;
}

bool DaemonFixture::waitForPath(const std::string& path, bool present, int timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (before(deadline)) {
    if (std::filesystem::exists(path) == present) return true;
    pause();
  }
  return std::filesystem::exists(path) == present;
}

std::string DaemonFixture::registryText() const {
  return readAll(root_ + "/registry/HKEY_LOCAL_MACHINE.reg");
}

std::string DaemonFixture::resource(const std::string& name) const {
  const std::string text = registryText();
  const std::string key = "\"" + name + "\"=sz:\"";
  const size_t at = text.find(key);
  if (at == std::string::npos) return std::string();
  const size_t begin = at + key.size();
  const size_t end = text.find('"', begin);
  return end == std::string::npos ? std::string() : text.substr(begin, end - begin);
}

}  // namespace e2e
