// The configuration reader on any text, then the getters the daemon uses.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "common/ConfReader.h"
#include "common/SmartPointer.h"
#include "logger/LoggerCentre.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Vemora::ConfReader reader{Vemora::SmartPointer<Vemora::LoggerCentre>(nullptr)};
  reader.loadText(text, "fuzz.conf");
  std::list<std::string> names;
  reader.getSubObjects("", names);
  reader.getSubObjects("apps", names);
  std::string s;
  bool b = false;
  int32_t i = 0;
  Vemora::TimeSpan::Parts span;
  reader.getString("relayhub.mappings", s, true, true);
  reader.getDirName("Vemora.directories.temp", s);
  reader.getFileName("apps.a.e.executable", s, false);
  reader.getBool("relayhub.notify-agents", b);
  reader.getInteger("relayhub.port", i);
  reader.getTimeSpan("relayhub.agents-timeout", span);
  for (const std::string& name : names) reader.getString(name, s, false, false);
  return 0;
}
