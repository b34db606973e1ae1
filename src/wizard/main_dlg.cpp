#include "wizard/main_dlg.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "controls/paint_helpers.h"
#include "download/download_controller.h"
#include "resources/resource_ids.h"
#include "wizard/download_view.h"
#include "wizard/main_skin.h"
#include "wizard/skin.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <shellapi.h>
#include <windowsx.h>

#include <tuple>

namespace tarnvel {

namespace {

constexpr DWORD kHostStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; // 0x52000000
// The hosts hold controls: the dialog manager looks into them for tab stops.
constexpr DWORD kHostExStyle = WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT; // 0x10100
// Every control starts a group of its own, so the arrow keys never move the focus onto a label or
// a picture; the back and next buttons are tab stops.
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_GROUP;
constexpr DWORD kTabStopStyle = kChildStyle | WS_TABSTOP;
constexpr COLORREF kLayerKey = RGB(0, 0, 0xFF);
constexpr COLORREF kShapeKey = RGB(0, 0, 0);

// Messages whose answer a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON;
}

} // namespace

CMainDlg::CMainDlg(DownloadController& controller, MessageLoop* loop, DpiFunctions dpiFunctions,
                   DeviceProblemFn deviceProblem)
    : dpiFunctions_(dpiFunctions), pageContainer_([this, deviceProblem] {
          auto view = std::make_unique<CTarnvelAssistantDownloadView>(status_, deviceProblem);
          view->SetDpi(dpi_);
          return view;
      }),
      controller_(&controller), loop_(loop) {}

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
        return FALSE; // the focus is set: the path box
    case WM_NCHITTEST:
        return Answer(HitTest(lParam));
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintOrPrint(hwnd_, message, wParam, [this](HDC dc, const RECT&) { Draw(dc); });
        return FALSE; // the default handling follows
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
    case kMsgEvents:
        TakeEvents();
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return Answer(0);
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
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
        if (taskbar_.IsButtonCreated(message)) {
            if (taskbar_.Connect())
                ShowTaskbar(flow_.Taskbar());
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
    // The controller's events reach the window through its queue; ready before the engine loads.
    const HWND hwnd = hwnd_;
    events_.Attach([hwnd] { return PostMessageW(hwnd, kMsgEvents, 0, 0) != FALSE; });

    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(hwnd_, kLayerKey, 255, LWA_ALPHA);

    dpi_ = dpiFunctions_.ForWindow(hwnd_);
    dpiFunctions_.LeaveDialogLayoutToIt(hwnd_);
    if (shadow_.CreateFor(hwnd_))
        shadow_.placementMode = 4;

    if (loop_) {
        loop_->AddMessageFilter(this);
        loop_->AddIdleHandler(this);
    }

    SetWindowTextW(hwnd_, texts::kWindowTitle);

    CreateChildren();
    LayOut();
    region_.ApplyTo(hwnd_, BitmapSize(skin_.background.Get()), nullptr);
    keyboard_.Attach(hwnd_, ids::kNext); // Enter where no button has the focus presses next
    ArrivedAt(0);

    taskbar_.Listen(hwnd_);
    AcceptDroppedFiles();

    flow_.Init();
    // What Windows sees on USB while the wizard waits for a phone goes into the run's log.
    status_.SetLogLine([this](const std::wstring& line) {
        if (controller_)
            controller_->NoteInRunLog(line);
    });
    // The guard follows the controller's close answer through the same wake-up as the events.
    controller_->SetEventSink(&events_);
    controller_->LoadEngine();
}

void CMainDlg::AcceptDroppedFiles() {
    DragAcceptFiles(hwnd_, TRUE);
    // The program runs elevated and Explorer does not: without these, Windows drops a drag from
    // it on the floor. WM_COPYGLOBALDATA (0x0049) carries the drop's data across.
    for (const UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, UINT{0x0049}})
        ChangeWindowMessageFilterEx(hwnd_, message, MSGFLT_ALLOW, nullptr);
}

void CMainDlg::OnDropFiles(HDROP drop) {
    // Taken as if chosen with "浏览", on the first page only; of several files, the first.
    CTarnvelAssistantDownloadView* view = View();
    if (view != nullptr && flow_.CurrentPage() == 0 && !flow_.Sliding() &&
        DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        std::wstring path(DragQueryFileW(drop, 0, nullptr, 0), L'\0');
        if (!path.empty() &&
            DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size() + 1)) == path.size())
            view->TakePackage(path);
    }
    DragFinish(drop);
}

void CMainDlg::CreateChildren() {
    stepView_.SetDpi(dpi_);
    stepView_.Create(hwnd_, ScaleForDpi(kMainLayout.stepView, dpi_), L"", kHostStyle, kHostExStyle, 0);
    pageContainer_.contentRect = ScaleForDpi(kMainLayout.pageContent, dpi_);
    pageContainer_.Create(hwnd_, ScaleForDpi(kMainLayout.pageContainer, dpi_), L"", kHostStyle, kHostExStyle,
                          0);

    logo_.Create(hwnd_, RECT{}, texts::kLogoPicture, kChildStyle, 0, static_cast<UINT_PTR>(ids::kLogo));
    logo_.backgroundSource = hwnd_;
    for (CThemedLabelCtrl* label : {&titleLabel_, &versionLabel_}) {
        label->Create(hwnd_, RECT{}, L"", kChildStyle, 0, static_cast<UINT_PTR>(ids::kTitle));
        label->backgroundSource = hwnd_;
        label->textFormat = kLabelFormat;
    }
    SetLabelColour(titleLabel_, colours::kRed);
    titleLabel_.SetText(texts::kWindowTitle);
    SetLabelColour(versionLabel_, colours::kBlack);
    versionLabel_.SetText(texts::kVersion);

    closeButton_.captionShown = false; // the cross says it; the caption names it for screen readers
    // Escape and Alt+F4 close; the close button is no tab stop.
    closeButton_.Create(hwnd_, RECT{}, texts::kClose, kChildStyle, 0, static_cast<UINT_PTR>(ids::kClose));
    backButton_.Create(hwnd_, RECT{}, texts::kBack, kTabStopStyle, 0, static_cast<UINT_PTR>(ids::kBack));
    nextButton_.Create(hwnd_, RECT{}, texts::kNextAtStart, kTabStopStyle, 0,
                       static_cast<UINT_PTR>(ids::kNext));
    ShowWindow(backButton_.Handle(), SW_HIDE);
}

void CMainDlg::LayOut() {
    const MainLayout& l = kMainLayout;
    MainSkin skin = MainSkin::Load(dpi_, dpiFunctions_.SystemMetric(SM_CXSMICON, dpi_));
    region_.Build(skin.background.Get(), kShapeKey);
    shadow_.shadowSize = ScaleForDpi(l.shadowSize, dpi_);
    shadow_.inset = ScaleForDpi(l.shadowInset, dpi_);
    shadow_.cornerRadius = ScaleForDpi(l.shadowRadius, dpi_);
    if (skin.smallIcon)
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(skin.smallIcon.get()));

    MoveForDpi(logo_.Handle(), l.logo, dpi_);
    ShowPictureIn(logo_, skin.logo.Get());
    for (const auto& [label, rect, font] : {std::tuple{&titleLabel_, l.title, skin.title.Get()},
                                            std::tuple{&versionLabel_, l.version, skin.version.Get()}}) {
        PlaceForDpi(label->Handle(), rect, dpi_);
        SendMessageW(label->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    for (const auto& [button, rect, strip, textColours] :
         {std::tuple{&closeButton_, l.close, skin.closeStrip.Get(), false},
          std::tuple{&backButton_, l.back, skin.backStrip.Get(), true},
          std::tuple{&nextButton_, l.next, skin.nextStrip.Get(), true}}) {
        SkinButton(*button, hwnd_, strip, textColours, dpi_);
        PlaceForDpi(button->Handle(), rect, dpi_);
        SendMessageW(button->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(skin.caption.Get()), TRUE);
    }
    skin_ = std::move(skin); // every window has taken the new pictures and fonts
}

void CMainDlg::OnDpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0 || dpi == dpi_)
        return;
    flow_.FinishSlide(); // the strip stands still at the page it was going to
    dpi_ = dpi;
    // The hosts first: their children copy the hosts' backgrounds as they are laid out.
    PlaceForDpi(stepView_.Handle(), kMainLayout.stepView, dpi_);
    stepView_.ApplyDpi(dpi_);
    PlaceForDpi(pageContainer_.Handle(), kMainLayout.pageContainer, dpi_);
    MoveStrip(flow_.StripX());
    if (CTarnvelAssistantDownloadView* view = View())
        view->ApplyDpi(dpi_);
    LayOut();
    region_.ApplyTo(hwnd_, BitmapSize(skin_.background.Get()), &suggested);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CMainDlg::Draw(HDC dc) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    PaintMainWindow(dc, client, skin_, region_, dpi_);
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
    controller_->SetEventSink(nullptr);
    controller_ = nullptr;
    UpdateSessionGuard();
}

void CMainDlg::OnDestroy() {
    events_.Detach();
    KillTimer(hwnd_, timers::kSlide);
    ShutDownController();
    taskbar_.Disconnect();
    if (loop_) {
        loop_->RemoveMessageFilter(this);
        loop_->RemoveIdleHandler(this);
    }
}

void CMainDlg::OnIdle() {
    // A wake-up that could not be posted (a full message queue) is made up for here, once the
    // queue has been worked through.
    if (events_.WakeMissed())
        TakeEvents();
}

void CMainDlg::TakeEvents() {
    for (const DownloadEvent& event : events_.TakeAll())
        flow_.CarryOut(event);
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

CTarnvelAssistantDownloadView* CMainDlg::View() const {
    return pageContainer_.ContentAs<CTarnvelAssistantDownloadView>();
}

bool CMainDlg::SetPackagePath(std::wstring_view path) {
    return controller_ && controller_->SetPackagePath(path);
}

void CMainDlg::PostCommand(Command command) {
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
    if (CTarnvelAssistantDownloadView* view = View())
        view->ShowAllPages();
    SetTimer(hwnd_, timers::kSlide, timers::kSlidePeriodMs, nullptr);
}

void CMainDlg::ArrivedAt(int page) {
    if (CTarnvelAssistantDownloadView* view = View())
        view->RestOnPage(page);
    // On the result page the next phone is the user's next step, ahead of the log link before it.
    if (page == 2 && IsWindowEnabled(GetDlgItem(hwnd_, ids::kNext)))
        SetFocus(GetDlgItem(hwnd_, ids::kNext));
    else
        keyboard_.FocusFirstTabStop();
}

void CMainDlg::StopSlideTimer() {
    KillTimer(hwnd_, timers::kSlide);
}

void CMainDlg::MoveStrip(int x) {
    if (CTarnvelAssistantDownloadView* view = View())
        MoveWindow(view->Handle(), ScaleForDpi(x, dpi_), 0, ScaleForDpi(kStripWidth, dpi_),
                   ScaleForDpi(kStripHeight, dpi_), TRUE);
}

void CMainDlg::SetStep(int page) {
    stepView_.SetStep(page);
}

void CMainDlg::ShowTaskbar(const TaskbarLook& look) {
    taskbar_.Show(look);
}

void CMainDlg::AnnounceResult(bool succeeded) {
    if (CTarnvelAssistantDownloadView* view = View())
        view->ShowLogLink(controller_ ? controller_->LastLogFile() : std::wstring(), !succeeded);
    MessageBeep(succeeded ? MB_ICONINFORMATION : MB_ICONERROR);
    // A repair shop writes phones one after another while working in other windows: the button
    // flashes until the user comes back.
    if (GetForegroundWindow() != hwnd_) {
        FLASHWINFO flash{sizeof(flash), hwnd_, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
}

bool CMainDlg::PreTranslateMessage(MSG& msg) {
    return keyboard_.TakeMessage(msg);
}

} // namespace tarnvel
