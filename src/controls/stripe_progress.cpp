#include "controls/stripe_progress.h"

#include <commctrl.h>

namespace tarnvel {

namespace {

bool OnWindowThread(HWND hwnd) {
    return GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId();
}

} // namespace

CStripeProgress::CStripeProgress() noexcept {
    EnsureGdiplusStarted();
}

WindowClass CStripeProgress::RegisterWindowClass() {
    return RegisterSuperclass(L"CStripeProgress", L"Static");
}

LRESULT CStripeProgress::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_MOVE:
    case WM_SIZE:
        DropBackground();
        SetPercent(percent_.load());
        DefaultProc(message, wParam, lParam);
        return 0;
    case PBM_GETPOS:
        return ShownPercent();
    case PBM_GETRANGE:
        // A progress bar's range, as screen readers ask it: always 0 to 100.
        if (lParam)
            *reinterpret_cast<PBRANGE*>(lParam) = PBRANGE{0, 100};
        return wParam ? 0 : 100;
    default:
        return SkinnedControl::HandleMessage(message, wParam, lParam);
    }
}

const wchar_t* CStripeProgress::AccessibleClass() const {
    return PROGRESS_CLASSW;
}

int CStripeProgress::ShownPercent() const noexcept {
    const int percent = percent_.load();
    // As the fill: what lies outside 0 to 100 fills the bar.
    return static_cast<unsigned>(percent) >= 100u ? 100 : percent;
}

void CStripeProgress::SetPercent(int percent) {
    HWND hwnd = Handle();
    const int previous = percent_.exchange(percent);
    RECT client{};
    if (!hwnd || !GetClientRect(hwnd, &client))
        return;
    if (percent != previous)
        NotifyChange(EVENT_OBJECT_VALUECHANGE);
    fillWidth_.store(FillWidthForPercent(client.left, client.right, skin.inset, skin.extraWidth, percent));
    Rebuild();
    InvalidateRect(hwnd, nullptr, TRUE);
}

void CStripeProgress::DropBackground() {
    std::lock_guard guard(lock_);
    background_ = BackgroundCapture{};
}

void CStripeProgress::Rebuild() {
    std::lock_guard guard(lock_);
    composed_.reset();
    RECT client{};
    GetClientRect(Handle(), &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0)
        return;
    auto composed = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    if (composed->GetLastStatus() != Gdiplus::Ok)
        return;
    {
        Gdiplus::Graphics graphics(composed.get());
        DrawBackground(graphics, width, height);
        const int fillWidth = fillWidth_.load();
        if (fillWidth != 0) {
            fillRect_ = PixelRect{skin.inset, skin.inset, fillWidth + skin.extraWidth, height};
            fillPath_ = RoundedRectPath(fillRect_.x + 1, fillRect_.y + 1, fillRect_.width - 2,
                                        fillRect_.height - 2, 1);
            DrawThreeSlice(graphics, fillImage.Get(), fillRect_.x, fillRect_.y, fillRect_.width,
                           skin.fillCap);
            if (stripesOn)
                DrawStripes(graphics, stripeImage.Get(), fillPath_.get(), fillRect_, skin.stripeStep);
        }
    }
    composed_ = std::move(composed);
}

void CStripeProgress::DrawBackground(Gdiplus::Graphics& graphics, int width, int height) {
    std::lock_guard guard(lock_);
    if (!background_.brush) {
        // Copying the background makes the parent paint; only the parent's own thread may ask that
        // without risking a wait on the UI thread while this lock is held.
        if (OnWindowThread(Handle()))
            background_ = CaptureBackground(Handle(), backgroundSource);
    }
    composedWithoutBackground_ = !background_.brush && backgroundSource != nullptr;
    if (background_.brush)
        graphics.FillRectangle(background_.brush.get(), 0, 0, width, height);
    DrawThreeSlice(graphics, trackImage.Get(), 0, 0, width, skin.trackCap);
}

void CStripeProgress::Paint(HDC dc) {
    std::lock_guard guard(lock_);
    if (composedWithoutBackground_)
        Rebuild();
    if (composed_) {
        Gdiplus::Graphics graphics(dc);
        graphics.DrawImage(composed_.get(), 0, 0, static_cast<INT>(composed_->GetWidth()),
                           static_cast<INT>(composed_->GetHeight()));
    }
}

} // namespace tarnvel
