// The main window: a modeless dialog from template 129 turned into a skinned, shadowed 720 x 500
// pop-up, and the wizard that runs in it.
#pragma once

#include "controls/custom_button.h"
#include "controls/document_view.h"
#include "controls/gdi_handles.h"
#include "controls/shadow_wnd.h"
#include "controls/themed_image.h"
#include "controls/themed_label.h"
#include "platform/dpi.h"
#include "platform/message_loop.h"
#include "platform/usb_devices.h"
#include "wizard/dialog_keyboard.h"
#include "wizard/event_queue.h"
#include "wizard/main_skin.h"
#include "wizard/progress_view.h"
#include "wizard/session_guard.h"
#include "wizard/status_view_logic.h"
#include "wizard/taskbar_button.h"
#include "wizard/window_region.h"
#include "wizard/wizard_flow.h"

#include <windows.h>

#include <memory>

namespace tarnvel {

class CTarnvelAssistantDownloadView;
class DownloadController;

// The main window's private messages.
enum WizardMessage : UINT {
    kMsgEvents = WM_APP, // the event queue holds the controller's events for the UI thread
};

class CMainDlg final : public MessageFilter, public IdleHandler, private WizardPort {
public:
    // Both must outlive the window; the window loads the controller's engine and shuts it down.
    // Without a loop (tests) the window has no message filter or idle pass. The window is laid out
    // for the dpi its monitor has, as the functions tell, and learns from `deviceProblem` whether a
    // USB device that came while it waits for a phone has a driver that works.
    CMainDlg(DownloadController& controller, MessageLoop* loop, DpiFunctions dpiFunctions,
             DeviceProblemFn deviceProblem = &DeviceProblemCode);
    ~CMainDlg();

    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    bool Create();
    HWND Handle() const { return hwnd_; }
    int Dpi() const { return dpi_; }

    bool PreTranslateMessage(MSG& msg) override;
    void OnIdle() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Sets the dialog's message result; true, as a dialog procedure answers a handled message.
    INT_PTR Answer(LRESULT result);

    void OnInitDialog();
    void CreateChildren();
    // Loads the skin for dpi_ and places the children; the window's own place is the caller's.
    void LayOut();
    void OnDpiChanged(int dpi, const RECT& suggested);
    void Draw(HDC dc);
    LRESULT HitTest(LPARAM lParam) const;
    void OnCommand(WPARAM wParam);
    void OnClose();
    void OnDestroy();
    void AcceptDroppedFiles();
    void OnDropFiles(HDROP drop);
    void ShutDownController();
    void TakeEvents();
    void UpdateSessionGuard();
    void ApplySessionProtection(bool protect);
    void KeepFocusFrom(HWND control);
    // A slide has ended on page: only its controls stay shown, the focus goes to its first tab stop.

    CTarnvelAssistantDownloadView* View() const;
    CCustomButton& Button(WizardButton button) {
        return button == WizardButton::Back ? backButton_ : nextButton_;
    }

    // WizardPort
    bool SetPackagePath(std::wstring_view path) override;
    void PostCommand(Command command) override;
    void BeginStop() override;
    std::wstring PackagePathText() override;
    void SetCaption(WizardButton button, std::wstring_view caption) override;
    void SetVisible(WizardButton button, bool visible) override;
    void SetEnabled(WizardButton button, bool enabled) override;
    void StartSlideTimer() override;
    void StopSlideTimer() override;
    void MoveStrip(int x) override;
    void SetStep(int page) override;
    // Only the page on screen shows its controls; the focus goes to its first tab stop.
    void ArrivedAt(int page) override;
    void ShowTaskbar(const TaskbarLook& look) override;
    void AnnounceResult(bool succeeded) override;

    HWND hwnd_ = nullptr; // owned: destroyed by OnClose or by the destructor
    DpiFunctions dpiFunctions_;
    int dpi_ = 96;

    // Skin.
    CThemedShadowWnd shadow_;
    MainSkin skin_;
    WindowRegion region_;

    // Children, in the order of creation.
    CProgressView stepView_;
    CDocumentView pageContainer_;
    CThemedImageCtrl logo_;
    CThemedLabelCtrl titleLabel_;
    CThemedLabelCtrl versionLabel_;
    CCustomButton closeButton_;
    CCustomButton backButton_;
    CCustomButton nextButton_;

    // The wizard.
    StatusViewLogic status_; // shown by the view inside pageContainer_
    WizardFlow flow_{*this, status_, SystemFileProbe()};
    EventQueue events_;
    DownloadController* controller_; // null once shut down
    MessageLoop* loop_;
    bool closing_ = false; // a close question is open
    DialogKeyboard keyboard_;

    // Protection of a phone being written.
    SessionGuard sessionGuard_;
    TaskbarButton taskbar_;
};

} // namespace tarnvel
