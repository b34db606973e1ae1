// The base of the skinned controls: class registration, creation and destruction, the paint
// dispatch and the cached copy of the parent's background behind the control. What every skinned
// control does the same way (focus cues, text and accessibility queries) belongs here.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/window_base.h"

#include <string_view>

namespace tarnvel {

class SkinnedControl : public WindowBase {
public:
    // Takes the background cache's moves, the erase, the paint, the accessible object and a text
    // set without the platform control's own drawing; the rest goes to the base class.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The window whose painting shows behind the control. Not owned.
    HWND backgroundSource = nullptr;

protected:
    explicit SkinnedControl(ClassAccessor windowClass) noexcept : WindowBase(windowClass) {}
    // Destroys the window while the control's own members still exist underneath the derived ones.
    ~SkinnedControl() override;

    // Draws the whole client area into dc (the paint's or WM_PRINTCLIENT's). Does nothing here.
    virtual void Paint(HDC dc);
    // Forgets the copies of the background; the next paint takes them anew.
    virtual void DropBackground();
    // The class of the common control this one acts as for screen readers (WC_STATICW, WC_BUTTONW,
    // PROGRESS_CLASSW): WM_GETOBJECT answers that control's standard accessible object.
    // Null here: the base class answers, as for a host whose platform children speak for it.
    virtual const wchar_t* AccessibleClass() const;
    // A role (ROLE_SYSTEM_*) told over that object's own, for a control whose class oleacc has no
    // proxy for; 0 here: the object's own.
    virtual long AccessibleRole() const;

    // Drops the background when lParam (a WM_MOVE or WM_SIZE position or size) differs from the last.
    void NoteMoveOrSize(LPARAM lParam);
    // Fills rect with the cached copy of the background, copied on first use.
    void FillBackground(HDC dc, const RECT& rect);
    // Follows a WM_UPDATEUISTATE that the control received: its focus cues hidden or shown. The
    // control keeps the state itself, as the common controls do, rather than asking
    // WM_QUERYUISTATE at each paint.
    void NoteUiState(WPARAM wParam) noexcept;
    // True when the control has the focus and its UI state shows focus cues (no UISF_HIDEFOCUS):
    // only after keyboard use, unless the user asked for cues always.
    bool ShowsFocusCue() const;

    // The answer to WM_GETOBJECT: the standard accessible object for OBJID_CLIENT, the base class's
    // answer for any other object.
    LRESULT AnswerGetObject(WPARAM wParam, LPARAM lParam);
    // Tells screen readers that the client object's name (EVENT_OBJECT_NAMECHANGE) or value
    // (EVENT_OBJECT_VALUECHANGE) changed. Any thread; nothing before the window exists.
    void NotifyChange(DWORD event) const;

    // WM_GETTEXT (copies what fits into the buffer, with its terminator) and WM_GETTEXTLENGTH
    // answered with text.
    static LRESULT AnswerTextQuery(std::wstring_view text, UINT message, WPARAM wParam, LPARAM lParam);

private:
    UniqueBrush backgroundBrush_;
    LPARAM lastMoveOrSize_ = 0;
    bool focusCuesHidden_ = false;
};

// A skinned control of class Derived.
template <class Derived> using SkinnedControlOf = WindowOf<Derived, SkinnedControl>;

} // namespace tarnvel
