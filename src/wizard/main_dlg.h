// The main window: a modeless dialog from template 129.
#pragma once

#include "app/message_loop.h"

#include <windows.h>

namespace tarnvel {

class CMainDlg final : public MessageFilter, public IdleHandler {
public:
    CMainDlg() = default;
    ~CMainDlg();

    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    bool Create();
    HWND Handle() const { return hwnd_; }

    bool PreTranslateMessage(MSG& msg) override;
    void OnIdle() override {}

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnClose();
    void OnDestroy();

    HWND hwnd_ = nullptr; // owned: destroyed by OnClose or by the destructor
};

} // namespace tarnvel
