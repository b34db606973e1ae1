#include "controls/image_loader.h"

namespace tarnvel {} // namespace tarnvel
