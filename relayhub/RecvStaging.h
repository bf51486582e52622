// The partial protocol item of a staged receive: what has arrived of the
// field being read, the length a string item announced, and how far the item
// got. Owned by the caller of Connection's staged receives, which resets it
// after every complete item.
//
// The memory its partial text reserves for a string item is charged to the
// bound of all connections together (RecvBudget) and given back on reset and
// destruction; a staging is moved, never copied.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "relayhub/RecvBudget.h"

namespace Vemora {

class RecvStaging {
 public:
  // Stages: 0 tag, 1 length or number field, 2 string bytes. After a
  // complete string the stage is 3, after a complete number 2.
  enum Stage : int32_t { kTag = 0, kField = 1, kStringBytes = 2, kStringDone = 3 };

  RecvStaging() = default;
  virtual ~RecvStaging() { release(); }
  RecvStaging(const RecvStaging&) = delete;
  RecvStaging& operator=(const RecvStaging&) = delete;
  RecvStaging(RecvStaging&& other) noexcept
      : partial(std::move(other.partial)),
        length(other.length),
        stage(other.stage),
        charged_(std::exchange(other.charged_, 0)) {}
  RecvStaging& operator=(RecvStaging&& other) noexcept {
    if (this != &other) {
      release();
      partial = std::move(other.partial);
      length = other.length;
      stage = other.stage;
      charged_ = std::exchange(other.charged_, 0);
    }
    return *this;
  }

  // Back to a fresh item: empty partial text, length 0, stage 0. A large
  // text's memory goes back too.
  void reset() {
    if (charged_ != 0) std::string().swap(partial);
    partial.clear();
    length = 0;
    stage = kTag;
    release();
  }

  // Makes room for `bytes` in the partial text, charging what it reserves
  // beyond the charge held; false (nothing reserved) when the bound of all
  // connections would be exceeded.
  bool reserve(uint64_t bytes) {
    if (bytes <= charged_) return true;
    if (!RecvBudget::take(bytes - charged_)) return false;
    charged_ = bytes;
    partial.reserve(static_cast<size_t>(bytes));
    return true;
  }
  uint64_t charged() const { return charged_; }

  std::string partial;  // bytes of the current field received so far
  uint32_t length = 0;  // byte count announced by a string item
  int32_t stage = kTag;

 private:
  void release() {
    if (charged_ != 0) RecvBudget::give(charged_);
    charged_ = 0;
  }

  uint64_t charged_ = 0;
};

}  // namespace Vemora
