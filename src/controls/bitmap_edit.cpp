#include "controls/bitmap_edit.h"

namespace tarnvel {} // namespace tarnvel
