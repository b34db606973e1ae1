// How many GDI and USER objects this process holds, for the leak tests.
#pragma once

namespace tarnvel::testing {

// GetGuiResources where the system implements it; where it answers 0 (Wine), the process's own
// GDI handle table, and the windows of the calling thread.
int GdiObjectCount();
int UserObjectCount();

} // namespace tarnvel::testing
