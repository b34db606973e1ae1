#include "wizard/wizard_flow.h"

#include "download/download_controller.h"
#include "wizard/wizard_texts.h"

namespace tarnvel {

PageButtons ButtonsOnArrival(int page) {
    switch (page) {
    case 1:
        return {{texts::kBack, true, false}, {texts::kFinish, true, false}};
    case 2:
        return {{texts::kBack, false, false}, {texts::kFinish, true, true}};
    default:
        return {{texts::kBack, false, false}, {texts::kNextVerify, true, true}};
    }
}

CloseAction DecideClose(bool hasController, bool closeAllowed) {
    if (!hasController)
        return CloseAction::CloseNow;
    return closeAllowed ? CloseAction::Ask : CloseAction::Refuse;
}

namespace {

class NoStatusView final : public StatusView {
public:
    void ShowPreparing() override {}
    void ShowVerifyPassed() override {}
    void ShowVerifyFailed() override {}
    void ShowUpgrading() override {}
    void ShowUpgradeStarted() override {}
    void SetDownloadPercent(int) override {}
    void ShowUpgradeSucceeded() override {}
    void ShowUpgradeFailed() override {}
    void ShowPathTooLong() override {}
    void ShowNoPackage() override {}
    void ShowPackageUnreadable() override {}
    void ClearPathNotice() override {}
};

} // namespace

StatusView& WizardFlow::Status() {
    static NoStatusView none;
    StatusView* status = port_.Status();
    return status ? *status : none;
}

void WizardFlow::SetButton(WizardButton button, bool enabled) {
    (button == WizardButton::Back ? backEnabled_ : nextEnabled_) = enabled;
    port_.SetEnabled(button, enabled);
}

void WizardFlow::ShowButton(WizardButton button, bool visible) {
    (button == WizardButton::Back ? backVisible_ : nextVisible_) = visible;
    port_.SetVisible(button, visible);
}

void WizardFlow::DisableBoth() {
    SetButton(WizardButton::Back, false);
    SetButton(WizardButton::Next, false);
}

void WizardFlow::Apply(const std::optional<TaskbarLook>& look) {
    if (look)
        port_.ShowTaskbar(*look);
}

void WizardFlow::Init() {
    currentPage_ = 0;
    pendingPage_ = 0;
    port_.SetCaption(WizardButton::Back, texts::kBack);
    ShowButton(WizardButton::Back, false);
    port_.SetCaption(WizardButton::Next, texts::kNextAtStart);
    // The buttons are created enabled; the back button is hidden until page 1.
    backEnabled_ = true;
    nextVisible_ = true;
    nextEnabled_ = true;
}

void WizardFlow::OnNext() {
    if (!nextVisible_ || !nextEnabled_)
        return;
    if (currentPage_ == 0) {
        const std::wstring path = port_.PackagePathText();
        if (path.empty()) {
            Status().ShowNoPackage();
            return;
        }
        // The engine takes at most 255 characters; a shortened path would name another file, so
        // nothing starts and the user is told on this page.
        if (!port_.SetPackagePath(path)) {
            Status().ShowPathTooLong();
            return;
        }
        // A missing or unreadable package would only fail after the whole verification.
        if (CheckPackagePath(path, probe_) != PackagePathCheck::Usable) {
            Status().ShowPackageUnreadable();
            return;
        }
        Status().ClearPathNotice();
        waitingForPhone_ = false;
        port_.PostCommand(Command::Verify);
        Status().ShowPreparing();
        GoToPage(1);
        DisableBoth();
    } else if (currentPage_ == 2) {
        Status().SetDownloadPercent(0);
        GoToPage(0);
        DisableBoth();
    }
}

void WizardFlow::OnBack() {
    if (currentPage_ != 1 || !backVisible_ || !backEnabled_)
        return;
    waitingForPhone_ = false;
    port_.BeginStop();
    port_.PostCommand(Command::EndLog);
    GoToPage(0);
    DisableBoth();
}

void WizardFlow::GoToPage(int page) {
    if (!IsPage(page))
        return;
    pendingPage_ = page;
    slider_.Start(currentPage_, page);
    port_.StartSlideTimer();
}

void WizardFlow::OnSlideTick() {
    if (!slider_.Running())
        return; // a tick already queued when the slide ended
    const PageSlider::Step step = slider_.Tick();
    port_.MoveStrip(step.x);
    if (!step.arrived)
        return;
    port_.StopSlideTimer();
    currentPage_ = pendingPage_;
    port_.SetStep(currentPage_);
    const PageButtons buttons = ButtonsOnArrival(currentPage_);
    port_.SetCaption(WizardButton::Back, buttons.back.caption);
    ShowButton(WizardButton::Back, buttons.back.visible);
    port_.SetCaption(WizardButton::Next, buttons.next.caption);
    ShowButton(WizardButton::Next, buttons.next.visible);
    SetButton(WizardButton::Back, buttons.back.enabled);
    SetButton(WizardButton::Next, buttons.next.enabled);
    // The verification may have passed while the strip was still on its way here.
    if (currentPage_ == 1 && waitingForPhone_)
        SetButton(WizardButton::Back, true);
    if (currentPage_ == 0)
        Apply(taskbar_.OnBackAtStart());
    port_.ArrivedAt(currentPage_);
}

void WizardFlow::FinishSlide() {
    // Every tick comes nearer the page; the slide arrives within a few ticks.
    while (slider_.Running())
        OnSlideTick();
}

void WizardFlow::OnVerifyPassed() {
    Status().ShowVerifyPassed();
    waitingForPhone_ = true;
    // Back is usable once the slide to page 1 has ended too; the arrival enables it otherwise.
    if (currentPage_ == 1 && !slider_.Running())
        SetButton(WizardButton::Back, true);
}

void WizardFlow::OnVerifyFailed() {
    waitingForPhone_ = false;
    Status().ShowVerifyFailed();
    Apply(taskbar_.OnFailed());
    GoToPage(2);
}

void WizardFlow::OnUpgradeStarted() {
    Status().ShowUpgradeStarted();
}

void WizardFlow::OnProgress(int percent) {
    Status().SetDownloadPercent(percent);
    Apply(taskbar_.OnProgress(percent));
}

void WizardFlow::OnUpgradeSucceeded() {
    waitingForPhone_ = false;
    Status().SetDownloadPercent(100);
    Status().ShowUpgradeSucceeded();
    Apply(taskbar_.OnSucceeded());
    GoToPage(2);
}

void WizardFlow::OnUpgradeFailed() {
    waitingForPhone_ = false;
    Status().ShowUpgradeFailed();
    Apply(taskbar_.OnFailed());
    GoToPage(2);
}

void WizardFlow::OnUpgradeBegin() {
    waitingForPhone_ = false;
    SetButton(WizardButton::Back, false);
    Status().ShowUpgrading();
    Apply(taskbar_.OnUpgradeBegin());
}

void WizardFlow::CarryOut(const DownloadEvent& event) {
    switch (event.kind) {
    case DownloadEventKind::VerifyPassed:
        OnVerifyPassed();
        break;
    case DownloadEventKind::VerifyFailed:
        OnVerifyFailed();
        break;
    case DownloadEventKind::UpgradeStarted:
        OnUpgradeStarted();
        break;
    case DownloadEventKind::Progress:
        OnProgress(event.percent);
        break;
    case DownloadEventKind::UpgradeSucceeded:
        OnUpgradeSucceeded();
        break;
    case DownloadEventKind::UpgradeFailed:
        OnUpgradeFailed();
        break;
    case DownloadEventKind::UpgradeBegin:
        OnUpgradeBegin();
        break;
    case DownloadEventKind::CloseAllowedChanged:
        break; // the window's queue turns it into a wake-up alone
    }
}

} // namespace tarnvel
