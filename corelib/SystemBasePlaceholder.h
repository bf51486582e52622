// Stands in for the system base agent until it exists: an agent named
// "system-base" that sets no hooks and answers no request (every message
// gets 1, "not handled"). It only remembers the file-registry path handed to
// it, so the frame's option handling has its final shape.
#pragma once

#include <cstdint>
#include <string>

#include "corelib/ImsAgent.h"
#include "corelib/ImsMessage.h"

namespace VemoraCorelib {

class SystemBasePlaceholder : public ImsAgent {
 public:
  SystemBasePlaceholder();
  ~SystemBasePlaceholder() override;

  int handleMessage(ImsMessage& message) override;
  int handleHookMessage(uint64_t hookId, ImsMessage& message) override;

  // Where configuration values would be served from once the file registry
  // exists; nothing reads it yet.
  void setFileRegistryPath(const std::string& path) { fileRegistryPath_ = path; }
  const std::string& fileRegistryPath() const { return fileRegistryPath_; }

 private:
  std::string fileRegistryPath_;
};

}  // namespace VemoraCorelib
