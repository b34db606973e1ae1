#include "controls/paint_helpers.h"

namespace tarnvel {} // namespace tarnvel
