// CStripeProgress: the horizontal progress bar drawn from a track, a fill and a stripe image over
// a copy of its parent's background. The picture is composed when the percent changes and only
// copied when the bar paints.
#pragma once

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "controls/skinned_control.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace tarnvel {

// The numbers a bar is drawn with.
struct BarSkin {
    int inset = 1;      // left and top margin of the fill, and half of what it leaves out
    int extraWidth = 1; // added to the drawn fill, left out of the width a percent applies to
    int fillCap = 1;    // end caps of the fill image; 0 or less: the fill image is not drawn
    int stripeStep = 1; // pixels from one stripe to the next
    int trackCap = 1;   // end caps of the track image; 0 or less: no track
};

// The numbers at dpi, each scaled as a length.
inline BarSkin ScaleForDpi(const BarSkin& skin, int dpi) {
    return {.inset = ScaleForDpi(skin.inset, dpi),
            .extraWidth = ScaleForDpi(skin.extraWidth, dpi),
            .fillCap = ScaleForDpi(skin.fillCap, dpi),
            .stripeStep = ScaleForDpi(skin.stripeStep, dpi),
            .trackCap = ScaleForDpi(skin.trackCap, dpi)};
}

class CStripeProgress final : public SkinnedControlOf<CStripeProgress> {
public:
    CStripeProgress() noexcept;

    static WindowClass RegisterWindowClass(); // superclass of "Static"

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Stores the percent, recomputes the fill, composes the picture again and invalidates the bar; a
    // new percent raises a value change. PBM_GETPOS answers the percent shown, PBM_GETRANGE 0 to 100.
    // Callable from any thread; callers keep their calls for one bar apart in time. Off the bar's
    // own thread the background is never copied (that needs the parent's paint): a bar without a
    // copy is composed again at its next paint.
    void SetPercent(int percent);
    int Percent() const noexcept { return percent_.load(); }
    // The percent the fill shows, 0 to 100.
    int ShownPercent() const noexcept;
    int FillWidth() const noexcept { return fillWidth_.load(); }

    // Set by the owner before creation (images, backgroundSource) or before the first
    // SetPercent (skin), on the UI thread.
    ImageHolder trackImage;
    ImageHolder fillImage;
    ImageHolder stripeImage;
    BarSkin skin;
    bool stripesOn = true;

private:
    void Rebuild();
    void DrawBackground(Gdiplus::Graphics& graphics, int width, int height);
    void Paint(HDC dc) override;
    void DropBackground() override;
    const wchar_t* AccessibleClass() const override; // a progress bar

    std::recursive_mutex lock_; // guards everything below
    std::unique_ptr<Gdiplus::Bitmap> composed_;
    BackgroundCapture background_;
    bool composedWithoutBackground_ = false;
    PixelRect fillRect_;
    std::unique_ptr<Gdiplus::GraphicsPath> fillPath_;

    std::atomic<int> fillWidth_{0};
    std::atomic<int> percent_{0};
};

} // namespace tarnvel
