#include "crypto/Vault.h"

#include <openssl/evp.h>

#include <cstddef>
#include <utility>

#include "corelib/FileTools.h"
#include "crypto/DigestVerify.h"
#include "crypto/VaultCatalogue.h"

namespace Vemora {

namespace {

std::string canonical(std::string path) {
  return VemoraCorelib::FileTools::resolvePath(path);
}

}  // namespace

Vault::Vault() = default;

Vault::~Vault() = default;

void Vault::setCatalogue(std::unique_ptr<Catalogue> catalogue) {
  catalogue_ = std::move(catalogue);
}

int Vault::verify(const std::string& fileName) const {
  if (!catalogue_) return -1;
  const std::string target = canonical(fileName);
  for (const auto& [relativeName, stored] : catalogue_->entries()) {
    if (canonical(catalogue_->baseDirectory() + "/" + relativeName) != target) continue;
    std::size_t count = stored.size();
    const VemoraOpenSSL::Binary signature(stored.data(), &count, VemoraOpenSSL::Binary::kRefer);
    // The canonical path is read: the name as given may hold environment
    // references that only the canonical form has expanded.
    const VemoraOpenSSL::Binary content(target);
    VemoraOpenSSL::PubKey key;
    catalogue_->fillKey(key);
    return checkSignature(key, content, relativeName, signature) ? 1 : 0;
  }
  return -1;
}

bool Vault::checkSignature(const VemoraOpenSSL::PubKey& key, const VemoraOpenSSL::Binary& content,
                           const std::string& relativeName,
                           const VemoraOpenSSL::Binary& signature) {
  VemoraOpenSSL::DigestVerify check;
  check.setDigest(EVP_sha256()).init(key);
  check.update(content).update(relativeName);
  return check.final(signature);
}

}  // namespace Vemora
