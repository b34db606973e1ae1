#include "controls/shadow_wnd.h"

namespace tarnvel {} // namespace tarnvel
