// The DLL search of a program that runs elevated and loads libraries by name: never the working
// folder, never PATH.
#pragma once

namespace tarnvel {

// Called first thing in each of our programs, before any library is loaded by name.
void HardenDllSearchPath();

} // namespace tarnvel
