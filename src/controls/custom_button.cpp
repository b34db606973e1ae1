#include "controls/custom_button.h"

namespace tarnvel {} // namespace tarnvel
