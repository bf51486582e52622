// A public key kept in a PEM file, read each time the key is needed.
#pragma once

#include <string>

#include "crypto/PublicKeySource.h"

namespace Vemora {

class PemKeyFile : public PublicKeySource {
 public:
  // `fileName` is a Windows-form path.
  explicit PemKeyFile(std::string fileName);

  void fill(VemoraOpenSSL::PubKey& key) const override;

 private:
  std::string fileName_;
};

}  // namespace Vemora
