// A fresh RSA key pair for signature tests: signs with SHA-256 like the
// signing side of the suite does and hands out its public key as PEM text.
// Header only, so that other suites can include it as "crypto/SigningKey.h".
#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <stdexcept>
#include <string>

namespace VemoraTest {

class SigningKey {
 public:
  explicit SigningKey(unsigned bits = 2048) : key_(EVP_RSA_gen(bits)) {
    if (key_ == nullptr) throw std::runtime_error("RSA key generation failed");
  }
  ~SigningKey() { EVP_PKEY_free(key_); }
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  std::string publicPem() const {
    BIO* bio = BIO_new(BIO_s_mem());
    std::string pem;
    if (bio != nullptr && PEM_write_bio_PUBKEY(bio, key_) == 1) {
      char* data = nullptr;
      const long size = BIO_get_mem_data(bio, &data);
      pem.assign(data, static_cast<size_t>(size));
    }
    BIO_free(bio);
    if (pem.empty()) throw std::runtime_error("PEM export failed");
    return pem;
  }

  // The signature over `message` with SHA-256.
  std::string sign(const std::string& message) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    size_t size = 0;
    std::string signature;
    if (context != nullptr &&
        EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key_) == 1 &&
        EVP_DigestSignUpdate(context, message.data(), message.size()) == 1 &&
        EVP_DigestSignFinal(context, nullptr, &size) == 1) {
      signature.resize(size);
      if (EVP_DigestSignFinal(context, reinterpret_cast<unsigned char*>(signature.data()), &size) ==
          1) {
        signature.resize(size);
      } else {
        signature.clear();
      }
    }
    EVP_MD_CTX_free(context);
    if (signature.empty()) throw std::runtime_error("signing failed");
    return signature;
  }

 private:
  EVP_PKEY* key_;
};

// Key pairs are slow to make, so each test program shares two of them.
inline SigningKey& signer() {
  static SigningKey key;
  return key;
}
inline SigningKey& stranger() {
  static SigningKey key;
  return key;
}

}  // namespace VemoraTest
