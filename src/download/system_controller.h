// The program's download controller on the system: Windows threads and waits, the package file,
// the engine library beside the executable, and the cell log in its TextLog folder.
#pragma once

#include "download/download_controller.h"

#include <memory>

namespace tarnvel {

// One per process: the engine's callbacks carry no context, so the object registers its
// controller process-wide, and shuts it down when it goes (unless that was done before). The
// controller itself may outlive it on threads that a shutdown had to leave behind.
class SystemController {
public:
    SystemController();
    ~SystemController();

    SystemController(const SystemController&) = delete;
    SystemController& operator=(const SystemController&) = delete;

    DownloadController& operator*() const { return *controller_; }
    DownloadController* operator->() const { return controller_.get(); }

private:
    std::shared_ptr<DownloadController> controller_;
};

} // namespace tarnvel
