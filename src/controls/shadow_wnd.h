// CThemedShadowWnd: the drop shadow of a window without a platform frame. A top-level, layered,
// click-through, non-activating window kept just below its owner; it follows the owner by hooking
// the owner's window procedure.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/gdiplus_include.h"
#include "controls/geometry.h"
#include "controls/window_base.h"

#include <memory>

namespace tarnvel {

class CThemedShadowWnd final : public WindowBase {
public:
    CThemedShadowWnd() noexcept;
    // Unhooks the owner (if its window still lives) and destroys the shadow window.
    ~CThemedShadowWnd() override;

    static const WindowClass& Class(); // a class of its own

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Stores the owner and creates the shadow window (top-level, 0 x 0 at (1, 1)), shown without
    // activation when the owner is or becomes visible; the owner is hooked at creation. Set the three numbers
    // afterwards; they apply at the next placement. Null when the window cannot be made or owner is already
    // shadowed.
    HWND CreateFor(HWND owner);

    int shadowSize = 5;
    int inset = 1;
    int placementMode = 1; // 1 around, 2 right and down, 3 left and down, 4 around and moved down
    int cornerRadius = 10; // of the shadow's rounded rectangle; applies when the shadow is next drawn

    HWND Owner() const noexcept { return owner_; }
    // True once the shadow has been drawn for its current size.
    bool IsDrawn() const noexcept { return static_cast<bool>(shadowBitmap_); }

private:
    static LRESULT CALLBACK OwnerHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void Attach();
    void Detach() noexcept;
    void Place();
    void DrawShadow();

    HWND owner_ = nullptr;                // not owned: the window followed
    WNDPROC ownerPreviousProc_ = nullptr; // the owner's procedure the hook passes messages on to
    RECT clientRect_{};
    PixelRect undrawn_; // of the last placement, in client coordinates
    std::unique_ptr<Gdiplus::Bitmap> shadowImage_;
    UniqueBitmap shadowBitmap_;
    std::unique_ptr<Gdiplus::GraphicsPath> shadowPath_;
    bool needsDrawing_ = false;
};

} // namespace tarnvel
