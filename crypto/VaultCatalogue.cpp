#include "crypto/VaultCatalogue.h"

#include <algorithm>
#include <utility>

#include "corelib/Exception.h"
#include "crypto/Binary.h"

namespace Vemora {

Vault::Catalogue::Catalogue(std::string baseDirectory, std::unique_ptr<PublicKeySource> keySource)
    : baseDirectory_(std::move(baseDirectory)), keySource_(std::move(keySource)) {}

Vault::Catalogue::~Catalogue() = default;

bool Vault::Catalogue::add(const std::string& relativeName, const std::string& signature) {
  if (signature.size() != kSignatureSize) return false;
  Signature& stored = entries_[relativeName];
  std::copy(signature.begin(), signature.end(), stored.begin());
  return true;
}

void Vault::Catalogue::addSignatureFile(const std::string& relativeName,
                                        const std::string& signatureFile) {
  const VemoraOpenSSL::Binary bytes(signatureFile);
  const std::string signature(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!add(relativeName, signature)) {
    throw VemoraCorelib::Exception("Signature file is not " + std::to_string(kSignatureSize) +
                                   " bytes long: " + signatureFile);
  }
}

void Vault::Catalogue::fillKey(VemoraOpenSSL::PubKey& key) const {
  if (!keySource_) throw VemoraCorelib::Exception("No public key source.");
  keySource_->fill(key);
}

}  // namespace Vemora
