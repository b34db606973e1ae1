#include "wizard/wizard_flow.h"

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
            status_.ShowNoPackage();
            return;
        }
        // The engine takes at most 255 characters; a shortened path would name another file, so
        // nothing starts and the user is told on this page.
        if (!port_.SetPackagePath(path)) {
            status_.ShowPathTooLong();
            return;
        }
        // A missing or unreadable package would only fail after the whole verification.
        if (CheckPackagePath(path, probe_) != PackagePathCheck::Usable) {
            status_.ShowPackageUnreadable();
            return;
        }
        status_.ClearPathNotice();
        waitingForPhone_ = false;
        port_.PostCommand(Command::Verify);
        status_.ShowPreparing();
        GoToPage(1);
        DisableBoth();
    } else if (currentPage_ == 2) {
        status_.SetDownloadPercent(0);
        GoToPage(0);
        DisableBoth();
    }
}

void WizardFlow::OnBack() {
    if (currentPage_ != 1 || !backVisible_ || !backEnabled_)
        return;
    waitingForPhone_ = false;
    status_.StopWaitingForPhone();
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

void WizardFlow::GoToResult(bool succeeded, const std::optional<TaskbarLook>& look) {
    waitingForPhone_ = false;
    Apply(look);
    port_.AnnounceResult(succeeded);
    GoToPage(2);
}

void WizardFlow::CarryOut(const DownloadEvent& event) {
    switch (event.kind) {
    case DownloadEventKind::VerifyPassed:
        status_.ShowVerifyPassed();
        waitingForPhone_ = true;
        // Back is usable once the slide to page 1 has ended too; the arrival enables it otherwise.
        if (currentPage_ == 1 && !slider_.Running())
            SetButton(WizardButton::Back, true);
        break;
    case DownloadEventKind::VerifyFailed:
        status_.ShowVerifyFailed();
        GoToResult(false, taskbar_.OnFailed());
        break;
    case DownloadEventKind::UpgradeBegin:
        waitingForPhone_ = false;
        SetButton(WizardButton::Back, false);
        status_.ShowUpgrading();
        Apply(taskbar_.OnUpgradeBegin());
        break;
    case DownloadEventKind::UpgradeStarted:
        status_.ShowUpgradeStarted();
        break;
    case DownloadEventKind::Progress:
        status_.SetDownloadPercent(event.percent);
        Apply(taskbar_.OnProgress(event.percent));
        break;
    case DownloadEventKind::UpgradeSucceeded:
        status_.SetDownloadPercent(100);
        status_.ShowUpgradeSucceeded();
        GoToResult(true, taskbar_.OnSucceeded());
        break;
    case DownloadEventKind::UpgradeFailed:
        status_.ShowUpgradeFailed();
        GoToResult(false, taskbar_.OnFailed());
        break;
    case DownloadEventKind::CloseAllowedChanged:
        break; // the window's queue turns it into a wake-up alone
    }
}

} // namespace tarnvel
