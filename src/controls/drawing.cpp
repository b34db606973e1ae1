#include "controls/drawing.h"

namespace tarnvel {} // namespace tarnvel
