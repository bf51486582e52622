// Base of the digest operations: a digest method is chosen, then bytes and
// texts are fed in. Each operation returns the object so that calls chain.
#pragma once

#include <openssl/evp.h>

#include <string>

#include "crypto/Binary.h"

namespace VemoraOpenSSL {

class DigestX {
 public:
  DigestX() = default;
  DigestX(const DigestX&) = delete;
  DigestX& operator=(const DigestX&) = delete;

  virtual DigestX& setDigest(const EVP_MD* digest) = 0;
  virtual DigestX& update(const Binary& data) = 0;
  // The characters of `text` up to its first NUL.
  virtual DigestX& update(std::string text) = 0;
  virtual ~DigestX();
};

}  // namespace VemoraOpenSSL
