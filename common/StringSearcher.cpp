#include "common/StringSearcher.h"

namespace Vemora {

StringSearcher::~StringSearcher() = default;

}  // namespace Vemora
