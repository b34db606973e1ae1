// The main window: a modeless dialog from template 129 turned into a skinned, shadowed 720 x 500
// pop-up, and the wizard that runs in it.
#pragma once

#include "app/message_loop.h"
#include "controls/custom_button.h"
#include "controls/document_view.h"
#include "controls/gdi_handles.h"
#include "controls/shadow_wnd.h"
#include "controls/themed_image.h"
#include "controls/themed_label.h"
#include "wizard/session_guard.h"
#include "wizard/status_view_logic.h"
#include "wizard/step_indicator.h"
#include "wizard/wizard_flow.h"

#include <windows.h>

#include <memory>

struct ITaskbarList3;

namespace tarnvel {

class CTarnvelAssistantDownloadView;
class DownloadController;

// The main window's private messages.
enum WizardMessage : UINT {
    kMsgHookWork = WM_APP, // the hook queue holds reports for the UI thread
};

class CMainDlg final : public MessageFilter, public IdleHandler, private WizardPort {
public:
    CMainDlg();
    ~CMainDlg();

    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    bool Create();
    HWND Handle() const { return hwnd_; }

    bool PreTranslateMessage(MSG& msg) override;
    void OnIdle() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Sets the dialog's message result; true, as a dialog procedure answers a handled message.
    INT_PTR Answer(LRESULT result);

    void OnInitDialog();
    void BuildRegionFromBitmap(HBITMAP bitmap, COLORREF key);
    void PlaceWindowOnScreen();
    void CreateChildren();
    void CreateButton(CCustomButton& button, const RECT& rect, const wchar_t* caption, int id, HBITMAP strip,
                      bool textColours);
    void Draw(HDC dc);
    LRESULT HitTest(LPARAM lParam) const;
    void OnCommand(WPARAM wParam);
    void OnClose();
    void OnDestroy();
    void ShutDownController();
    void TakeHookWork();
    void UpdateSessionGuard();
    void ApplySessionProtection(bool protect);
    void ConnectTaskbar();
    void KeepFocusFrom(HWND control);

    CTarnvelAssistantDownloadView* View() const;
    void OnView(void (StatusViewLogic::*operation)());
    CCustomButton& Button(WizardButton button) {
        return button == WizardButton::Back ? backButton_ : nextButton_;
    }

    // WizardPort
    bool SetPackagePath(std::wstring_view path) override;
    void PostCommand(int command) override;
    void BeginStop() override;
    std::wstring PackagePathText() override;
    void ShowPathTooLong() override;
    void ShowNoPackage() override;
    void ShowPackageUnreadable() override;
    void ClearPathNotice() override;
    void ShowPreparing() override;
    void ShowVerifyPassed() override;
    void ShowVerifyFailed() override;
    void ShowUpgrading() override;
    void ShowUpgradeStarted() override;
    void SetDownloadPercent(int percent) override;
    void ShowUpgradeSucceeded() override;
    void ShowUpgradeFailed() override;
    void SetCaption(WizardButton button, std::wstring_view caption) override;
    void SetVisible(WizardButton button, bool visible) override;
    void SetEnabled(WizardButton button, bool enabled) override;
    void StartSlideTimer() override;
    void StopSlideTimer() override;
    void MoveStrip(int x) override;
    void SetStep(int page) override;
    void ShowTaskbar(const TaskbarLook& look) override;

    HWND hwnd_ = nullptr; // owned: destroyed by OnClose or by the destructor

    // Skin.
    CThemedShadowWnd shadow_;
    UniqueBitmap background_;
    UniqueRegion region_; // our copy: the window owns the one it was given
    RECT regionBox_{};
    bool regionApplied_ = false;
    UniqueFont titleFont_;   // 16 bold
    UniqueFont versionFont_; // 12 bold
    struct IconDeleter {
        void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
    };
    std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter> smallIcon_;

    // Children, in the order of creation.
    CProgressView stepView_;
    CDocumentView pageContainer_;
    UniqueBitmap logoPicture_;
    CThemedImageCtrl logo_;
    CThemedLabelCtrl titleLabel_;
    CThemedLabelCtrl versionLabel_;
    UniqueBitmap closeStrip_;
    UniqueBitmap backStrip_;
    UniqueBitmap nextStrip_;
    CCustomButton closeButton_;
    CCustomButton backButton_;
    CCustomButton nextButton_;

    // The wizard.
    WizardFlow flow_{*this, SystemFileProbe()};
    std::unique_ptr<DownloadController> controller_; // null once shut down
    bool closing_ = false;                           // a close question is open

    // Protection of a phone being written.
    SessionGuard sessionGuard_;
    struct ComRelease {
        template <typename T> void operator()(T* object) const noexcept { object->Release(); }
    };
    UINT taskbarCreatedMessage_ = 0;
    std::unique_ptr<ITaskbarList3, ComRelease> taskbar_; // once the shell has made the taskbar button
};

} // namespace tarnvel
