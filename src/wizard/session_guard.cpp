#include "wizard/session_guard.h"

#include <algorithm>

namespace tarnvel {

std::optional<bool> SessionGuard::Update(bool closeAllowed) {
    const bool protect = !closeAllowed;
    if (protect == protecting_)
        return std::nullopt;
    protecting_ = protect;
    return protect;
}

std::optional<TaskbarLook> TaskbarProgress::Show(TaskbarLook look) {
    if (look == look_)
        return std::nullopt;
    look_ = look;
    return look;
}

std::optional<TaskbarLook> TaskbarProgress::OnUpgradeBegin() {
    return Show({TaskbarState::Normal, 0});
}

std::optional<TaskbarLook> TaskbarProgress::OnProgress(int percent) {
    // A late report must not turn a failure shown in red back into progress.
    if (look_.state == TaskbarState::Error)
        return std::nullopt;
    return Show({TaskbarState::Normal, std::clamp(percent, 0, 100)});
}

// A success fills the button, so that a user in another window sees the phone is done.
std::optional<TaskbarLook> TaskbarProgress::OnSucceeded() {
    return Show({TaskbarState::Normal, 100});
}

// A failure fills the button in red whatever the progress was, so that it can be seen at all.
std::optional<TaskbarLook> TaskbarProgress::OnFailed() {
    return Show({TaskbarState::Error, 100});
}

std::optional<TaskbarLook> TaskbarProgress::OnBackAtStart() {
    return Show({TaskbarState::None, 0});
}

} // namespace tarnvel
