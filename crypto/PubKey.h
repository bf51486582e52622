// A public key for signature checks.
#pragma once

#include <string>

#include "crypto/PKey.h"

namespace VemoraOpenSSL {

class PubKey : public PKey {
 public:
  PubKey() = default;

  // Replaces the key with the PEM public key ("BEGIN PUBLIC KEY") in the
  // file (Windows-form path). Throws VemoraCorelib::Exception when the file
  // cannot be opened or holds no such key; the key held before then stays.
  void readPemFile(const std::string& fileName);
};

}  // namespace VemoraOpenSSL
