#include "crypto/Binary.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>

#include "corelib/Exception.h"
#include "corelib/FileTools.h"
#include "platform/Path.h"

namespace VemoraOpenSSL {

namespace {

[[noreturn]] void fail(const std::string& message) {
  throw VemoraCorelib::Exception(message);
}

}  // namespace

Binary::Binary(const unsigned char* data, std::size_t* count, int mode) {
  if (mode == kRefer) {
    data_ = const_cast<unsigned char*>(data);
    count_ = count;
    mode_ = kRefer;
    return;
  }
  if (mode != kCopy) return;
  ownCount_ = data == nullptr || count == nullptr ? 0 : *count;
  count_ = &ownCount_;
  mode_ = kCopy | kOwned;
  if (ownCount_ == 0) return;
  data_ = static_cast<unsigned char*>(OPENSSL_malloc(ownCount_));
  if (data_ == nullptr) fail("Failed to allocate memory of size " + std::to_string(ownCount_));
  std::memcpy(data_, data, ownCount_);
}

Binary::Binary(const std::string& fileName) {
  const uint64_t size = VemoraCorelib::FileTools::fileSize(fileName);
  // BIO_read takes an int count: a larger file cannot be read in one call.
  // OpenSSL's allocator answers null for 0 bytes, so an empty file fails here.
  unsigned char* buffer = nullptr;
  if (size > 0 && size <= static_cast<uint64_t>(INT_MAX)) {
    buffer = static_cast<unsigned char*>(OPENSSL_malloc(static_cast<std::size_t>(size)));
  }
  if (buffer == nullptr) {
    fail("Failed to allocate memory of size " + std::to_string(size) + " for file " + fileName);
  }
  const std::optional<std::string> native = platform::toNativePath(fileName);
  BIO* bio = native ? BIO_new_file(native->c_str(), "r") : nullptr;
  if (bio == nullptr) {
    OPENSSL_free(buffer);
    fail("Failed to create new file Bio to read: " + fileName);
  }
  const int read = BIO_read(bio, buffer, static_cast<int>(size));
  const bool freed = BIO_free(bio) == 1;
  if (read <= 0 || !freed) {
    OPENSSL_free(buffer);
    fail((read <= 0 ? "Failed to read file Bio: " : "Failed to free up file Bio: ") + fileName);
  }
  data_ = buffer;
  ownCount_ = static_cast<std::size_t>(read);
  count_ = &ownCount_;
  mode_ = kOwned;
}

Binary::~Binary() {
  if ((mode_ & kOwned) != 0) OPENSSL_free(data_);
}

}  // namespace VemoraOpenSSL
