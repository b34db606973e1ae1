// The main window's outline: the region of its background picture without the key colour, handed
// to the window, and kept for painting inside it with its rounded frame.
#pragma once

#include "controls/gdi_handles.h"

#include <windows.h>

namespace tarnvel {

class WindowRegion {
public:
    // Builds the region from the pixels of bitmap that are not key; an empty region when the
    // bitmap cannot be read, what was built so far when a piece cannot be added.
    void Build(HBITMAP bitmap, COLORREF key);
    // Gives hwnd a copy of the region and the size, centred on the screen or at the top-left
    // corner of place; false when the window kept its old shape (and place).
    bool ApplyTo(HWND hwnd, SIZE size, const RECT* place);

    HRGN Get() const noexcept { return region_.Get(); }
    const RECT& Box() const noexcept { return box_; }
    // The region's box with corners rounded by radius, as the frame is drawn.
    UniqueRegion Rounded(int radius) const;

private:
    UniqueRegion region_; // our copy: the window owns the one it was given
    RECT box_{};
};

} // namespace tarnvel
