// The wizard's flow: three pages, the slider between them, the two buttons whose captions and
// states follow the page, and the reactions to the download controller's reports. Plain C++: the
// main window carries the effects out on its windows and the controller.
#pragma once

#include "download/download_events.h"
#include "wizard/package_check.h"
#include "wizard/page_slider.h"
#include "wizard/session_guard.h"
#include "wizard/status_view_logic.h"

#include <string>
#include <string_view>

namespace tarnvel {

enum class WizardButton { Back, Next };

struct ButtonLook {
    const wchar_t* caption;
    bool visible;
    bool enabled;
};

struct PageButtons {
    ButtonLook back;
    ButtonLook next;
};

// The buttons as a slide's arrival at a page leaves them.
PageButtons ButtonsOnArrival(int page);

// What the flow needs from the main window and the controller.
class WizardPort {
public:
    // The controller.
    virtual bool SetPackagePath(std::wstring_view path) = 0; // false: refused, nothing stored
    virtual void PostCommand(Command command) = 0;
    virtual void BeginStop() = 0;

    // The status view's path box.
    virtual std::wstring PackagePathText() = 0;

    // The main window.
    virtual void SetCaption(WizardButton button, std::wstring_view caption) = 0;
    virtual void SetVisible(WizardButton button, bool visible) = 0;
    virtual void SetEnabled(WizardButton button, bool enabled) = 0;
    virtual void StartSlideTimer() = 0; // restarts a running one
    virtual void StopSlideTimer() = 0;
    virtual void MoveStrip(int x) = 0; // the status view to (x, 0), 2160 x 334, repainted
    virtual void SetStep(int page) = 0;
    // A slide has ended at the page, its buttons set.
    virtual void ArrivedAt(int page) = 0;
    virtual void ShowTaskbar(const TaskbarLook& look) = 0;
    // A run ended, with this outcome: the user is told even with another window in front, and the
    // result page offers the run's log.
    virtual void AnnounceResult(bool succeeded) = 0;

protected:
    ~WizardPort() = default;
};

// What a close request leads to.
enum class CloseAction {
    Refuse,   // "正在下载，请稍后关闭！"
    Ask,      // "确定要关闭吗？"
    CloseNow, // no controller any more: nothing to protect
};

CloseAction DecideClose(bool hasController, bool closeAllowed);

class WizardFlow {
public:
    WizardFlow(WizardPort& port, StatusViewLogic& status, const FileProbe& probe)
        : port_(port), status_(status), probe_(probe) {}

    // The buttons as initialisation leaves them: back hidden, next "ROM包校验".
    void Init();

    void OnNext();
    void OnBack();
    void GoToPage(int page);
    void OnSlideTick();

    // One of the controller's reports, taken from the window's event queue on the UI thread.
    void CarryOut(const DownloadEvent& event);

    int CurrentPage() const { return currentPage_; }
    int PendingPage() const { return pendingPage_; }
    bool Sliding() const { return slider_.Running(); }
    // Where the strip stands now, in pixels at 96 dpi.
    int StripX() const { return slider_.X(); }
    // Ends a slide at once, as its last tick would.
    void FinishSlide();
    const TaskbarLook& Taskbar() const { return taskbar_.Current(); }

private:
    void SetButton(WizardButton button, bool enabled);
    void ShowButton(WizardButton button, bool visible);
    void DisableBoth();
    void Apply(const std::optional<TaskbarLook>& look);
    // The run is over: the taskbar shows how, the user hears of it, and the result page comes.
    void GoToResult(bool succeeded, const std::optional<TaskbarLook>& look);

    WizardPort& port_;
    StatusViewLogic& status_;
    const FileProbe& probe_;
    int currentPage_ = 0;
    int pendingPage_ = 0;
    PageSlider slider_;
    TaskbarProgress taskbar_;
    // What the buttons show, so that a click that reaches a button the user cannot press (posted,
    // or queued just before the button was disabled) does nothing.
    bool backVisible_ = false;
    bool backEnabled_ = false;
    bool nextVisible_ = true;
    bool nextEnabled_ = true;
    // The verification of this run has passed and no phone has started: Back may take the user
    // back to choose another package.
    bool waitingForPhone_ = false;
};

} // namespace tarnvel
