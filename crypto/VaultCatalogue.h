// The signature catalogue of a Vault: relative file names with their
// 256-byte signatures (RSA with a 2048-bit key), the base directory the
// names are relative to, and the source of the public key.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "crypto/PubKey.h"
#include "crypto/PublicKeySource.h"
#include "crypto/Vault.h"

namespace Vemora {

class Vault::Catalogue {
 public:
  static constexpr std::size_t kSignatureSize = 256;
  using Signature = std::array<unsigned char, kSignatureSize>;

  Catalogue(std::string baseDirectory, std::unique_ptr<PublicKeySource> keySource);
  virtual ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  // Lists the name with the signature's bytes, replacing an earlier entry;
  // false (nothing changed) unless there are exactly 256 bytes.
  bool add(const std::string& relativeName, const std::string& signature);
  // As add, with the signature read from a file (Windows-form path). Throws
  // VemoraCorelib::Exception when the file cannot be read or is not 256
  // bytes long.
  void addSignatureFile(const std::string& relativeName, const std::string& signatureFile);

  const std::map<std::string, Signature>& entries() const { return entries_; }
  const std::string& baseDirectory() const { return baseDirectory_; }
  // Fills `key` from the key source; throws VemoraCorelib::Exception when
  // there is none or it fails.
  void fillKey(VemoraOpenSSL::PubKey& key) const;

 private:
  std::map<std::string, Signature> entries_;
  std::string baseDirectory_;
  std::unique_ptr<PublicKeySource> keySource_;
};

}  // namespace Vemora
