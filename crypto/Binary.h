// A run of bytes for the digest functions: a data pointer, a pointer to its
// byte count and mode bits. The bytes are copied into a buffer from
// OpenSSL's allocator (kCopy), referred to without copying (kRefer; the
// caller keeps data and count alive), or read from a whole file. kOwned
// marks a buffer and count that the object frees.
#pragma once

#include <cstddef>
#include <string>

namespace VemoraOpenSSL {

class Binary {
 public:
  enum Mode { kCopy = 1, kRefer = 2, kOwned = 4 };

  // kCopy copies *count bytes and owns the copy and a count of its own;
  // kRefer keeps both pointers; any other mode makes an empty object.
  // Throws VemoraCorelib::Exception when the copy cannot be allocated.
  Binary(const unsigned char* data, std::size_t* count, int mode);
  // The whole file (Windows-form path), read in one call through an OpenSSL
  // file BIO. Throws VemoraCorelib::Exception when the file is empty or
  // missing, cannot be opened or read, or is larger than one read can take.
  explicit Binary(const std::string& fileName);
  virtual ~Binary();
  Binary(const Binary&) = delete;
  Binary& operator=(const Binary&) = delete;

  const unsigned char* data() const { return data_; }
  std::size_t size() const { return count_ == nullptr ? 0 : *count_; }
  int mode() const { return mode_; }

 private:
  unsigned char* data_ = nullptr;
  std::size_t* count_ = nullptr;
  std::size_t ownCount_ = 0;
  int mode_ = 0;
};

}  // namespace VemoraOpenSSL
