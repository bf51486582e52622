#include "crypto/DigestX.h"

namespace VemoraOpenSSL {

DigestX::~DigestX() = default;

}  // namespace VemoraOpenSSL
