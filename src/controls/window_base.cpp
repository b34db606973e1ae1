#include "controls/window_base.h"

namespace tarnvel {} // namespace tarnvel
