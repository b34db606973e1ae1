#include "wizard/status_view.h"

#include "controls/image_loader.h"
#include "controls/paint_helpers.h"
#include "resources/picture_ids.h"
#include "wizard/skin.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

namespace tarnvel {

namespace {

constexpr UINT kLabelFormat = DT_END_ELLIPSIS | DT_NOPREFIX | DT_VCENTER; // 0x8804
constexpr UINT kRightAligned = kLabelFormat | DT_RIGHT;                   // 0x8806
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE;

} // namespace

enum class ControlKind { Image, Label, Link, Bar, PathBox, Button };

struct CTarnvelAssistantDownloadView::ControlSpec {
    ControlKind kind;
    int id;
    RECT rect; // images and the path box: only the top-left corner counts
    FontKind font;
    std::uint32_t colour;
    const wchar_t* text;
    int picture;
    bool rightAligned;
    bool hidden;
};

LRESULT CTarnvelAssistantDownloadView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        Build();
        return 0;
    case WM_TIMER:
        logic_.OnTimer(static_cast<unsigned>(wParam));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == ids::kBrowse && HIWORD(wParam) == BN_CLICKED)
            return OnBrowsePackage();
        break;
    default:
        break;
    }
    LRESULT result = 0;
    const HWND hwnd = Handle();
    // The view's own drawing is the menu colour; every control draws itself.
    if (HandleDoubleBufferedPaint(hwnd, message, wParam, result, [hwnd](HDC dc) {
            RECT client{};
            GetClientRect(hwnd, &client);
            FillRect(dc, &client, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
        }))
        return result;
    if (ReflectNotification(hwnd, message, wParam, lParam, result))
        return result;
    return DefaultProc(message, wParam, lParam);
}

CTarnvelAssistantDownloadView::CTarnvelAssistantDownloadView() noexcept
    : WindowBase(&CTarnvelAssistantDownloadView::Class) {}

CTarnvelAssistantDownloadView::~CTarnvelAssistantDownloadView() {
    Destroy();
}

const WindowClass& CTarnvelAssistantDownloadView::Class() {
    static const WindowClass windowClass =
        RegisterOwnClass(L"TarnvelAssistantDownloadView", 0, nullptr, LoadCursorW(nullptr, IDC_ARROW));
    return windowClass;
}

void CTarnvelAssistantDownloadView::Build() {
    struct FontSpec {
        int height;
        int width;
        int weight;
        bool underline;
    };
    static constexpr FontSpec kFonts[] = {{12, 6, FW_NORMAL, false}, {12, 6, FW_NORMAL, true},
                                          {14, 7, FW_NORMAL, false}, {14, 7, FW_NORMAL, true},
                                          {16, 8, FW_NORMAL, false}, {24, 12, FW_BOLD, false}};
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        const FontSpec& f = kFonts[i];
        fonts_[i].Reset(CreateWizardFont(kUiFace, f.height, f.width, f.weight, f.underline));
    }

    using K = ControlKind;
    using F = FontKind;
    const std::uint32_t black = colours::kBlack;
    const ControlSpec rows[] = {
        // Page 0: choose the package.
        {K::Image,
         ids::kPhoneDownImage,
         {80, 60, 80, 60},
         F::F12,
         black,
         nullptr,
         kPicturePhoneDownload,
         false,
         false},
        {K::Label,
         ids::kSlogan,
         {270, 48, 720, 140},
         F::F24B,
         colours::kRed,
         texts::kSlogan,
         0,
         false,
         false},
        {K::Label,
         ids::kCommunityHint,
         {270, 92, 720, 400},
         F::F14,
         black,
         texts::kCommunityHint,
         0,
         false,
         false},
        {K::Label,
         ids::kCommunityLabel,
         {270, 111, 720, 400},
         F::F14,
         black,
         texts::kCommunityLabel,
         0,
         false,
         false},
        {K::Link,
         ids::kCommunityLink,
         {480, 111, 650, 130},
         F::F14U,
         colours::kBlue,
         texts::kCommunityLink,
         0,
         false,
         false},
        {K::Label,
         ids::kChooseHeading,
         {270, 175, 720, 240},
         F::F24B,
         colours::kRust,
         texts::kChooseHeading,
         0,
         false,
         false},
        {K::PathBox, ids::kPathBox, {270, 219, 270, 219}, F::F14, black, nullptr, 0, false, false},
        {K::Button,
         ids::kBrowse,
         {614, 219, 660, 249},
         F::F14,
         black,
         texts::kBrowse,
         kPictureBrowseButton,
         false,
         false},
        {K::Label,
         ids::kVerifyHint,
         {270, 300, 550, 400},
         F::F16,
         black,
         texts::kVerifyHint,
         0,
         false,
         false},
        // Page 1: verification and upgrade.
        {K::Image,
         ids::kPhoneUpImage,
         {800, 65, 800, 65},
         F::F12,
         black,
         nullptr,
         kPicturePhoneUpgrade,
         false,
         false},
        {K::Label,
         ids::kVerifyHeading,
         {990, 48, 1180, 73},
         F::F24B,
         colours::kRust,
         texts::kVerifyHeading,
         0,
         false,
         false},
        {K::Label,
         ids::kPrepareLine,
         {990, 92, 1280, 114},
         F::F12,
         black,
         texts::kPreparing,
         0,
         false,
         false},
        {K::Label, ids::kPreparePercent, {1340, 92, 1380, 114}, F::F12, black, L"0%", 0, true, false},
        {K::Bar, ids::kPrepareBar, {990, 117, 1380, 140}, F::F12, black, nullptr, 0, false, false},
        {K::Label,
         ids::kPatienceHint,
         {990, 140, 1380, 155},
         F::F12,
         black,
         texts::kPatienceHint,
         0,
         false,
         false},
        {K::Label,
         ids::kUpgradeHeading,
         {990, 175, 1180, 200},
         F::F24B,
         colours::kRust,
         texts::kUpgradeHeading,
         0,
         false,
         false},
        {K::Label,
         ids::kUpgradeLine,
         {990, 219, 1280, 241},
         F::F12,
         black,
         texts::kWaitingForVerify,
         0,
         false,
         false},
        {K::Label, ids::kUpgradePercent, {1340, 219, 1380, 241}, F::F12, black, L"0%", 0, true, false},
        {K::Bar, ids::kUpgradeBar, {990, 244, 1380, 267}, F::F12, black, nullptr, 0, false, false},
        {K::Link,
         ids::kConnectLink,
         {990, 267, 1380, 282},
         F::F12U,
         colours::kBlue,
         texts::kConnectLink,
         0,
         false,
         true},
        {K::Label,
         ids::kKeepConnectedHint,
         {990, 267, 1380, 282},
         F::F12,
         black,
         texts::kKeepConnected,
         0,
         false,
         true},
        {K::Label, ids::kTimeLeft, {1240, 267, 1380, 282}, F::F12, black, L"", 0, true, true},
        // Page 2: the result.
        {K::Image,
         ids::kResultImage,
         {1520, 65, 1520, 65},
         F::F12,
         black,
         nullptr,
         kPictureSuccessFace,
         false,
         false},
        {K::Label,
         ids::kResultHeading,
         {1710, 105, 2160, 300},
         F::F24B,
         black,
         texts::kSucceeded,
         0,
         false,
         false},
        {K::Label,
         ids::kRomVersion,
         {1710, 175, 2160, 300},
         F::F16,
         colours::kBlue,
         texts::kRomVersionPlaceholder,
         0,
         false,
         false},
        {K::Label,
         ids::kHelpFirst,
         {1710, 145, 2160, 160},
         F::F12,
         black,
         texts::kHelpLines[0],
         0,
         false,
         true},
        {K::Label,
         ids::kHelpFirst + 1,
         {1710, 170, 2160, 185},
         F::F12,
         black,
         texts::kHelpLines[1],
         0,
         false,
         true},
        {K::Label,
         ids::kHelpFirst + 2,
         {1710, 190, 2160, 205},
         F::F12,
         black,
         texts::kHelpLines[2],
         0,
         false,
         true},
        {K::Label,
         ids::kHelpFirst + 3,
         {1710, 210, 2160, 225},
         F::F12,
         black,
         texts::kHelpLines[3],
         0,
         false,
         true},
        {K::Label,
         ids::kHelpFirst + 4,
         {1710, 235, 2160, 250},
         F::F12,
         black,
         texts::kHelpLines[4],
         0,
         false,
         true},
    };
    for (const ControlSpec& row : rows)
        CreateControl(row);
}

void CTarnvelAssistantDownloadView::CreateControl(const ControlSpec& row) {
    const HWND view = Handle();
    const auto id = static_cast<UINT_PTR>(row.id);
    const auto font = reinterpret_cast<WPARAM>(Font(row.font));
    HWND created = nullptr;
    switch (row.kind) {
    case ControlKind::Image: {
        UniqueBitmap& picture = pictures_.emplace_back(LoadPngPicture(row.picture));
        auto image = std::make_unique<CThemedImageCtrl>();
        created = image->Create(view, row.rect, L"", kChildStyle, 0, id);
        image->backgroundSource = view;
        ShowPictureIn(*image, picture.Get());
        images_[row.id] = std::move(image);
        break;
    }
    case ControlKind::Label:
    case ControlKind::Link: {
        const bool link = row.kind == ControlKind::Link;
        auto label = std::make_unique<CThemedLabelCtrl>();
        created = label->Create(view, row.rect, L"", kChildStyle | (link ? SS_NOTIFY : 0), 0, id);
        label->backgroundSource = view;
        SendMessageW(created, WM_SETFONT, font, TRUE);
        SetLabelColour(*label, row.colour);
        label->textFormat = row.rightAligned ? kRightAligned : kLabelFormat;
        label->SetText(row.text);
        if (link)
            label->SetLink(true, row.id == ids::kCommunityLink ? texts::kCommunityAddress
                                                                : texts::kConnectAddress);
        labels_[row.id] = std::move(label);
        break;
    }
    case ControlKind::Bar: {
        auto bar = std::make_unique<CStripeProgress>();
        bar->trackImage.Load(kPictureBarTrack);
        bar->fillImage.Load(kPictureBarFill);
        bar->stripeImage.Load(kPictureBarFill);
        bar->backgroundSource = view;
        created = bar->Create(view, row.rect, L"", kChildStyle, 0, id);
        bar->inset = 0;
        bar->extraWidth = 0;
        bar->fillCap = 0;
        bar->trackCap = 10;
        bar->stripeStep = 5;
        bar->SetPercent(0);
        bars_[row.id] = std::move(bar);
        break;
    }
    case ControlKind::PathBox: {
        pathBox_.backgroundSource = view;
        pathBox_.editId = static_cast<UINT>(row.id);
        created = pathBox_.Create(view, row.rect, L"", kChildStyle, 0, id);
        pathBox_.SetPictures(LoadPngBitmap(kPicturePathBox), LoadPngBitmap(kPicturePathBoxFocused));
        const SIZE size = BitmapSize(pathBox_.FirstPicture());
        SetClientSize(created, size.cx, size.cy, true);
        SendMessageW(pathBox_.Edit(), WM_SETFONT, font, TRUE);
        pathBox_.textColour = row.colour;
        pathBox_.textMargins = {5, 6, 5, 6};
        break;
    }
    case ControlKind::Button: {
        const UniqueBitmap& strip = pictures_.emplace_back(LoadPngPicture(row.picture));
        created = browseButton_.Create(view, row.rect, row.text, kChildStyle, 0, id);
        SendMessageW(created, WM_SETFONT, font, TRUE);
        SkinButton(browseButton_, view, strip.Get(), true);
        break;
    }
    }
    if (created && row.hidden)
        ShowWindow(created, SW_HIDE);
}

std::wstring CTarnvelAssistantDownloadView::PathText() const {
    return pathBox_.GetText();
}

HWND CTarnvelAssistantDownloadView::Control(int id) const {
    return GetDlgItem(Handle(), id);
}

CThemedLabelCtrl* CTarnvelAssistantDownloadView::Label(int id) const {
    const auto found = labels_.find(id);
    return found == labels_.end() ? nullptr : found->second.get();
}

CStripeProgress* CTarnvelAssistantDownloadView::Bar(int id) const {
    const auto found = bars_.find(id);
    return found == bars_.end() ? nullptr : found->second.get();
}

void CTarnvelAssistantDownloadView::SetText(int id, std::wstring_view text) {
    if (CThemedLabelCtrl* label = Label(id))
        label->SetText(std::wstring(text));
}

void CTarnvelAssistantDownloadView::SetColour(int id, std::uint32_t colour) {
    if (CThemedLabelCtrl* label = Label(id))
        SetLabelColour(*label, colour);
}

void CTarnvelAssistantDownloadView::Show(int id, bool visible) {
    if (const HWND control = Control(id))
        ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void CTarnvelAssistantDownloadView::SetBar(int id, int percent) {
    if (CStripeProgress* bar = Bar(id))
        bar->SetPercent(percent);
}

void CTarnvelAssistantDownloadView::SetPicture(int id, int picture) {
    const auto image = images_.find(id);
    if (image == images_.end())
        return;
    const UniqueBitmap loaded = LoadPngPicture(picture); // the control keeps a copy
    ShowPictureIn(*image->second, loaded.Get());
}

void CTarnvelAssistantDownloadView::StartTimer(unsigned id, unsigned periodMs) {
    if (Handle())
        SetTimer(Handle(), id, periodMs, nullptr);
}

void CTarnvelAssistantDownloadView::StopTimer(unsigned id) {
    if (Handle())
        KillTimer(Handle(), id);
}

} // namespace tarnvel
