#include "corelib/AppFrame.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "corelib/Exception.h"
#include "corelib/FileRegistry.h"

namespace VemoraCorelib {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the signal flag must be lock-free");

std::atomic<bool> quitRequestedFlag{false};
int storedArgc = 0;
const char* const* storedArgv = nullptr;

// Process-wide descriptions of the running tool; kept, not read.
std::string& applicationNameText() {
  static std::string text;
  return text;
}
std::string& versionText() {
  static std::string text;
  return text;
}
std::string& companyText() {
  static std::string text;
  return text;
}

// An exception thrown while logging must not escape the run wrapper.
template <typename Log>
void logQuietly(Log log) {
  try {
    log();
  } catch (...) {
  }
}

}  // namespace

AppFrame::AppFrame(const std::string& applicationName, const std::string& programName,
                   const std::string& version, bool standardOptions, const std::string& company)
    : ImsAgent("appframe") {
  parser_.addStandardOptions(programName, standardOptions, false, false);
  frameworkLogger_.setSource("appframe");
  applicationNameText() = applicationName;
  versionText() = version;
  companyText() = company;
}

AppFrame::~AppFrame() = default;

int AppFrame::handleMessage(ImsMessage& message) {
  return onMessage(message);
}

int AppFrame::handleHookMessage(uint64_t hookId, ImsMessage& message) {
  return onHookMessage(hookId, message);
}

int AppFrame::onMessage(ImsMessage&) {
  return 1;
}

int AppFrame::onHookMessage(uint64_t, ImsMessage&) {
  return 1;
}

bool AppFrame::processCommandLine() {
  std::string out;
  if (!parser_.parse(storedArgc, storedArgv, out)) {
    printText("ERROR: " + out + "\n");
    return false;
  }
  std::vector<std::string> texts;
  if (parser_.isSet('?')) texts.push_back(parser_.helpText());
  if (parser_.isSet("version")) texts.push_back("Version=" + parser_.versionText());
  if (parser_.isSet("revision")) texts.push_back("Revision=" + parser_.revisionText());
  if (!texts.empty()) {
    state_ = kInformationPrinted;
    std::string joined;
    for (size_t i = 0; i < texts.size(); ++i) {
      if (i > 0) joined += "\n";
      joined += texts[i];
    }
    printText(joined);
  }
  return true;
}

bool AppFrame::initialize() {
  applyFileRegistryOption();
  return true;
}

void AppFrame::applyFileRegistryOption() {
  std::string path;
  if (!parser_.getValue("filereg", path)) return;
  // From now on the system base serves configuration values from the file.
  FileRegistry::setPath(path);
  FileRegistry::setUseFileRegistry(true);
}

int AppFrame::execute() {
  try {
    return run();
  } catch (const Exception& e) {
    printText(e.text(false));
    logQuietly([&] { applicationLogger_.logException(e); });
  } catch (const std::range_error&) {
    printText("ERROR: STD range error");
    logQuietly([&] { applicationLogger_.fatal("@std-range-error{STD range error};"); });
  } catch (const std::bad_alloc&) {
    printText("ERROR: STD out of memory");
    logQuietly([&] { applicationLogger_.fatal("@std-out-of-memory{STD out of memory};"); });
  } catch (...) {
    printText("ERROR: Unknown exception");
    logQuietly([&] { applicationLogger_.fatal("@unknown-exception{Unknown exception};"); });
  }
  return 2;
}

void AppFrame::signalHandler(int) {
  quitRequestedFlag.store(true);
}

std::atomic<bool>* AppFrame::quitFlag() {
  return &quitRequestedFlag;
}

bool AppFrame::quitRequested() {
  return quitRequestedFlag.load();
}

void AppFrame::printText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void AppFrame::setArguments(int argc, const char* const* argv) {
  storedArgc = argc;
  storedArgv = argv;
}

}  // namespace VemoraCorelib
