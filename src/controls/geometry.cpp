#include "controls/geometry.h"

namespace tarnvel {} // namespace tarnvel
