// The record of one sent message id: who sent it last and which boxes got a
// copy, so that a confirmation or a reused id can withdraw the copies still
// held unconfirmed.
#pragma once

#include <cstdint>
#include <set>

#include "relayhub/Address.h"

namespace Vemora {

struct SentRecord {
  virtual ~SentRecord() = default;

  // Source of the last message registered under the id (empty until then).
  Address source;
  // Every box a message with this id was added to since the record was made.
  std::set<Address> targets;
  // Tick after which the record is dropped; UINT64_MAX = never.
  uint64_t expiry = 0;
};

}  // namespace Vemora
