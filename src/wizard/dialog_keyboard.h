// The keyboard the Windows way for a dialog whose controls are made by hand: the dialog manager's
// navigation, focus cues shown only after keyboard use, and the focus on the first tab stop.
#pragma once

#include <windows.h>

namespace tarnvel {

class DialogKeyboard {
public:
    // Once the dialog's controls exist: Enter where no button has the focus presses defaultButton,
    // and the focus cues are hidden unless the user wants them always.
    void Attach(HWND dialog, int defaultButton);
    // The dialog manager's handling of msg, when it is for the dialog or one of its controls.
    bool TakeMessage(MSG& msg);
    // The focus to the first tab stop that can take it; the dialog itself when there is none, so
    // that the keys still reach the dialog handling.
    void FocusFirstTabStop() const;

private:
    void SetFocusCues(bool shown);
    static BOOL CALLBACK TellUiState(HWND child, LPARAM change);

    HWND dialog_ = nullptr;
    bool focusCuesHidden_ = false;
    bool systemKeepsUiState_ = true;
};

} // namespace tarnvel
