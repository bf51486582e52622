// Checks a signature over the bytes fed in: setDigest, init with the public
// key, update as often as needed, then final with the signature. Failures
// of the OpenSSL calls throw VemoraCorelib::Exception; a signature that does
// not match is no failure (final answers false).
#pragma once

#include <openssl/evp.h>

#include <string>

#include "crypto/Binary.h"
#include "crypto/DigestX.h"
#include "crypto/PubKey.h"

namespace VemoraOpenSSL {

class DigestVerify : public DigestX {
 public:
  DigestVerify();
  ~DigestVerify() override;

  DigestVerify& setDigest(const EVP_MD* digest) override;
  DigestVerify& update(const Binary& data) override;
  DigestVerify& update(std::string text) override;

  // Starts a check with the digest set before and `key`, which must outlive
  // the check.
  void init(const PubKey& key);
  // True exactly when the signature matches what was fed in.
  bool final(const Binary& signature);

 private:
  DigestVerify& digest(const void* data, std::size_t count);

  const EVP_MD* digest_ = nullptr;
  EVP_MD_CTX* context_ = nullptr;
  EVP_PKEY* key_ = nullptr;
};

}  // namespace VemoraOpenSSL
