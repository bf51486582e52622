// The partial protocol item of a staged receive: what has arrived of the
// field being read, the length a string item announced, and how far the item
// got. Owned by the caller of Connection's staged receives, which resets it
// after every complete item.
#pragma once

#include <cstdint>
#include <string>

namespace Vemora {

class RecvStaging {
 public:
  // Stages: 0 tag, 1 length or number field, 2 string bytes. After a
  // complete string the stage is 3, after a complete number 2.
  enum Stage : int32_t { kTag = 0, kField = 1, kStringBytes = 2, kStringDone = 3 };

  RecvStaging() = default;
  virtual ~RecvStaging() = default;

  // Back to a fresh item: empty partial text, length 0, stage 0.
  void reset() {
    partial.clear();
    length = 0;
    stage = kTag;
  }

  std::string partial;  // bytes of the current field received so far
  uint32_t length = 0;  // byte count announced by a string item
  int32_t stage = kTag;
};

}  // namespace Vemora
