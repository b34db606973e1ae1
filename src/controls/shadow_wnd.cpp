#include "controls/shadow_wnd.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace tarnvel {

namespace {

constexpr DWORD kStyleMask = 0xFF3AFFFF; // no caption, sizing border, maximise box
constexpr BYTE kShadowStrength = 128;

// The hook on an owner is a plain window procedure: it finds its shadow here. The procedure the
// hook passes messages on to stays registered as long as the owner lives, even when the shadow
// object goes first and the hook cannot be taken off (someone subclassed the owner after us).
struct HookedOwner {
    CThemedShadowWnd* shadow = nullptr;
    WNDPROC previousProc = nullptr;
};

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::map<HWND, HookedOwner>& Registry() {
    static std::map<HWND, HookedOwner> registry;
    return registry;
}

HookedOwner FindOwner(HWND owner) {
    std::lock_guard guard(RegistryLock());
    auto it = Registry().find(owner);
    return it == Registry().end() ? HookedOwner{} : it->second;
}

} // namespace

CThemedShadowWnd::CThemedShadowWnd() noexcept : WindowBase(&CThemedShadowWnd::Class) {
    EnsureGdiplusStarted();
}

CThemedShadowWnd::~CThemedShadowWnd() {
    Detach();
    Destroy();
}

const WindowClass& CThemedShadowWnd::Class() {
    static const WindowClass cls = RegisterOwnClass(
        L"CThemedShadowWnd", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
        reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)), LoadCursorW(nullptr, IDC_ARROW));
    return cls;
}

HWND CThemedShadowWnd::CreateFor(HWND owner) {
    if (!owner || Handle() || FindOwner(owner).previousProc)
        return nullptr;
    owner_ = owner;
    // Made hidden and shown without activation, with its owner: a window made visible would take
    // the activation from whatever window had it.
    HWND hwnd = Create(nullptr, RECT{1, 1, 1, 1}, L"", 0, 0, 0);
    if (!hwnd) {
        owner_ = nullptr;
        return nullptr;
    }
    if (IsWindowVisible(owner))
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    return hwnd;
}

LRESULT CThemedShadowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        Attach();
        return DefaultProc(message, wParam, lParam);
    case WM_SIZE:
        needsDrawing_ = true;
        return DefaultProc(message, wParam, lParam);
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

void CThemedShadowWnd::Attach() {
    HWND hwnd = Handle();
    if (!owner_)
        return;
    {
        std::lock_guard guard(RegistryLock());
        Registry()[owner_] = HookedOwner{this, nullptr};
    }
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & kStyleMask;
    SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED | WS_EX_TRANSPARENT;
    exStyle = (exStyle & ~static_cast<LONG_PTR>(WS_EX_TOPMOST)) | WS_EX_NOACTIVATE;
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle);
    // Registered first, then hooked: the hook always finds its entry.
    std::lock_guard guard(RegistryLock());
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CThemedShadowWnd::OwnerHook)));
    ownerPreviousProc_ = previous;
    Registry()[owner_].previousProc = previous;
}

void CThemedShadowWnd::Detach() noexcept {
    if (!owner_)
        return;
    std::lock_guard guard(RegistryLock());
    auto it = Registry().find(owner_);
    if (it != Registry().end() && it->second.shadow == this) {
        const bool stillOurs =
            IsWindow(owner_) && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(owner_, GWLP_WNDPROC)) ==
                                    &CThemedShadowWnd::OwnerHook;
        if (stillOurs && it->second.previousProc) {
            SetWindowLongPtrW(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.previousProc));
            Registry().erase(it);
        } else {
            it->second.shadow = nullptr;
        }
    }
    owner_ = nullptr;
}

LRESULT CALLBACK CThemedShadowWnd::OwnerHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const HookedOwner entry = FindOwner(hwnd);
    if (CThemedShadowWnd* shadow = entry.shadow; shadow && shadow->Handle()) {
        switch (message) {
        case WM_DESTROY:
            shadow->Destroy();
            break;
        case WM_MOVE:
        case WM_ACTIVATE:
        case WM_PAINT:
        case WM_ERASEBKGND:
        case WM_NCACTIVATE:
            if (IsWindowVisible(hwnd)) {
                try {
                    shadow->Place();
                } catch (...) {
                    // A shadow that cannot be drawn is left as it was.
                }
            }
            break;
        case WM_SHOWWINDOW:
            // Never activated: the shadow must not take the focus from its owner.
            ShowWindow(shadow->Handle(), wParam ? SW_SHOWNOACTIVATE : SW_HIDE);
            break;
        default:
            break;
        }
    }
    if (message == WM_NCDESTROY) {
        std::lock_guard guard(RegistryLock());
        Registry().erase(hwnd);
        if (entry.shadow)
            entry.shadow->owner_ = nullptr;
    }
    if (!entry.previousProc)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return CallWindowProcW(entry.previousProc, hwnd, message, wParam, lParam);
}

void CThemedShadowWnd::Place() {
    HWND hwnd = Handle();
    RECT ownerRect{};
    if (!hwnd || !GetWindowRect(owner_, &ownerRect))
        return;
    const ShadowLayout layout = ShadowPlacement(ToBox(ownerRect), shadowSize, inset, placementMode);
    const Box& w = layout.window;
    SetWindowPos(hwnd, owner_, w.left, w.top, w.right - w.left, w.bottom - w.top, SWP_NOACTIVATE);
    GetClientRect(hwnd, &clientRect_);
    undrawn_ = layout.undrawn;
    if (needsDrawing_) {
        needsDrawing_ = false;
        DrawShadow();
    }
}

void CThemedShadowWnd::DrawShadow() {
    HWND hwnd = Handle();
    shadowImage_.reset();
    const int width = clientRect_.right - clientRect_.left;
    const int height = clientRect_.bottom - clientRect_.top;
    if (width <= 0 || height <= 0)
        return;
    shadowPath_ = RoundedRectPath(clientRect_.left, clientRect_.top, width, height, cornerRadius);
    shadowImage_ = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    if (shadowImage_->GetLastStatus() != Gdiplus::Ok) {
        shadowImage_.reset();
        return;
    }
    // The path gradient's colours are computed here pixel by pixel: not every GDI+ renders
    // preset gradient colours, and the shadow must look the same everywhere.
    Gdiplus::Rect whole(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (shadowImage_->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) !=
        Gdiplus::Ok)
        return;
    for (int y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < width; ++x) {
            const bool undrawn = x >= undrawn_.x && x < undrawn_.x + undrawn_.width && y >= undrawn_.y &&
                                 y < undrawn_.y + undrawn_.height;
            const ShadowPixel pixel =
                undrawn ? ShadowPixel{} : ShadowPixelAt(x, y, width, height, cornerRadius);
            row[x] = (std::uint32_t{pixel.alpha} << 24) | (std::uint32_t{pixel.grey} << 16) |
                     (std::uint32_t{pixel.grey} << 8) | pixel.grey;
        }
    }
    shadowImage_->UnlockBits(&data);
    // Over transparent black the colours come out premultiplied and the alpha stays per pixel,
    // which is what the layered window blends with.
    HBITMAP bitmap = nullptr;
    shadowBitmap_.Reset();
    if (shadowImage_->GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &bitmap) != Gdiplus::Ok || !bitmap)
        return;
    shadowBitmap_.Reset(bitmap);

    RECT windowRect{};
    GetWindowRect(hwnd, &windowRect);
    WindowDc target(hwnd);
    MemoryDc source(target.Get());
    if (!target || !source)
        return;
    SelectScope selection(source.Get(), shadowBitmap_.Get());
    POINT position{windowRect.left, windowRect.top};
    SIZE size{width, height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, kShadowStrength, AC_SRC_ALPHA};
    UpdateLayeredWindow(hwnd, target.Get(), &position, &size, source.Get(), &origin, 0, &blend, ULW_ALPHA);
}

} // namespace tarnvel
