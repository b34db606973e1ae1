#include "controls/document_view.h"

namespace tarnvel {} // namespace tarnvel
