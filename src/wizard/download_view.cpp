#include "wizard/download_view.h"

#include "controls/image_loader.h"
#include "controls/paint_helpers.h"
#include "resources/picture_ids.h"
#include "wizard/skin.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

namespace tarnvel {

namespace {

constexpr UINT kRightAligned = kLabelFormat | DT_RIGHT; // 0x8806
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_GROUP;

} // namespace

enum class ControlKind { Image, Label, Link, Bar, PathBox, Button };

struct CTarnvelAssistantDownloadView::ControlSpec {
    ControlKind kind;
    int id;
    RECT rect; // images and the path box: only the top-left corner counts
    FontKind font = FontKind::F12;
    std::uint32_t colour = colours::kBlack;
    const wchar_t* text = nullptr;
    int picture = 0;
    bool rightAligned = false;
    bool hidden = false;
    bool tabStop = false;
};

LRESULT CTarnvelAssistantDownloadView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        Build();
        return 0;
    case WM_TIMER:
        logic_.OnTimer(static_cast<unsigned>(wParam));
        return 0;
    case WM_DEVICECHANGE:
        if (const std::optional<UsbInterfaceChange> change = ReadUsbInterfaceChange(wParam, lParam))
            logic_.OnUsbDeviceChange(change->arrived, change->interfacePath);
        return TRUE;
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

CTarnvelAssistantDownloadView::CTarnvelAssistantDownloadView(StatusViewLogic& logic,
                                                             DeviceProblemFn deviceProblem)
    : deviceProblem_(deviceProblem), logic_(logic) {
    logic_.Attach(this);
}

CTarnvelAssistantDownloadView::~CTarnvelAssistantDownloadView() {
    usbWatch_.Reset(); // before the window it names
    Destroy();
    logic_.Attach(nullptr);
}

WindowClass CTarnvelAssistantDownloadView::RegisterWindowClass() {
    return RegisterOwnClass(L"TarnvelAssistantDownloadView", 0, nullptr, LoadCursorW(nullptr, IDC_ARROW));
}

std::span<const CTarnvelAssistantDownloadView::ControlSpec> CTarnvelAssistantDownloadView::Rows() {
    using K = ControlKind;
    using F = FontKind;
    // Rows in creation order, which is the order of the tab stops: on page 0 the path box, "浏览",
    // the community link (then the main window's next button). Every control starts a group of its
    // own, so the arrow keys never move the focus onto a label or a picture.
    static const ControlSpec rows[] = {
        // Page 0: choose the package.
        {.kind = K::Image,
         .id = ids::kPhoneDownImage,
         .rect = {80, 60, 80, 60},
         .text = texts::kPhoneDownloadPicture,
         .picture = kPicturePhoneDownload},
        {.kind = K::Label,
         .id = ids::kSlogan,
         .rect = {270, 48, 720, 140},
         .font = F::F24B,
         .colour = colours::kRed,
         .text = texts::kSlogan},
        {.kind = K::Label,
         .id = ids::kCommunityHint,
         .rect = {270, 92, 720, 400},
         .font = F::F14,
         .text = texts::kCommunityHint},
        {.kind = K::Label,
         .id = ids::kCommunityLabel,
         .rect = {270, 111, 720, 400},
         .font = F::F14,
         .text = texts::kCommunityLabel},
        {.kind = K::Label,
         .id = ids::kChooseHeading,
         .rect = {270, 175, 720, 240},
         .font = F::F24B,
         .colour = colours::kRust,
         .text = texts::kChooseHeading},
        {.kind = K::PathBox, .id = ids::kPathBox, .rect = {270, 219, 270, 219}, .font = F::F14},
        {.kind = K::Button,
         .id = ids::kBrowse,
         .rect = {614, 219, 660, 249},
         .font = F::F14,
         .text = texts::kBrowse,
         .picture = kPictureBrowseButton,
         .tabStop = true},
        {.kind = K::Link,
         .id = ids::kCommunityLink,
         .rect = {480, 111, 650, 130},
         .font = F::F14U,
         .colour = colours::kBlue,
         .text = texts::kCommunityLink,
         .tabStop = true},
        {.kind = K::Label,
         .id = ids::kVerifyHint,
         .rect = {270, 300, 550, 400},
         .font = F::F16,
         .text = texts::kVerifyHint},
        // Page 1: verification and upgrade.
        {.kind = K::Image,
         .id = ids::kPhoneUpImage,
         .rect = {800, 65, 800, 65},
         .text = texts::kPhoneUpgradePicture,
         .picture = kPicturePhoneUpgrade},
        {.kind = K::Label,
         .id = ids::kVerifyHeading,
         .rect = {990, 48, 1180, 73},
         .font = F::F24B,
         .colour = colours::kRust,
         .text = texts::kVerifyHeading},
        {.kind = K::Label, .id = ids::kPrepareLine, .rect = {990, 92, 1280, 114}, .text = texts::kPreparing},
        {.kind = K::Label,
         .id = ids::kPreparePercent,
         .rect = {1340, 92, 1380, 114},
         .text = L"0%",
         .rightAligned = true},
        {.kind = K::Bar, .id = ids::kPrepareBar, .rect = {990, 117, 1380, 140}},
        {.kind = K::Label,
         .id = ids::kPatienceHint,
         .rect = {990, 140, 1380, 155},
         .text = texts::kPatienceHint},
        {.kind = K::Label,
         .id = ids::kUpgradeHeading,
         .rect = {990, 175, 1180, 200},
         .font = F::F24B,
         .colour = colours::kRust,
         .text = texts::kUpgradeHeading},
        {.kind = K::Label,
         .id = ids::kUpgradeLine,
         .rect = {990, 219, 1280, 241},
         .text = texts::kWaitingForVerify},
        {.kind = K::Label,
         .id = ids::kUpgradePercent,
         .rect = {1340, 219, 1380, 241},
         .text = L"0%",
         .rightAligned = true},
        {.kind = K::Bar, .id = ids::kUpgradeBar, .rect = {990, 244, 1380, 267}},
        {.kind = K::Link,
         .id = ids::kConnectLink,
         .rect = {990, 267, 1380, 282},
         .font = F::F12U,
         .colour = colours::kBlue,
         .text = texts::kConnectLink,
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kKeepConnectedHint,
         .rect = {990, 267, 1380, 282},
         .text = texts::kKeepConnected,
         .hidden = true},
        // After a long wait for the phone, under the bar where the upgrade's own line shows later.
        {.kind = K::Label,
         .id = ids::kNoPhoneHeading,
         .rect = {990, 270, 1380, 285},
         .font = F::F12,
         .colour = colours::kRust,
         .text = texts::kNoPhoneHeading,
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kNoPhoneHintFirst,
         .rect = {990, 286, 1380, 301},
         .text = texts::kNoPhoneHints[0],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kNoPhoneHintFirst + 1,
         .rect = {990, 302, 1380, 317},
         .text = texts::kNoPhoneHints[1],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kNoPhoneHintFirst + 2,
         .rect = {990, 318, 1380, 333},
         .text = texts::kNoPhoneHints[2],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kTimeLeft,
         .rect = {1240, 267, 1380, 282},
         .text = L"",
         .rightAligned = true,
         .hidden = true},
        // Page 2: the result.
        {.kind = K::Image,
         .id = ids::kResultImage,
         .rect = {1520, 65, 1520, 65},
         .text = texts::kResultPicture,
         .picture = kPictureSuccessFace},
        {.kind = K::Label,
         .id = ids::kResultHeading,
         .rect = {1710, 105, 2160, 300},
         .font = F::F24B,
         .text = texts::kSucceeded},
        {.kind = K::Label,
         .id = ids::kRomVersion,
         .rect = {1710, 175, 2160, 300},
         .font = F::F16,
         .colour = colours::kBlue,
         .text = texts::kRomVersionPlaceholder},
        {.kind = K::Label,
         .id = ids::kHelpFirst,
         .rect = {1710, 145, 2160, 160},
         .text = texts::kHelpLines[0],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kHelpFirst + 1,
         .rect = {1710, 170, 2160, 185},
         .text = texts::kHelpLines[1],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kHelpFirst + 2,
         .rect = {1710, 190, 2160, 205},
         .text = texts::kHelpLines[2],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kHelpFirst + 3,
         .rect = {1710, 210, 2160, 225},
         .text = texts::kHelpLines[3],
         .hidden = true},
        {.kind = K::Label,
         .id = ids::kHelpFirst + 4,
         .rect = {1710, 235, 2160, 250},
         .text = texts::kHelpLines[4],
         .hidden = true},
        {.kind = K::Link,
         .id = ids::kLogLink,
         .rect = {}, // LogLinkRect
         .font = F::F12U,
         .colour = colours::kBlue,
         .text = texts::kLogLink,
         .hidden = true,
         .tabStop = true},
    };
    return rows;
}

void CTarnvelAssistantDownloadView::Build() {
    for (const ControlSpec& row : Rows())
        CreateControl(row);
    Layout();
}

void CTarnvelAssistantDownloadView::ApplyDpi(int dpi) {
    dpi_ = dpi;
    Layout();
}

void CTarnvelAssistantDownloadView::Layout() {
    struct FontSpec {
        int height;
        int width;
        int weight;
        bool underline;
    };
    static constexpr FontSpec kFonts[] = {{12, 6, FW_NORMAL, false}, {12, 6, FW_NORMAL, true},
                                          {14, 7, FW_NORMAL, false}, {14, 7, FW_NORMAL, true},
                                          {16, 8, FW_NORMAL, false}, {24, 12, FW_BOLD, false}};
    // The controls take the new fonts before the old ones go.
    std::array<UniqueFont, static_cast<std::size_t>(FontKind::Count)> old = std::move(fonts_);
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        const FontSpec& f = kFonts[i];
        fonts_[i].Reset(CreateWizardFont(dpi_, kUiFace, f.height, f.width, f.weight, f.underline));
    }
    for (const ControlSpec& row : Rows())
        LayOutControl(row);
}

void CTarnvelAssistantDownloadView::CreateControl(const ControlSpec& row) {
    const HWND view = Handle();
    const auto id = static_cast<UINT_PTR>(row.id);
    const DWORD style = kChildStyle | (row.tabStop ? WS_TABSTOP : 0);
    HWND created = nullptr;
    switch (row.kind) {
    case ControlKind::Image: {
        auto image = std::make_unique<CThemedImageCtrl>();
        created = image->Create(view, RECT{}, row.text, kChildStyle, 0, id); // the text describes it
        image->backgroundSource = view;
        images_[row.id] = {std::move(image), row.picture};
        break;
    }
    case ControlKind::Label:
    case ControlKind::Link: {
        const bool link = row.kind == ControlKind::Link;
        auto label = std::make_unique<CThemedLabelCtrl>();
        created = label->Create(view, RECT{}, L"", style | (link ? SS_NOTIFY : 0), 0, id);
        label->backgroundSource = view;
        SetLabelColour(*label, row.colour);
        label->textFormat = row.rightAligned ? kRightAligned : kLabelFormat;
        label->SetText(row.text);
        if (link && row.id != ids::kLogLink) // the log link gets its run's file with the result
            label->SetLink(true,
                           row.id == ids::kCommunityLink ? texts::kCommunityAddress : texts::kConnectAddress);
        labels_[row.id] = std::move(label);
        break;
    }
    case ControlKind::Bar: {
        auto bar = std::make_unique<CStripeProgress>();
        bar->backgroundSource = view;
        created = bar->Create(view, RECT{}, L"", kChildStyle, 0, id);
        bars_[row.id] = std::move(bar);
        break;
    }
    case ControlKind::PathBox:
        pathBox_.backgroundSource = view;
        pathBox_.editId = static_cast<UINT>(row.id);
        // The edit inside is the tab stop: the dialog manager looks into the host for it.
        created = pathBox_.Create(view, RECT{}, L"", kChildStyle, WS_EX_CONTROLPARENT, id);
        pathBox_.textColour = row.colour;
        break;
    case ControlKind::Button:
        created = browseButton_.Create(view, RECT{}, row.text, style, 0, id);
        break;
    }
    if (created && row.hidden)
        ShowWindow(created, SW_HIDE);
}

void CTarnvelAssistantDownloadView::LayOutControl(const ControlSpec& row) {
    const HWND view = Handle();
    const HWND control = Control(row.id);
    if (!control)
        return;
    const auto font = reinterpret_cast<WPARAM>(Font(row.font));
    switch (row.kind) {
    case ControlKind::Image: {
        ImageEntry& image = images_[row.id];
        MoveForDpi(control, row.rect, dpi_);
        // The control keeps a copy.
        const UniqueBitmap picture = LoadPngPictureForDpi(PictureIdsAtScales(image.picture), dpi_);
        ShowPictureIn(*image.control, picture.Get());
        break;
    }
    case ControlKind::Label:
    case ControlKind::Link:
        PlaceForDpi(control, row.id == ids::kLogLink ? LogLinkRect() : row.rect, dpi_);
        SendMessageW(control, WM_SETFONT, font, TRUE);
        break;
    case ControlKind::Bar: {
        CStripeProgress& bar = *bars_[row.id];
        SkinBar(bar, kPictureBarTrack, kPictureBarFill, kStatusBarSkin, dpi_);
        PlaceForDpi(control, row.rect, dpi_);
        bar.SetPercent(bar.Percent()); // composed again with the new pictures
        break;
    }
    case ControlKind::PathBox: {
        pathBox_.SetPictures(
            LoadPngPictureForDpi(PictureIdsAtScales(kPicturePathBox), dpi_).Release(),
            LoadPngPictureForDpi(PictureIdsAtScales(kPicturePathBoxFocused), dpi_).Release());
        pathBox_.pictureBorders = ScaleForDpi(Margins{1, 1, 1, 1}, dpi_);
        pathBox_.textMargins = ScaleForDpi(Margins{5, 6, 5, 6}, dpi_);
        MoveForDpi(control, row.rect, dpi_);
        const SIZE size = BitmapSize(pathBox_.FirstPicture());
        SetClientSize(control, size.cx, size.cy, true);
        SendMessageW(pathBox_.Edit(), WM_SETFONT, font, TRUE);
        break;
    }
    case ControlKind::Button: {
        UniqueBitmap strip = LoadPngPictureForDpi(PictureIdsAtScales(row.picture), dpi_);
        SkinButton(browseButton_, view, strip.Get(), true, dpi_);
        browseStrip_ = std::move(strip); // the button no longer draws the old one
        PlaceForDpi(control, row.rect, dpi_);
        SendMessageW(control, WM_SETFONT, font, TRUE);
        break;
    }
    }
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
    const HWND control = Control(id);
    if (!control)
        return;
    if (pageResting_[static_cast<std::size_t>(PageOf(control))]) {
        // Its page is off screen: the control shows when the page comes back.
        if (visible)
            parked_.insert(control);
        else
            parked_.erase(control);
        return;
    }
    ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

RECT CTarnvelAssistantDownloadView::LogLinkRect() const {
    // Right under the result's text: a failure's help lines, or a success's heading alone.
    return logLinkUnderHelp_ ? RECT{1710, 265, 1800, 280} : RECT{1710, 150, 1800, 165};
}

void CTarnvelAssistantDownloadView::ShowLogLink(const std::wstring& logFile, bool underHelpLines) {
    logLinkUnderHelp_ = underHelpLines;
    if (CThemedLabelCtrl* link = Label(ids::kLogLink)) {
        PlaceForDpi(link->Handle(), LogLinkRect(), dpi_);
        // The file manager's own way to open a folder with one file selected in it.
        link->SetLink(!logFile.empty(), L"explorer.exe", L"/select,\"" + logFile + L"\"");
        Show(ids::kLogLink, !logFile.empty());
    }
}

int CTarnvelAssistantDownloadView::PageOf(HWND control) const {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&rect), 2);
    const int page = rect.left / ScaleForDpi(kPageWidth, dpi_);
    return page < 0 ? 0 : (page >= kPageCount ? kPageCount - 1 : page);
}

void CTarnvelAssistantDownloadView::RestOnPage(int page) {
    if (!IsPage(page))
        return;
    if (pageResting_[static_cast<std::size_t>(page)])
        ShowAllPages(); // from one page at rest straight to another
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto of = static_cast<std::size_t>(PageOf(child));
        if (static_cast<int>(of) == page || pageResting_[of])
            continue;
        // The style, not IsWindowVisible: at the start the main window is not shown yet.
        if (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) {
            parked_.insert(child);
            ShowWindow(child, SW_HIDE);
        }
    }
    for (int p = 0; p < kPageCount; ++p)
        pageResting_[static_cast<std::size_t>(p)] = p != page;
}

void CTarnvelAssistantDownloadView::ShowAllPages() {
    pageResting_.fill(false);
    for (const HWND control : parked_)
        ShowWindow(control, SW_SHOW);
    parked_.clear();
}

void CTarnvelAssistantDownloadView::SetBar(int id, int percent) {
    if (CStripeProgress* bar = Bar(id))
        bar->SetPercent(percent);
}

void CTarnvelAssistantDownloadView::SetPicture(int id, int picture) {
    const auto image = images_.find(id);
    if (image == images_.end())
        return;
    image->second.picture = picture;
    // The control keeps a copy.
    const UniqueBitmap loaded = LoadPngPictureForDpi(PictureIdsAtScales(picture), dpi_);
    ShowPictureIn(*image->second.control, loaded.Get());
}

void CTarnvelAssistantDownloadView::StartTimer(unsigned id, unsigned periodMs) {
    if (Handle())
        SetTimer(Handle(), id, periodMs, nullptr);
}

void CTarnvelAssistantDownloadView::StopTimer(unsigned id) {
    if (Handle())
        KillTimer(Handle(), id);
}

void CTarnvelAssistantDownloadView::WatchUsbDevices(bool on) {
    if (!on)
        usbWatch_.Reset();
    else if (!usbWatch_ && Handle())
        usbWatch_ = tarnvel::WatchUsbDevices(Handle());
}

std::optional<std::uint32_t> CTarnvelAssistantDownloadView::UsbDeviceProblem(std::wstring_view instanceId) {
    return deviceProblem_ ? deviceProblem_(instanceId) : std::nullopt;
}

} // namespace tarnvel
