// An OpenSSL key (EVP_PKEY) owned by the object and freed with it.
#pragma once

#include <openssl/evp.h>

namespace VemoraOpenSSL {

class PKey {
 public:
  PKey() = default;
  virtual ~PKey();
  PKey(const PKey&) = delete;
  PKey& operator=(const PKey&) = delete;

  // Null until a key is set.
  EVP_PKEY* get() const { return key_; }
  // Takes ownership of `key` and frees the key held before.
  void reset(EVP_PKEY* key);

 private:
  EVP_PKEY* key_ = nullptr;
};

}  // namespace VemoraOpenSSL
