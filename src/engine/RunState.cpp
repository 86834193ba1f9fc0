#include "engine/RunState.h"

namespace quillon {

RunState::RunState() : LatestSetDate(MakeTime(1990, 1, 1, 0, 0, 0)) {}

}  // namespace quillon
