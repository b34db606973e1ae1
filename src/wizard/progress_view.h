// CProgressView: the white band under the title that names the wizard's three steps and shows a
// thin bar under them.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/stripe_progress.h"
#include "controls/themed_label.h"
#include "controls/window_base.h"

#include <array>

namespace tarnvel {

class CProgressView final : public WindowOf<CProgressView> {
public:
    // Destroys the window while the children still exist.
    ~CProgressView() override;

    static WindowClass RegisterWindowClass(); // a class of its own

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The dpi to build at; before Create.
    void SetDpi(int dpi) noexcept { dpi_ = dpi; }
    // Lays the band out again at dpi, with its font and pictures for it.
    void ApplyDpi(int dpi);

    // Steps 0 to 2; any other value changes nothing.
    void SetStep(int step);

    const CStripeProgress& Bar() const noexcept { return bar_; }
    const CThemedLabelCtrl& Label(int index) const noexcept {
        return labels_[static_cast<std::size_t>(index)];
    }

private:
    void Build();
    void Layout();

    int dpi_ = 96;
    UniqueFont font_;
    std::array<CThemedLabelCtrl, 3> labels_;
    CStripeProgress bar_;
};

} // namespace tarnvel
