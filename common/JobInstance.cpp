#include "common/JobInstance.h"

namespace Vemora {

JobInstance::JobInstance() = default;

JobInstance::~JobInstance() = default;

}  // namespace Vemora
