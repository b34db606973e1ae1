#include "controls/themed_image.h"

namespace tarnvel {} // namespace tarnvel
