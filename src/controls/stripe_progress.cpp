#include "controls/stripe_progress.h"

namespace tarnvel {} // namespace tarnvel
