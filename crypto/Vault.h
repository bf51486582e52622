// Checks that a file carries a valid signature. The vault holds, when it is
// given one, a catalogue of relative file names with their RSA signatures
// over SHA-256 (see VaultCatalogue.h); the signed message is the file's
// bytes followed by its relative name in the catalogue.
#pragma once

#include <memory>
#include <string>

#include "crypto/Binary.h"
#include "crypto/PubKey.h"

namespace Vemora {

class Vault {
 public:
  class Catalogue;

  Vault();
  virtual ~Vault();
  Vault(const Vault&) = delete;
  Vault& operator=(const Vault&) = delete;

  // Replaces the catalogue; null leaves the vault without one.
  void setCatalogue(std::unique_ptr<Catalogue> catalogue);
  bool hasCatalogue() const { return catalogue_ != nullptr; }

  // -1 when the file is not listed (or there is no catalogue), 0 when it is
  // listed and its signature does not verify, 1 when it verifies. A file is
  // listed when its canonical path equals that of the base directory, "/"
  // and the relative name; the first such entry in name order counts.
  // Throws VemoraCorelib::Exception when the file or the key cannot be read.
  int verify(const std::string& fileName) const;

 private:
  static bool checkSignature(const VemoraOpenSSL::PubKey& key, const VemoraOpenSSL::Binary& content,
                             const std::string& relativeName,
                             const VemoraOpenSSL::Binary& signature);

  std::unique_ptr<Catalogue> catalogue_;
};

}  // namespace Vemora
