// CThemedLabelCtrl: a text label over a copy of its parent's background, in its own font and
// colour; optionally a link that shows the hand pointer and opens an address when pressed.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/skinned_control.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace tarnvel {

class CThemedLabelCtrl final : public SkinnedControlOf<CThemedLabelCtrl> {
public:
    static WindowClass RegisterWindowClass(); // superclass of "Static"

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Stores the text and invalidates the label (it does not resize); a new text raises a name change.
    // Callable from any thread: the text is swapped under a lock and the label redrawn on its own
    // thread. WM_GETTEXT answers it; WM_SETTEXT sets it.
    void SetText(std::wstring text);
    std::wstring Text() const;

    // Makes the label a link (or not) that opens address (with parameters, for a program) in the
    // user's shell on a left button press. The label must have SS_NOTIFY to receive the press.
    // UI thread.
    void SetLink(bool link, std::wstring address, std::wstring parameters = {});
    bool IsLink() const;
    // What a press opens: the address and its parameters.
    std::pair<std::wstring, std::wstring> LinkTarget() const;

    // Colour and DrawTextW flags; callable from any thread, then invalidate the label
    // (InvalidateRect(label.Handle(), nullptr, TRUE)). Creation sets #000000 and DT_NOPREFIX.
    std::atomic<COLORREF> textColour{RGB(0, 0, 0)};
    std::atomic<UINT> textFormat{DT_NOPREFIX};
    // Creation sets backgroundSource to the parent.

private:
    void Paint(HDC dc) override;
    const wchar_t* AccessibleClass() const override; // static text
    long AccessibleRole() const override;            // a link's
    void OpenLink();

    HFONT font_ = nullptr;        // not owned
    mutable std::mutex textLock_; // guards text_, link_, address_ and parameters_
    std::wstring text_;
    bool link_ = false;
    std::wstring address_;
    std::wstring parameters_;
};

// Sets a label's colour and redraws it if its window exists.
void SetLabelColour(CThemedLabelCtrl& label, COLORREF colour);

} // namespace tarnvel
