#include "download/download_controller.h"

namespace tarnvel {

namespace detail {
struct ControllerCore {};
} // namespace detail

DownloadController::DownloadController() : core_(std::make_shared<detail::ControllerCore>()) {}
DownloadController::~DownloadController() {
    Shutdown();
}
void DownloadController::SetHooks(const DownloadHooks&) {}
void DownloadController::LoadEngine() {}
bool DownloadController::SetPackagePath(std::wstring_view path) {
    return path.size() <= 255;
}
void DownloadController::PostCommand(int) {}
void DownloadController::BeginStop() {}
bool DownloadController::IsCloseAllowed() const {
    return true;
}
void DownloadController::Shutdown() {}

} // namespace tarnvel
