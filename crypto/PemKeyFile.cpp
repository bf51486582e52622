#include "crypto/PemKeyFile.h"

#include <utility>

namespace Vemora {

PemKeyFile::PemKeyFile(std::string fileName) : fileName_(std::move(fileName)) {}

void PemKeyFile::fill(VemoraOpenSSL::PubKey& key) const {
  key.readPemFile(fileName_);
}

}  // namespace Vemora
