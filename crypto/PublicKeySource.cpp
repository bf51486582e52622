#include "crypto/PublicKeySource.h"

namespace Vemora {

PublicKeySource::~PublicKeySource() = default;

}  // namespace Vemora
