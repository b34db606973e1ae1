#include "wizard/main_dlg.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "controls/paint_helpers.h"
#include "download/download_controller.h"
#include "resources/picture_ids.h"
#include "resources/resource_ids.h"
#include "wizard/hook_queue.h"
#include "wizard/skin.h"
#include "wizard/status_view.h"
#include "wizard/window_shape.h"
#include "wizard/wizard_hooks.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <shobjidl.h>
#include <windowsx.h>

namespace tarnvel {

namespace {

constexpr RECT kStepViewRect{2, 60, 718, 103};
constexpr RECT kPageContainerRect{2, 104, 718, 438};
constexpr DWORD kHostStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; // 0x52000000
constexpr DWORD kHostExStyle = WS_EX_WINDOWEDGE;                      // 0x100
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE;
constexpr UINT kLabelFormat = DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS; // 0x8804
constexpr COLORREF kLayerKey = RGB(0, 0, 0xFF);
constexpr COLORREF kShapeKey = RGB(0, 0, 0);

// Messages whose answer a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON;
}

} // namespace

CMainDlg::CMainDlg() : pageContainer_([] { return std::make_unique<CTarnvelAssistantDownloadView>(); }) {}

CMainDlg::~CMainDlg() {
    if (hwnd_)
        DestroyWindow(hwnd_);
}

bool CMainDlg::Create() {
    hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kMainDialogTemplate), nullptr,
                               &CMainDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

INT_PTR CALLBACK CMainDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<CMainDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CMainDlg*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    }
    if (!self)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        result = FALSE; // no exception crosses into Windows
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR CMainDlg::Answer(LRESULT result) {
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CMainDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_NCHITTEST:
        return Answer(HitTest(lParam));
    case WM_PAINT:
        if (wParam) {
            Draw(reinterpret_cast<HDC>(wParam));
        } else {
            PaintDc paint(hwnd_);
            Draw(paint.Get());
        }
        return FALSE; // the default handling follows
    case WM_PRINTCLIENT:
        Draw(reinterpret_cast<HDC>(wParam));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || ((LOWORD(wParam) == ids::kNext || LOWORD(wParam) == ids::kBack) &&
                                           HIWORD(wParam) == BN_CLICKED)) {
            OnCommand(wParam);
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == timers::kSlide) {
            flow_.OnSlideTick();
            return TRUE;
        }
        break;
    case kMsgHookWork:
        TakeHookWork();
        return TRUE;
    case WM_QUERYENDSESSION:
        UpdateSessionGuard();
        return Answer(sessionGuard_.Protecting() ? FALSE : TRUE);
    case WM_ENDSESSION:
        // The session ends and the process with it: stop the engine and write the logs out first.
        if (wParam)
            ShutDownController();
        return Answer(0);
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        if (taskbarCreatedMessage_ && message == taskbarCreatedMessage_) {
            ConnectTaskbar();
            return Answer(0);
        }
        break;
    }
    LRESULT reflected = 0;
    if (hwnd_ && ReflectNotification(hwnd_, message, wParam, lParam, reflected))
        return AnswersDirectly(message) ? static_cast<INT_PTR>(reflected) : Answer(reflected);
    return FALSE;
}

void CMainDlg::OnInitDialog() {
    // The hooks reach the window through the queue; publish it before the controller exists.
    const HWND hwnd = hwnd_;
    WizardHookQueue().Attach([hwnd] { return PostMessageW(hwnd, kMsgHookWork, 0, 0) != FALSE; });

    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(hwnd_, kLayerKey, 255, LWA_ALPHA);

    if (shadow_.CreateFor(hwnd_)) {
        shadow_.shadowSize = 15;
        shadow_.inset = 5;
        shadow_.placementMode = 4;
    }

    if (MessageLoop* loop = AppModule::Instance().CurrentThreadLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    SetWindowTextW(hwnd_, texts::kWindowTitle);
    smallIcon_.reset(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIcon),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
    if (smallIcon_)
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    background_ = LoadPngPicture(kPictureMainBackground);
    BuildRegionFromBitmap(background_.Get(), kShapeKey);
    PlaceWindowOnScreen();

    titleFont_.Reset(CreateWizardFont(kUiFace, 16, 8, FW_BOLD));
    versionFont_.Reset(CreateWizardFont(kUiFace, 12, 6, FW_BOLD));

    CreateChildren();

    // The shell tells an elevated program about its taskbar button only if it lets the message in.
    taskbarCreatedMessage_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (taskbarCreatedMessage_)
        ChangeWindowMessageFilterEx(hwnd_, taskbarCreatedMessage_, MSGFLT_ALLOW, nullptr);

    flow_.Init();
    controller_ = std::make_unique<DownloadController>();
    controller_->SetHooks(WizardHooks());
    // The guard follows the controller's answer through the same wake-up as the hooks.
    controller_->SetCloseAllowedNotice([] { WizardHookQueue().Nudge(); });
    controller_->LoadEngine();
}

void CMainDlg::BuildRegionFromBitmap(HBITMAP bitmap, COLORREF key) {
    region_.Reset(CreateRectRgn(0, 0, 0, 0));
    const SIZE size = BitmapSize(bitmap);
    if (!bitmap || size.cx <= 0 || size.cy <= 0)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy));
    {
        WindowDc screen(nullptr);
        MemoryDc memory(screen.Get());
        if (!GetDIBits(memory.Get(), bitmap, 0, static_cast<UINT>(size.cy), pixels.data(), &info,
                       DIB_RGB_COLORS))
            return;
    }
    // DIB pixels are 0x00RRGGBB; the key is a COLORREF, 0x00BBGGRR.
    const std::uint32_t keyPixel = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    for (const PixelRun& run : ShapeRuns(pixels.data(), size.cx, size.cy, keyPixel)) {
        UniqueRegion piece(CreateRectRgn(run.left, run.y, run.right, run.y + 1));
        if (!piece || CombineRgn(region_.Get(), region_.Get(), piece.Get(), RGN_OR) == ERROR)
            break; // the region built so far is the shape
    }
}

void CMainDlg::PlaceWindowOnScreen() {
    GetRgnBox(region_.Get(), &regionBox_);
    // The window owns the region it is given: hand it a copy and keep ours for painting.
    UniqueRegion copy(CreateRectRgn(0, 0, 0, 0));
    if (!copy || CombineRgn(copy.Get(), region_.Get(), nullptr, RGN_COPY) == ERROR)
        return;
    if (!SetWindowRgn(hwnd_, copy.Get(), TRUE))
        return;
    (void)copy.Release();
    const SIZE size = BitmapSize(background_.Get());
    const Origin origin =
        CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), size.cx, size.cy);
    SetWindowPos(hwnd_, HWND_NOTOPMOST, origin.x, origin.y, size.cx, size.cy, 0);
    regionApplied_ = true;
}

void CMainDlg::CreateButton(CCustomButton& button, const RECT& rect, const wchar_t* caption, int id,
                            HBITMAP strip, bool textColours) {
    button.Create(hwnd_, rect, caption, kChildStyle, 0, static_cast<UINT_PTR>(id));
    SkinButton(button, hwnd_, strip, textColours);
}

void CMainDlg::CreateChildren() {
    stepView_.Create(hwnd_, kStepViewRect, L"", kHostStyle, kHostExStyle, 0);
    pageContainer_.Create(hwnd_, kPageContainerRect, L"", kHostStyle, kHostExStyle, 0);

    logoPicture_ = LoadPngPicture(kPictureLogoBadge);
    logo_.Create(hwnd_, {17, 12, 17, 12}, L"", kChildStyle, 0, static_cast<UINT_PTR>(ids::kLogo));
    logo_.backgroundSource = hwnd_;
    ShowPictureIn(logo_, logoPicture_.Get());

    struct TitleLine {
        CThemedLabelCtrl& label;
        RECT rect;
        HFONT font;
        COLORREF colour;
        const wchar_t* text;
    };
    const TitleLine lines[] = {
        {titleLabel_, {60, 24, 500, 40}, titleFont_.Get(), colours::kRed, texts::kWindowTitle},
        {versionLabel_, {60, 42, 500, 55}, versionFont_.Get(), colours::kBlack, texts::kVersion},
    };
    for (const TitleLine& line : lines) {
        line.label.Create(hwnd_, line.rect, L"", kChildStyle, 0, static_cast<UINT_PTR>(ids::kTitle));
        line.label.backgroundSource = hwnd_;
        SendMessageW(line.label.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(line.font), TRUE);
        SetLabelColour(line.label, line.colour);
        line.label.textFormat = kLabelFormat;
        line.label.SetText(line.text);
    }

    closeStrip_ = LoadPngPicture(kPictureCloseButton);
    backStrip_ = LoadPngPicture(kPictureBackButton);
    nextStrip_ = LoadPngPicture(kPictureNextButton);
    CreateButton(closeButton_, {658, 0, 718, 60}, L"", ids::kClose, closeStrip_.Get(), false);
    CreateButton(backButton_, {350, 450, 490, 492}, texts::kBack, ids::kBack, backStrip_.Get(), true);
    CreateButton(nextButton_, {530, 450, 670, 492}, texts::kNextAtStart, ids::kNext, nextStrip_.Get(), true);
    ShowWindow(backButton_.Handle(), SW_HIDE);
}

void CMainDlg::Draw(HDC dc) {
    if (!dc || !background_)
        return;
    const SIZE size = BitmapSize(background_.Get());
    WindowDc screen(nullptr);
    MemoryDc memory(screen.Get());
    if (!memory)
        return;
    SelectScope picture(memory.Get(), background_.Get());
    const int saved = SaveDC(dc);
    SelectClipRgn(dc, region_.Get());

    UniqueBrush white(CreateSolidBrush(colours::kWhite));
    FillRect(dc, &regionBox_, white.Get());
    RECT client{};
    GetClientRect(hwnd_, &client);
    DrawNineGrid(dc, client, memory.Get(), RECT{0, 0, size.cx, size.cy}, 255, Margins{1, 1, 1, 1});

    UniqueRegion rounded(CreateRoundRectRgn(regionBox_.left, regionBox_.top, regionBox_.right + 1,
                                            regionBox_.bottom + 1, 15, 15));
    UniqueBrush frame(CreateSolidBrush(colours::kFrame));
    FrameRgn(dc, rounded.Get(), frame.Get(), 2, 2);
    RestoreDC(dc, saved);
}

LRESULT CMainDlg::HitTest(LPARAM lParam) const {
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    RECT client{};
    GetClientRect(hwnd_, &client);
    MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    // The background drags the window; children that take the mouse get it before this is asked.
    return PtInRect(&client, point) ? HTCAPTION : HTNOWHERE;
}

void CMainDlg::OnCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case ids::kNext:
        flow_.OnNext();
        break;
    case ids::kBack:
        flow_.OnBack();
        break;
    default:
        OnClose();
        break;
    }
}

void CMainDlg::OnClose() {
    if (closing_)
        return; // a close question is already open
    closing_ = true;
    bool close = true;
    const auto refuse = [this] {
        MessageBoxW(hwnd_, texts::kCloseRefused, texts::kCloseRefusedCaption, MB_OK);
        return false;
    };
    switch (DecideClose(controller_ != nullptr, controller_ && controller_->IsCloseAllowed())) {
    case CloseAction::Refuse:
        close = refuse();
        break;
    case CloseAction::Ask:
        close = MessageBoxW(hwnd_, texts::kCloseAsk, texts::kCloseAskCaption, MB_YESNO) == IDYES;
        // The phone may have been connected while the question was open: never cut off a write.
        if (close && controller_ && !controller_->IsCloseAllowed())
            close = refuse();
        break;
    case CloseAction::CloseNow:
        break;
    }
    closing_ = false;
    if (!close)
        return;
    ShutDownController();
    DestroyWindow(hwnd_);
    PostQuitMessage(ids::kClose);
}

void CMainDlg::ShutDownController() {
    if (!controller_)
        return;
    controller_->Shutdown();
    controller_.reset();
    UpdateSessionGuard();
}

void CMainDlg::OnDestroy() {
    WizardHookQueue().Detach();
    KillTimer(hwnd_, timers::kSlide);
    ShutDownController();
    taskbar_.reset();
    if (MessageLoop* loop = AppModule::Instance().CurrentThreadLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
}

void CMainDlg::OnIdle() {
    // A wake-up that could not be posted (a full message queue) is made up for here, once the
    // queue has been worked through.
    if (WizardHookQueue().WakeMissed())
        TakeHookWork();
}

void CMainDlg::TakeHookWork() {
    for (const HookWork& work : WizardHookQueue().TakeAll())
        flow_.CarryOut(work);
    UpdateSessionGuard();
}

void CMainDlg::UpdateSessionGuard() {
    const bool closeAllowed = !controller_ || controller_->IsCloseAllowed();
    if (const std::optional<bool> protect = sessionGuard_.Update(closeAllowed))
        ApplySessionProtection(*protect);
}

void CMainDlg::ApplySessionProtection(bool protect) {
    if (protect) {
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        ShutdownBlockReasonCreate(hwnd_, texts::kShutdownBlocked);
    } else {
        SetThreadExecutionState(ES_CONTINUOUS);
        ShutdownBlockReasonDestroy(hwnd_);
    }
}

void CMainDlg::ConnectTaskbar() {
    if (!taskbar_) {
        ITaskbarList3* taskbar = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&taskbar))) ||
            !taskbar)
            return;
        taskbar_.reset(taskbar);
        if (FAILED(taskbar_->HrInit())) {
            taskbar_.reset();
            return;
        }
    }
    ShowTaskbar(flow_.Taskbar());
}

CTarnvelAssistantDownloadView* CMainDlg::View() const {
    return pageContainer_.ContentAs<CTarnvelAssistantDownloadView>();
}

bool CMainDlg::SetPackagePath(std::wstring_view path) {
    return controller_ && controller_->SetPackagePath(path);
}

void CMainDlg::PostCommand(int command) {
    if (controller_)
        controller_->PostCommand(command);
}

void CMainDlg::BeginStop() {
    if (controller_)
        controller_->BeginStop();
}

std::wstring CMainDlg::PackagePathText() {
    return View() ? View()->PathText() : std::wstring();
}

void CMainDlg::OnView(void (StatusViewLogic::*operation)()) {
    if (CTarnvelAssistantDownloadView* view = View())
        (view->Logic().*operation)();
}

void CMainDlg::ShowPathTooLong() {
    OnView(&StatusViewLogic::ShowPathTooLong);
}
void CMainDlg::ShowNoPackage() {
    OnView(&StatusViewLogic::ShowNoPackage);
}
void CMainDlg::ShowPackageUnreadable() {
    OnView(&StatusViewLogic::ShowPackageUnreadable);
}
void CMainDlg::ClearPathNotice() {
    OnView(&StatusViewLogic::ClearPathNotice);
}
void CMainDlg::ShowPreparing() {
    OnView(&StatusViewLogic::ShowPreparing);
}
void CMainDlg::ShowVerifyPassed() {
    OnView(&StatusViewLogic::ShowVerifyPassed);
}
void CMainDlg::ShowVerifyFailed() {
    OnView(&StatusViewLogic::ShowVerifyFailed);
}
void CMainDlg::ShowUpgrading() {
    OnView(&StatusViewLogic::ShowUpgrading);
}
void CMainDlg::ShowUpgradeStarted() {
    OnView(&StatusViewLogic::ShowUpgradeStarted);
}
void CMainDlg::ShowUpgradeSucceeded() {
    OnView(&StatusViewLogic::ShowUpgradeSucceeded);
}
void CMainDlg::ShowUpgradeFailed() {
    OnView(&StatusViewLogic::ShowUpgradeFailed);
}

void CMainDlg::SetDownloadPercent(int percent) {
    if (CTarnvelAssistantDownloadView* view = View())
        view->Logic().SetDownloadPercent(percent, GetTickCount64());
}

void CMainDlg::SetCaption(WizardButton button, std::wstring_view caption) {
    SetWindowTextW(Button(button).Handle(), std::wstring(caption).c_str());
}

// A button that loses the focus by being hidden or disabled would leave it nowhere, and the keys
// would reach the window as system keys that the dialog handling does not see: Escape would no
// longer close. The window itself takes the focus instead.
void CMainDlg::KeepFocusFrom(HWND control) {
    if (GetFocus() == control)
        SetFocus(hwnd_);
}

void CMainDlg::SetVisible(WizardButton button, bool visible) {
    if (!visible)
        KeepFocusFrom(Button(button).Handle());
    ShowWindow(Button(button).Handle(), visible ? SW_SHOW : SW_HIDE);
}

void CMainDlg::SetEnabled(WizardButton button, bool enabled) {
    if (!enabled)
        KeepFocusFrom(Button(button).Handle());
    EnableWindow(Button(button).Handle(), enabled);
}

void CMainDlg::StartSlideTimer() {
    SetTimer(hwnd_, timers::kSlide, timers::kSlidePeriodMs, nullptr);
}

void CMainDlg::StopSlideTimer() {
    KillTimer(hwnd_, timers::kSlide);
}

void CMainDlg::MoveStrip(int x) {
    if (CTarnvelAssistantDownloadView* view = View())
        MoveWindow(view->Handle(), x, 0, kStripWidth, kStripHeight, TRUE);
}

void CMainDlg::SetStep(int page) {
    stepView_.SetStep(page);
}

void CMainDlg::ShowTaskbar(const TaskbarLook& look) {
    if (!taskbar_)
        return;
    switch (look.state) {
    case TaskbarState::None:
        taskbar_->SetProgressState(hwnd_, TBPF_NOPROGRESS);
        break;
    case TaskbarState::Normal:
        taskbar_->SetProgressValue(hwnd_, static_cast<ULONGLONG>(look.percent), 100);
        taskbar_->SetProgressState(hwnd_, TBPF_NORMAL);
        break;
    case TaskbarState::Error:
        taskbar_->SetProgressValue(hwnd_, static_cast<ULONGLONG>(look.percent), 100);
        taskbar_->SetProgressState(hwnd_, TBPF_ERROR);
        break;
    }
}

bool CMainDlg::PreTranslateMessage(MSG& msg) {
    return hwnd_ && IsDialogMessageW(hwnd_, &msg);
}

} // namespace tarnvel
