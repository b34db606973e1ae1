// The DLL search of a program that runs elevated and loads libraries by name: never the working
// folder, never PATH.
#pragma once

#include <windows.h>

#include <string>

namespace tarnvel {

// Where libraries loaded by name (and the libraries those need) are looked for: System32 alone, or
// also the program's own folder, for a process that loads a library shipped there whose own
// libraries lie beside it.
enum class DllSearch { SystemOnly, AlsoProgramFolder };

// Called first thing in each of our programs, before any library is loaded by name; from then on
// the delay-loaded system libraries come from System32 alone whatever the search.
void HardenDllSearchPath(DllSearch search);

// A system library from System32 alone; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);
// A library by its full path, the libraries it needs from its own folder or System32.
HMODULE LoadLibraryWithItsFolder(const std::wstring& path);

} // namespace tarnvel
