#include "controls/custom_button.h"

#include "controls/image_loader.h"
#include "controls/paint_helpers.h"

namespace tarnvel {

namespace {

constexpr int kMaxCaptionLength = 511;
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

} // namespace

WindowClass CCustomButton::RegisterWindowClass() {
    return RegisterSuperclass(L"CCustomButton", L"Button");
}

LRESULT CCustomButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOVE:
    case WM_SIZE:
    case WM_GETOBJECT:
        return SkinnedControl::HandleMessage(message, wParam, lParam);
    case WM_SETTEXT: {
        // The platform button stores and redraws the caption.
        const LRESULT stored = DefaultProc(message, wParam, lParam);
        if (stored)
            NotifyChange(EVENT_OBJECT_NAMECHANGE);
        return stored;
    }
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wParam);
        DefaultProc(message, wParam, lParam);
        return 0;
    case WM_UPDATEUISTATE: {
        // The focus cue comes and goes with the window's UI state.
        NoteUiState(wParam);
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if (GetFocus() == Handle())
            InvalidateRect(Handle(), nullptr, FALSE);
        return result;
    }
    case WM_NOTIFY + kReflectedMessageBase: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
            bool handled = false;
            const LRESULT result = HandleCustomDraw(*reinterpret_cast<const NMCUSTOMDRAW*>(lParam), handled);
            if (handled)
                return result;
        }
        return DefaultProc(message, wParam, lParam);
    }
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

const wchar_t* CCustomButton::AccessibleClass() const {
    return WC_BUTTONW;
}

LRESULT CCustomButton::HandleCustomDraw(const NMCUSTOMDRAW& draw, bool& handled) {
    handled = true;
    switch (draw.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_SKIPDEFAULT;
    case CDDS_PREERASE:
        return DrawButton(draw.hdc, draw.rc, draw.uItemState);
    case CDDS_POSTPAINT:
    case CDDS_POSTERASE:
    case CDDS_ITEMPREPAINT:
    case CDDS_ITEMPOSTPAINT:
    case CDDS_ITEMPREERASE:
    case CDDS_ITEMPOSTERASE:
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        return 0;
    default:
        handled = false;
        return 0;
    }
}

namespace {

// Pressed wins over hot, hot over normal.
template <typename T> T ForHotAndPressed(UINT itemState, T normal, T hot, T pressed) {
    if (itemState & CDIS_SELECTED)
        return pressed;
    return (itemState & CDIS_HOT) ? hot : normal;
}

} // namespace

int CCustomButton::FrameFor(UINT itemState) const noexcept {
    if (itemState & CDIS_DISABLED)
        return frameDisabled;
    return ForHotAndPressed(itemState, frameNormal, frameHover, framePressed);
}

COLORREF CCustomButton::CaptionColourFor(UINT itemState) const noexcept {
    return ForHotAndPressed(itemState, textColourNormal, textColourHover, textColourPressed);
}

LRESULT CCustomButton::DrawButton(HDC dc, const RECT& rect, UINT itemState) {
    if (!IsWindowVisible(backgroundSource))
        return CDRF_SKIPDEFAULT;
    FillBackground(dc, rect);

    const SIZE stripSize = BitmapSize(strip);
    if (strip && frameCount > 0) {
        const int frameWidth = stripSize.cx / frameCount;
        const int frame = FrameFor(itemState);
        const RECT source{frameWidth * frame, 0, frameWidth * (frame + 1), stripSize.cy};
        DrawNineGrid(dc, rect, strip, source, 255, margins);
    }

    wchar_t caption[kMaxCaptionLength + 1] = {};
    const int length = captionShown ? GetWindowTextW(Handle(), caption, kMaxCaptionLength + 1) : 0;
    if (length > 0) {
        SelectScope font(dc, font_);
        const int previousMode = SetBkMode(dc, TRANSPARENT);
        const COLORREF previousColour = SetTextColor(dc, CaptionColourFor(itemState));
        RECT textRect = rect;
        DrawTextW(dc, caption, length, &textRect, kCaptionFormat);
        SetTextColor(dc, previousColour);
        SetBkMode(dc, previousMode);
    }
    if (ShowsFocusCue()) {
        RECT cue = rect;
        InflateRect(&cue, -focusCueInset, -focusCueInset);
        DrawDottedFrame(dc, cue, CaptionColourFor(itemState));
    }
    return CDRF_SKIPDEFAULT;
}

} // namespace tarnvel
