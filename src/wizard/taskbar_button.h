// The window's taskbar button showing the wizard's progress (ITaskbarList3), once the shell has
// made the button.
#pragma once

#include "wizard/session_guard.h"

#include <windows.h>

#include <memory>

struct ITaskbarList3;

namespace tarnvel {

class TaskbarButton {
public:
    ~TaskbarButton(); // where the shell's interface is complete

    // Lets the shell's "TaskbarButtonCreated" message into hwnd (an elevated program is told about
    // its button only then).
    void Listen(HWND hwnd);
    // The message the shell sends once the button exists.
    bool IsButtonCreated(UINT message) const noexcept {
        return createdMessage_ && message == createdMessage_;
    }
    // Connects to the button; false when the shell's object cannot be had.
    bool Connect();
    void Show(const TaskbarLook& look);
    void Disconnect() noexcept;

private:
    struct ComRelease {
        void operator()(ITaskbarList3* object) const noexcept;
    };
    HWND hwnd_ = nullptr;
    UINT createdMessage_ = 0;
    std::unique_ptr<ITaskbarList3, ComRelease> taskbar_;
};

} // namespace tarnvel
