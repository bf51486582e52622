#include "crypto/PubKey.h"

#include <openssl/bio.h>
#include <openssl/pem.h>

#include <optional>

#include "corelib/Exception.h"
#include "platform/Path.h"

namespace VemoraOpenSSL {

void PubKey::readPemFile(const std::string& fileName) {
  const std::optional<std::string> native = platform::toNativePath(fileName);
  BIO* bio = native ? BIO_new_file(native->c_str(), "r") : nullptr;
  if (bio == nullptr) {
    throw VemoraCorelib::Exception("Failed to create new file Bio to read: " + fileName);
  }
  EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (key == nullptr) throw VemoraCorelib::Exception("Failed to read public key: " + fileName);
  reset(key);
}

}  // namespace VemoraOpenSSL
