#include "wizard/dialog_keyboard.h"

namespace tarnvel {

namespace {

// A key that the dialog handling turns into a move of the focus: Tab, and the arrows where the
// focused control does not take them itself.
bool IsNavigationKey(MSG& msg) {
    if (msg.message != WM_KEYDOWN)
        return false;
    if (msg.wParam == VK_TAB)
        return true;
    if (msg.wParam != VK_LEFT && msg.wParam != VK_RIGHT && msg.wParam != VK_UP && msg.wParam != VK_DOWN)
        return false;
    const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    return (code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) == 0;
}

} // namespace

void DialogKeyboard::Attach(HWND dialog, int defaultButton) {
    dialog_ = dialog;
    SendMessageW(dialog_, DM_SETDEFID, static_cast<WPARAM>(defaultButton), 0);
    // As in any dialog, a mouse user sees no focus cue.
    BOOL cuesAlways = FALSE;
    SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cuesAlways, 0);
    if (!cuesAlways)
        SetFocusCues(false);
}

bool DialogKeyboard::TakeMessage(MSG& msg) {
    if (!dialog_ || !IsWindow(dialog_) || (msg.hwnd != dialog_ && !IsChild(dialog_, msg.hwnd)))
        return false;
    const bool navigation = IsNavigationKey(msg);
    if (!IsDialogMessageW(dialog_, &msg))
        return false;
    // Keyboard navigation shows the focus cues from now on. The dialog handling of Windows does
    // so itself; not every implementation does, and a second notice changes nothing.
    if (navigation && focusCuesHidden_)
        SetFocusCues(true);
    return true;
}

void DialogKeyboard::FocusFirstTabStop() const {
    if (!dialog_)
        return;
    // Styles, not IsWindowVisible: at initialisation the dialog itself is not shown yet.
    HWND first = GetNextDlgTabItem(dialog_, nullptr, FALSE);
    if (!first || !IsChild(dialog_, first) ||
        (GetWindowLongW(first, GWL_STYLE) & (WS_TABSTOP | WS_DISABLED)) != WS_TABSTOP)
        first = dialog_;
    for (HWND shown = first; shown != dialog_; shown = GetParent(shown)) {
        if ((GetWindowLongW(shown, GWL_STYLE) & WS_VISIBLE) == 0) {
            first = dialog_;
            break;
        }
    }
    // SetFocus, not WM_NEXTDLGCTL, and no selection left from an earlier visit: a mouse user would
    // see the path highlighted on returning to the first page.
    SetFocus(first);
    if (SendMessageW(first, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
        const int end = GetWindowTextLengthW(first);
        SendMessageW(first, EM_SETSEL, static_cast<WPARAM>(end), end);
    }
}

void DialogKeyboard::SetFocusCues(bool shown) {
    focusCuesHidden_ = !shown;
    const WPARAM change = MAKEWPARAM(shown ? UIS_CLEAR : UIS_SET, UISF_HIDEFOCUS);
    // The system keeps the state and tells the whole window tree with WM_UPDATEUISTATE. Where it
    // keeps none (WM_QUERYUISTATE does not show the cues hidden after hiding them), every control
    // is told directly.
    SendMessageW(dialog_, WM_CHANGEUISTATE, change, 0);
    if (!shown)
        systemKeepsUiState_ = (SendMessageW(dialog_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
    if (!systemKeepsUiState_)
        EnumChildWindows(dialog_, &DialogKeyboard::TellUiState, static_cast<LPARAM>(change));
}

BOOL CALLBACK DialogKeyboard::TellUiState(HWND child, LPARAM change) {
    SendMessageW(child, WM_UPDATEUISTATE, static_cast<WPARAM>(change), 0);
    return TRUE;
}

} // namespace tarnvel
