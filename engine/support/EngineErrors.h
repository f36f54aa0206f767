// EngineErrors: the patch engine's own failure class. EAbort ends a run when
// the game folder or a file to patch cannot be settled; its code tells which.
#pragma once

#include "common/VeyException.h"

namespace vey {

VEY_DECLARE_FAILURE(EAbort);

}  // namespace vey
