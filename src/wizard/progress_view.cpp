#include "wizard/progress_view.h"

#include "controls/paint_helpers.h"
#include "resources/picture_ids.h"
#include "wizard/skin.h"
#include "wizard/step_look.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

namespace tarnvel {

namespace {

constexpr COLORREF kBackground = RGB(0xFF, 0xFF, 0xFF);

struct StepLabel {
    const wchar_t* text;
    RECT rect;
    int id;
};

// The third label reaches 4 pixels beyond the band's right edge and is clipped there.
constexpr StepLabel kLabels[] = {
    {texts::kStepChoose, {23, 20, 100, 40}, ids::kStepFirst},
    {texts::kStepUpgrade, {330, 20, 540, 40}, ids::kStepSecond},
    {texts::kStepDone, {670, 20, 720, 40}, ids::kStepThird},
};

constexpr RECT kBarRect{20, 40, 698, 43};

} // namespace

CProgressView::~CProgressView() {
    Destroy();
}

WindowClass CProgressView::RegisterWindowClass() {
    return RegisterOwnClass(L"TarnvelProgressView", 0, nullptr, LoadCursorW(nullptr, IDC_ARROW));
}

// Each control is a group of its own: the arrow keys never move the focus onto one of them.
void CProgressView::Build() {
    const StepLook initial = InitialStepLook();
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        CThemedLabelCtrl& label = labels_[i];
        label.Create(Handle(), RECT{}, L"", WS_CHILD | WS_VISIBLE | WS_GROUP, 0,
                     static_cast<UINT_PTR>(kLabels[i].id));
        label.textFormat = kLabelFormat;
        SetLabelColour(label, initial.labelColours[i]);
        label.SetText(kLabels[i].text);
    }
    bar_.backgroundSource = Handle();
    bar_.Create(Handle(), RECT{}, L"", WS_CHILD | WS_VISIBLE | WS_GROUP, 0,
                static_cast<UINT_PTR>(ids::kStepBar));
    Layout();
    bar_.SetPercent(initial.barPercent);
}

void CProgressView::Layout() {
    UniqueFont font(CreateWizardFont(dpi_, L"Arial", 12, 6, FW_NORMAL));
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        PlaceForDpi(labels_[i].Handle(), kLabels[i].rect, dpi_);
        SendMessageW(labels_[i].Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    }
    font_ = std::move(font); // the labels no longer use the old one
    SkinBar(bar_, kPictureStepTrack, kPictureStepFill, kStepBarSkin, dpi_);
    PlaceForDpi(bar_.Handle(), kBarRect, dpi_);
}

void CProgressView::ApplyDpi(int dpi) {
    dpi_ = dpi;
    Layout();
    bar_.SetPercent(bar_.Percent()); // composed again with the new pictures
}

void CProgressView::SetStep(int step) {
    const std::optional<StepLook> look = StepLookOf(step);
    if (!look)
        return;
    bar_.SetPercent(look->barPercent);
    for (std::size_t i = 0; i < labels_.size(); ++i)
        SetLabelColour(labels_[i], look->labelColours[i]);
}

LRESULT CProgressView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        Build();
        return 0;
    }
    LRESULT result = 0;
    const HWND hwnd = Handle();
    if (HandleDoubleBufferedPaint(hwnd, message, wParam, result, [hwnd](HDC dc) {
            RECT client{};
            GetClientRect(hwnd, &client);
            UniqueBrush white(CreateSolidBrush(kBackground));
            FillRect(dc, &client, white.Get());
        }))
        return result;
    if (ReflectNotification(hwnd, message, wParam, lParam, result))
        return result;
    return DefaultProc(message, wParam, lParam);
}

} // namespace tarnvel
