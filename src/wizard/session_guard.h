// When the computer must be kept awake and a log-off refused, and what the taskbar button shows.
// Plain C++: the main window carries out the decisions with the system calls.
#pragma once

#include <optional>

namespace tarnvel {

// A phone cut off in the middle of a write can be left unusable, so while the controller says
// that closing is not allowed the machine must neither sleep nor end the session.
class SessionGuard {
public:
    // Fed with the controller's current answer; returns true to switch the protection on,
    // false to switch it off, nothing when it stays as it is.
    std::optional<bool> Update(bool closeAllowed);

    // Also the answer to a log-off or shutdown query, after an Update with the answer of that
    // moment: the session may end only when no phone is being written.
    bool Protecting() const { return protecting_; }

private:
    bool protecting_ = false;
};

enum class TaskbarState { None, Normal, Error };

struct TaskbarLook {
    TaskbarState state = TaskbarState::None;
    int percent = 0; // 0 to 100; meaningful for Normal and Error

    bool operator==(const TaskbarLook&) const = default;
};

// The taskbar button follows the upgrade: progress while the phone is written, full on a success,
// red on a failure, nothing once the user is back at the first page. Each event returns the new look when it
// differs from the one shown.
class TaskbarProgress {
public:
    std::optional<TaskbarLook> OnUpgradeBegin();
    std::optional<TaskbarLook> OnProgress(int percent);
    std::optional<TaskbarLook> OnSucceeded();
    std::optional<TaskbarLook> OnFailed();
    std::optional<TaskbarLook> OnBackAtStart();

    const TaskbarLook& Current() const { return look_; }

private:
    std::optional<TaskbarLook> Show(TaskbarLook look);

    TaskbarLook look_;
};

} // namespace tarnvel
