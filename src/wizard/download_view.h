// CTarnvelAssistantDownloadView: the wizard's content, a 2160 x 334 strip that holds the three
// pages side by side (page p at x 720 p). It owns the pages' controls and fonts, runs the view's
// timers and carries out the status view's state operations on its controls.
#pragma once

#include "controls/bitmap_edit.h"
#include "controls/custom_button.h"
#include "controls/gdi_handles.h"
#include "controls/stripe_progress.h"
#include "controls/themed_image.h"
#include "controls/themed_label.h"
#include "controls/window_base.h"
#include "platform/usb_devices.h"
#include "wizard/page_slider.h"
#include "wizard/status_view_logic.h"

#include <array>
#include <map>
#include <span>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tarnvel {

class CTarnvelAssistantDownloadView final : public WindowOf<CTarnvelAssistantDownloadView>,
                                            private StatusViewPort {
public:
    // Shows what `logic` decides, from now until the object goes; asks `deviceProblem` what
    // Windows knows of a USB device.
    explicit CTarnvelAssistantDownloadView(StatusViewLogic& logic,
                                           DeviceProblemFn deviceProblem = &DeviceProblemCode);
    // Destroys the window while the children still exist.
    ~CTarnvelAssistantDownloadView() override;

    static WindowClass RegisterWindowClass(); // a class of its own

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The dpi to build at; before Create.
    void SetDpi(int dpi) noexcept { dpi_ = dpi; }
    // Lays the pages out again at dpi, with their fonts and pictures for it.
    void ApplyDpi(int dpi);

    // The state operations (UI thread).
    StatusViewLogic& Logic() noexcept { return logic_; }

    // What the path box holds.
    std::wstring PathText() const;

    // Package selection: the open-file dialog, the path box and the version line. The result of
    // the command message (0).
    LRESULT OnBrowsePackage();
    // A package chosen another way (dropped on the window): the path box and the version line as
    // the dialog would leave them. Whether it is a package at all is told when Next is pressed.
    void TakePackage(const std::wstring& path);

    // At rest on a page, the controls of the other pages are hidden, so that neither the dialog
    // manager nor a screen reader finds them; a slide shows them all again. What the state
    // operations show or hide meanwhile takes effect when the page is shown. Nothing on screen
    // changes: the pages hidden are outside the container.
    void RestOnPage(int page);
    void ShowAllPages();

    // The result page's link to the run's log (hidden when there is none), under the help lines
    // of a failure or under the heading of a success.
    void ShowLogLink(const std::wstring& logFile, bool underHelpLines);

    // For inspection: the control of that id on this view, or null.
    HWND Control(int id) const;
    CThemedLabelCtrl* Label(int id) const;
    CStripeProgress* Bar(int id) const;

private:
    enum class FontKind { F12, F12U, F14, F14U, F16, F24B, Count };
    struct ControlSpec;

    static std::span<const ControlSpec> Rows();
    void Build();
    void CreateControl(const ControlSpec& row);
    void Layout();
    void LayOutControl(const ControlSpec& row);
    HFONT Font(FontKind kind) const noexcept { return fonts_[static_cast<std::size_t>(kind)].Get(); }
    int PageOf(HWND control) const;
    RECT LogLinkRect() const; // at 96 dpi

    // StatusViewPort
    void SetText(int id, std::wstring_view text) override;
    void SetColour(int id, std::uint32_t colour) override;
    void Show(int id, bool visible) override;
    void SetBar(int id, int percent) override;
    void SetPicture(int id, int picture) override;
    void StartTimer(unsigned id, unsigned periodMs) override;
    void StopTimer(unsigned id) override;
    void WatchUsbDevices(bool on) override;
    std::optional<std::uint32_t> UsbDeviceProblem(std::wstring_view instanceId) override;

    struct ImageEntry {
        std::unique_ptr<CThemedImageCtrl> control;
        int picture = 0; // the one shown, as at 100 %
    };

    int dpi_ = 96;
    bool logLinkUnderHelp_ = true;
    std::array<UniqueFont, static_cast<std::size_t>(FontKind::Count)> fonts_;
    UniqueBitmap browseStrip_;
    std::map<int, std::unique_ptr<CThemedLabelCtrl>> labels_;
    std::map<int, ImageEntry> images_;
    std::map<int, std::unique_ptr<CStripeProgress>> bars_;
    std::array<bool, kPageCount> pageResting_{};
    std::set<HWND> parked_; // not owned: children hidden with their page, to show again
    CBitmapEdit pathBox_;
    CCustomButton browseButton_;
    DeviceNotification usbWatch_;
    DeviceProblemFn deviceProblem_;
    StatusViewLogic& logic_;
};

} // namespace tarnvel
