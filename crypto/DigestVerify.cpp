#include "crypto/DigestVerify.h"

#include <cstring>

#include "corelib/Exception.h"

namespace VemoraOpenSSL {

DigestVerify::DigestVerify() : context_(EVP_MD_CTX_create()) {
  if (context_ == nullptr) {
    throw VemoraCorelib::Exception("Failed to allocate and initialize digest context");
  }
}

DigestVerify::~DigestVerify() {
  EVP_MD_CTX_destroy(context_);
}

DigestVerify& DigestVerify::setDigest(const EVP_MD* digest) {
  digest_ = digest;
  return *this;
}

DigestVerify& DigestVerify::update(const Binary& data) {
  return digest(data.data(), data.size());
}

DigestVerify& DigestVerify::update(std::string text) {
  return digest(text.c_str(), std::strlen(text.c_str()));
}

DigestVerify& DigestVerify::digest(const void* data, std::size_t count) {
  if (EVP_DigestUpdate(context_, data, count) <= 0) {
    throw VemoraCorelib::Exception("Failed to digest.");
  }
  return *this;
}

void DigestVerify::init(const PubKey& key) {
  // OpenSSL does not check for a missing key on every path.
  if (key.get() == nullptr ||
      EVP_DigestVerifyInit(context_, nullptr, digest_, nullptr, key.get()) <= 0) {
    throw VemoraCorelib::Exception("Failed to hash public key to the context.");
  }
  key_ = key.get();
}

bool DigestVerify::final(const Binary& signature) {
  if (key_ == nullptr || signature.data() == nullptr) return false;
  return EVP_DigestVerifyFinal(context_, signature.data(), signature.size()) == 1;
}

}  // namespace VemoraOpenSSL
