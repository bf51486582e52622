// Where a signature catalogue gets its public key from.
#pragma once

#include "crypto/PubKey.h"

namespace Vemora {

class PublicKeySource {
 public:
  PublicKeySource() = default;
  virtual ~PublicKeySource();
  PublicKeySource(const PublicKeySource&) = delete;
  PublicKeySource& operator=(const PublicKeySource&) = delete;

  // Sets the key into `key`; throws VemoraCorelib::Exception when it cannot.
  virtual void fill(VemoraOpenSSL::PubKey& key) const = 0;
};

}  // namespace Vemora
