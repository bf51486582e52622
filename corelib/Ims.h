// The process-wide in-process message service. Hooks hold an agent, a glob
// for each message type ("*", "?"; empty matches anything), an only-once
// flag, a sender filter and a tier (0, 1, 2). A message is delivered on the
// sender's thread, tier by tier, to every matching hook until one answers 3.
// Thread-safe: the hook lock is never held while an agent's handler runs,
// so handlers may set, remove and send.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "corelib/Exception.h"
#include "corelib/ImsMessage.h"
#include "corelib/ThreadLock.h"

namespace VemoraCorelib {

class ImsAgent;

class Ims {
 public:
  VEMORA_CORELIB_ERROR_CLASS(Ims_OutOfMemory);
  VEMORA_CORELIB_ERROR_CLASS(Hook_Duplicate);

  struct Hook {
    ImsAgent* agent = nullptr;
    std::string generalGlob;
    std::string groupGlob;
    std::string messageGlob;
    ImsAgent* senderFilter = nullptr;  // null: every sender
    bool onlyOnce = false;
    int tier = 2;
  };

  // The service, made on first call and never destroyed, so agents may
  // remove their hooks during static destruction. Throws Ims_OutOfMemory.
  static Ims* instance();

  // A new id: the largest in use plus 1 (1 when none). Throws
  // Hook_Duplicate when the agent already has a hook with the same three
  // globs.
  uint64_t setHook(ImsAgent* agent, bool onlyOnce, const std::string& generalGlob,
                   const std::string& groupGlob, const std::string& messageGlob,
                   ImsAgent* senderFilter, int tier);
  // False when no hook has the id.
  bool removeHook(uint64_t id);
  // True when the combined answer is not 1.
  bool deliver(ImsMessage& message);

  // A copy of the hook with this id; false when there is none.
  bool findHook(uint64_t id, Hook& out);
  // Whether a hook with this id exists; the largest id in use (0: none).
  bool hasHook(uint64_t id);
  uint64_t largestHookId();

  Ims(const Ims&) = delete;
  Ims& operator=(const Ims&) = delete;

 private:
  using Globs = std::tuple<std::string, std::string, std::string>;
  using Tier = std::map<Globs, std::set<uint64_t>>;

  Ims() = default;
  static bool globMatches(const std::string& glob, const std::string& text);
  int deliverTier(int tier, ImsMessage& message, int result, std::set<uint64_t>& spent);

  std::map<uint64_t, Hook> hooks_;
  Tier tiers_[3];
  ThreadLock lock_;
};

}  // namespace VemoraCorelib
