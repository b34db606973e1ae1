#include "wizard/main_dlg.h"

#include "resources/resource_ids.h"

namespace tarnvel {

CMainDlg::~CMainDlg() {
    if (hwnd_)
        DestroyWindow(hwnd_);
}

bool CMainDlg::Create() {
    hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kMainDialogTemplate), nullptr,
                               &CMainDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

INT_PTR CALLBACK CMainDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<CMainDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CMainDlg*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    }
    if (!self)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        result = FALSE; // no exception crosses into Windows
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR CMainDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            OnClose();
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

void CMainDlg::OnInitDialog() {
    if (MessageLoop* loop = AppModule::Instance().CurrentThreadLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    SetWindowTextW(hwnd_, L"Zemo\u624b\u673a\u5347\u7ea7\u52a9\u624b");
}

void CMainDlg::OnClose() {
    DestroyWindow(hwnd_);
    PostQuitMessage(IDCANCEL);
}

void CMainDlg::OnDestroy() {
    if (MessageLoop* loop = AppModule::Instance().CurrentThreadLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
}

bool CMainDlg::PreTranslateMessage(MSG& msg) {
    return hwnd_ && IsDialogMessageW(hwnd_, &msg);
}

} // namespace tarnvel
