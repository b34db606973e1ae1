#include "controls/themed_label.h"

namespace tarnvel {} // namespace tarnvel
