// The hook table the wizard hands the download controller. Each hook copies what it was given
// into the process's hook queue and returns at once; the main window does the work on its own
// thread. Plain C++.
#pragma once

#include "download/download_controller.h"

namespace tarnvel {

DownloadHooks WizardHooks();

} // namespace tarnvel
