#include "corelib/Ims.h"

#include <new>
#include <vector>

#include "corelib/ImsAgent.h"
#include "corelib/WildcardMatch.h"

namespace VemoraCorelib {

namespace {

// Holds a ThreadLock (blocking) for one scope.
class Held {
 public:
  explicit Held(ThreadLock& lock) : lock_(lock) { lock_.lock(true); }
  ~Held() { lock_.unlock(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  ThreadLock& lock_;
};

int tierIndex(int tier) {
  return (tier == 0 || tier == 1) ? tier : 2;
}

}  // namespace

Ims* Ims::instance() {
  // Never destroyed: loggers remove their hooks during static destruction.
  static Ims* service = new (std::nothrow) Ims();
  if (service == nullptr) {
    throw Ims_OutOfMemory("@out-of-memory{Out of memory};", VEMORA_CORELIB_SOURCE_CONTEXT());
  }
  return service;
}

uint64_t Ims::setHook(ImsAgent* agent, bool onlyOnce, const std::string& generalGlob,
                      const std::string& groupGlob, const std::string& messageGlob,
                      ImsAgent* senderFilter, int tier) {
  const Globs globs(generalGlob, groupGlob, messageGlob);
  Held held(lock_);
  for (const Tier& existing : tiers_) {
    const auto entry = existing.find(globs);
    if (entry == existing.end()) continue;
    for (uint64_t id : entry->second) {
      const auto hook = hooks_.find(id);
      if (hook != hooks_.end() && hook->second.agent == agent) {
        throw Hook_Duplicate(
            "@ims.hook.duplicate{Trying to set a hook identical to a hook already set};",
            VEMORA_CORELIB_SOURCE_CONTEXT());
      }
    }
    break;  // only the first tier that holds the globs is compared
  }
  const uint64_t id = hooks_.empty() ? 1 : hooks_.rbegin()->first + 1;
  const int index = tierIndex(tier);
  hooks_[id] = Hook{agent, generalGlob, groupGlob, messageGlob, senderFilter, onlyOnce, index};
  tiers_[index][globs].insert(id);
  return id;
}

bool Ims::removeHook(uint64_t id) {
  Held held(lock_);
  const auto hook = hooks_.find(id);
  if (hook == hooks_.end()) return false;
  // The hook's own tier: the same globs may be hooked in other tiers too.
  Tier& tier = tiers_[hook->second.tier];
  const auto entry =
      tier.find(Globs(hook->second.generalGlob, hook->second.groupGlob, hook->second.messageGlob));
  if (entry != tier.end()) {
    entry->second.erase(id);
    if (entry->second.empty()) tier.erase(entry);
  }
  hooks_.erase(hook);
  return true;
}

bool Ims::findHook(uint64_t id, Hook& out) {
  Held held(lock_);
  const auto hook = hooks_.find(id);
  if (hook == hooks_.end()) return false;
  out = hook->second;
  return true;
}

bool Ims::hasHook(uint64_t id) {
  Held held(lock_);
  return hooks_.count(id) != 0;
}

uint64_t Ims::largestHookId() {
  Held held(lock_);
  return hooks_.empty() ? 0 : hooks_.rbegin()->first;
}

bool Ims::globMatches(const std::string& glob, const std::string& text) {
  return glob.empty() || WildcardMatch(text, glob, 0, std::string::npos);
}

int Ims::deliverTier(int index, ImsMessage& message, int result, std::set<uint64_t>& spent) {
  Tier copy;
  {
    Held held(lock_);
    copy = tiers_[index];
  }
  for (const auto& [globs, ids] : copy) {
    if (!globMatches(std::get<0>(globs), message.generalType) ||
        !globMatches(std::get<1>(globs), message.groupType) ||
        !globMatches(std::get<2>(globs), message.messageType)) {
      continue;
    }
    for (uint64_t id : ids) {
      Hook hook;
      {
        Held held(lock_);
        const auto found = hooks_.find(id);
        if (found == hooks_.end()) continue;
        hook = found->second;
      }
      if (hook.agent == nullptr) continue;
      if (hook.senderFilter != nullptr && hook.senderFilter != message.sender) continue;
      const int answer = hook.agent->handleHookMessage(id, message);
      if (answer == ImsAgent::kHandled || answer == ImsAgent::kHandledStop) result = answer;
      if (hook.onlyOnce && result != ImsAgent::kNotHandled) spent.insert(id);
      if (result == ImsAgent::kHandledStop) return result;
    }
  }
  return result;
}

bool Ims::deliver(ImsMessage& message) {
  int result = ImsAgent::kNotHandled;
  std::set<uint64_t> spent;
  for (int index = 0; index < 3 && result != ImsAgent::kHandledStop; ++index) {
    result = deliverTier(index, message, result, spent);
  }
  for (uint64_t id : spent) removeHook(id);
  return result != ImsAgent::kNotHandled;
}

}  // namespace VemoraCorelib
