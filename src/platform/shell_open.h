// Opens a document, a folder or an address for the user. The program runs elevated, and whatever
// it starts itself inherits that: a browser or a file manager then runs as administrator, which
// some refuse and none should get. So the desktop's shell (Explorer, running with the user's own
// rights) is asked to open it; only where no such shell runs does the program open it itself.
#pragma once

#include <string>

namespace tarnvel {

// Any thread; COM must be initialised on it (apartment-threaded). Does not wait for what it opens.
void OpenForUser(const std::wstring& target, const std::wstring& parameters = {});

// The desktop shell's way alone; false where there is no desktop shell to ask.
bool OpenThroughDesktopShell(const std::wstring& target, const std::wstring& parameters);

} // namespace tarnvel
