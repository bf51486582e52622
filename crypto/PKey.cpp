#include "crypto/PKey.h"

namespace VemoraOpenSSL {

PKey::~PKey() {
  EVP_PKEY_free(key_);
}

void PKey::reset(EVP_PKEY* key) {
  if (key == key_) return;
  EVP_PKEY_free(key_);
  key_ = key;
}

}  // namespace VemoraOpenSSL
