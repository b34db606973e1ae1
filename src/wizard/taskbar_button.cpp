#include "wizard/taskbar_button.h"

#include <shobjidl.h>

namespace tarnvel {

void TaskbarButton::ComRelease::operator()(ITaskbarList3* object) const noexcept {
    object->Release();
}

TaskbarButton::~TaskbarButton() = default;

void TaskbarButton::Disconnect() noexcept {
    taskbar_.reset();
}

void TaskbarButton::Listen(HWND hwnd) {
    hwnd_ = hwnd;
    createdMessage_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (createdMessage_)
        ChangeWindowMessageFilterEx(hwnd, createdMessage_, MSGFLT_ALLOW, nullptr);
}

bool TaskbarButton::Connect() {
    if (taskbar_)
        return true;
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar))) ||
        !taskbar)
        return false;
    taskbar_.reset(taskbar);
    if (FAILED(taskbar_->HrInit())) {
        taskbar_.reset();
        return false;
    }
    return true;
}

void TaskbarButton::Show(const TaskbarLook& look) {
    if (!taskbar_)
        return;
    switch (look.state) {
    case TaskbarState::None:
        taskbar_->SetProgressState(hwnd_, TBPF_NOPROGRESS);
        break;
    case TaskbarState::Normal:
        taskbar_->SetProgressValue(hwnd_, static_cast<ULONGLONG>(look.percent), 100);
        taskbar_->SetProgressState(hwnd_, TBPF_NORMAL);
        break;
    case TaskbarState::Error:
        taskbar_->SetProgressValue(hwnd_, static_cast<ULONGLONG>(look.percent), 100);
        taskbar_->SetProgressState(hwnd_, TBPF_ERROR);
        break;
    }
}

} // namespace tarnvel
