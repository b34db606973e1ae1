// GDI+ for the controls. The platform's header expects min and max in its namespace, which the
// project's NOMINMAX keeps out of the global one.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>
