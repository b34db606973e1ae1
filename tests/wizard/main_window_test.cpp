// The main window with the real controller and the simulated engine (beside this program as
// dVarnok.dll): the wizard's flow through whole runs, driven by the buttons' click notifications.
#include "controls/themed_label.h"
#include "controls/window_base.h"
#include "download/system_controller.h"
#include "gui_counters.h"
#include "test_windows.h"
#include "support/sim_fixture.h"
#include "support/test_files.h"
#include "text/code_page.h"
#include "controls/geometry.h"
#include "platform/dpi.h"
#include "wizard/main_dlg.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <dbt.h>
#include <gtest/gtest.h>
#include <psapi.h>
#include <shlobj.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tarnvel {
namespace {

using namespace std::chrono_literals;

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { SetScenario(""); }
    ~MainWindowTest() override {
        dialog_.reset();
        SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", nullptr);
    }

    void SetScenario(const std::string& entries) {
        const std::string text = "trace=" + Utf8FromWide(scratch_ / L"trace.txt") +
                                 ";storage=" + Utf8FromWide(scratch_ / L"phone0.bin") +
                                 ";arrival_ms=50;speed_kbps=0;verify_ms=20;" + entries;
        SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", WideFromUtf8(text).c_str());
    }

    void Open(DpiFunctions dpi = DpiFunctions::FromSystem()) {
        dialog_.reset();
        controller_ = std::make_unique<SystemController>();
        dialog_ = std::make_unique<CMainDlg>(**controller_, nullptr, dpi, deviceProblem_);
        ASSERT_TRUE(dialog_->Create());
        main_ = dialog_->Handle();
        ShowWindow(main_, SW_SHOW);
        EnumChildWindows(main_, &FindView, reinterpret_cast<LPARAM>(&view_));
        ASSERT_NE(view_, nullptr);
        package_ = scratch_ / L"phone.RZB";
        ASSERT_TRUE(testing::WritePackage(package_, 18, "5512QDS", testing::GeneratedPayload(256 * 1024)));
    }

    // Opens the window with the engine on this scenario and has the package verified.
    void OpenAndVerify(const std::string& scenario) {
        SetScenario(scenario);
        Open();
        ChoosePackage(package_);
        Click(ids::kNext);
    }

    // The status view is the parent of the path box.
    static BOOL CALLBACK FindView(HWND child, LPARAM found) {
        if (GetDlgCtrlID(child) != ids::kPathBox)
            return TRUE;
        *reinterpret_cast<HWND*>(found) = GetParent(child);
        return FALSE;
    }

    // Runs the UI thread until the condition holds; false after the timeout.
    static bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }

    HWND Button(int id) const { return GetDlgItem(main_, id); }
    std::wstring Caption(int id) const {
        wchar_t text[64] = {};
        GetWindowTextW(Button(id), text, 64);
        return text;
    }
    bool Usable(int id) const { return IsWindowVisible(Button(id)) && IsWindowEnabled(Button(id)); }
    void Click(int id) const {
        SendMessageW(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Button(id)));
    }
    std::wstring Text(int id) const {
        auto* label = static_cast<CThemedLabelCtrl*>(WindowBase::FromHandle(GetDlgItem(view_, id)));
        return label ? label->Text() : std::wstring(L"<none>");
    }
    bool Shown(int id) const { return (GetWindowLongW(GetDlgItem(view_, id), GWL_STYLE) & WS_VISIBLE) != 0; }
    int StripX() const {
        RECT rect{};
        GetWindowRect(view_, &rect);
        MapWindowPoints(nullptr, GetParent(view_), reinterpret_cast<POINT*>(&rect), 1);
        return rect.left;
    }
    void ChoosePackage(const std::wstring& path) const {
        SetWindowTextW(FindWindowExW(GetDlgItem(view_, ids::kPathBox), nullptr, L"EDIT", nullptr),
                       path.c_str());
    }
    std::wstring PathText() const {
        wchar_t text[1024] = {};
        GetWindowTextW(FindWindowExW(GetDlgItem(view_, ids::kPathBox), nullptr, L"EDIT", nullptr), text,
                       1024);
        return text;
    }
    bool OnResultPage() const {
        return StripX() == -1440 && Usable(ids::kNext) && Caption(ids::kNext) == L"完成";
    }
    bool BackAtStart() const {
        return StripX() == 0 && Usable(ids::kNext) && Caption(ids::kNext) == L"升级包校验" &&
               !IsWindowVisible(Button(ids::kBack));
    }
    bool TraceHas(const std::string& line) const {
        for (const std::string& entry : testing::SplitLines(testing::ReadFileBytes(scratch_ / L"trace.txt")))
            if (entry.rfind(line, 0) == 0)
                return true;
        return false;
    }

    // The result page's link opens the file manager on the log of the run just ended.
    void ExpectTheLogLinkSelectsTheRunsLog() const {
        EXPECT_TRUE(Shown(ids::kLogLink));
        auto* link = static_cast<CThemedLabelCtrl*>(WindowBase::FromHandle(GetDlgItem(view_, ids::kLogLink)));
        ASSERT_NE(link, nullptr);
        const std::wstring log = (*controller_)->LastLogFile();
        EXPECT_NE(GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES) << Utf8FromWide(log);
        EXPECT_EQ(link->LinkTarget(),
                  std::make_pair(std::wstring(L"explorer.exe"), L"/select,\"" + log + L"\""));
        EXPECT_EQ(Text(ids::kLogLink), L"打开日志文件夹");
    }

    // What the window shows, for a failure message.
    std::string Where() const {
        return "strip at " + std::to_string(StripX()) + ", next \"" + Utf8FromWide(Caption(ids::kNext)) +
               "\" " + (Usable(ids::kNext) ? "usable" : "not usable") + ", heading \"" +
               Utf8FromWide(Text(ids::kResultHeading)) + "\"";
    }

    // One upgrade from the first page to the result and back; says where it got stuck.
    ::testing::AssertionResult RunOneUpgrade() {
        ChoosePackage(package_);
        Click(ids::kNext);
        if (!PumpUntil([this] { return OnResultPage(); }))
            return ::testing::AssertionFailure() << "no result page: " << Where();
        if (Text(ids::kResultHeading) != texts::kSucceeded)
            return ::testing::AssertionFailure() << "not a success: " << Where();
        Click(ids::kNext);
        if (!PumpUntil([this] { return BackAtStart(); }))
            return ::testing::AssertionFailure() << "not back at the start: " << Where();
        return ::testing::AssertionSuccess();
    }

    testing::ScratchFolder scratch_{L"wizard"};
    std::wstring package_;
    std::unique_ptr<SystemController> controller_; // outlives the dialog
    std::unique_ptr<CMainDlg> dialog_;
    DeviceProblemFn deviceProblem_ = &DeviceProblemCode;
    HWND main_ = nullptr;
    HWND view_ = nullptr;
};

TEST_F(MainWindowTest, WholeUpgradeEndsOnTheResultPageAndReturnsForTheNextPhone) {
    Open();
    EXPECT_EQ(Caption(ids::kNext), L"ROM包校验");
    EXPECT_FALSE(IsWindowVisible(Button(ids::kBack)));
    ChoosePackage(package_);
    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    EXPECT_EQ(Text(ids::kResultHeading), L"恭喜您，您的手机已升级完成！");
    EXPECT_EQ(Text(ids::kUpgradePercent), L"100%");
    EXPECT_FALSE(Shown(ids::kRomVersion));
    EXPECT_FALSE(Shown(ids::kHelpFirst));
    EXPECT_FALSE(IsWindowVisible(Button(ids::kBack)));
    EXPECT_TRUE(TraceHas("InitDownloadObj path=" + Utf8FromWide(package_) + " model=5512Q "));
    ExpectTheLogLinkSelectsTheRunsLog();

    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return BackAtStart(); }));
    EXPECT_EQ(Text(ids::kUpgradePercent), L"0%");
    EXPECT_EQ(Text(ids::kResultHeading), L"恭喜您，您的手机已升级完成！"); // off screen, kept
}

TEST_F(MainWindowTest, EveryLabelPictureAndButtonHasAName) {
    Open();
    EXPECT_EQ(Caption(ids::kClose), L"关闭");
    int named = 0;
    for (const HWND child : testing::Descendants(main_)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        const std::wstring kind = className;
        if (kind != L"CThemedLabelCtrl" && kind != L"CThemedImageCtrl" && kind != L"CCustomButton")
            continue;
        if (GetDlgCtrlID(child) == ids::kTimeLeft)
            continue; // empty until there is an estimate
        wchar_t name[256] = {};
        EXPECT_GT(GetWindowTextW(child, name, 256), 0) << Utf8FromWide(kind) << " " << GetDlgCtrlID(child);
        ++named;
    }
    EXPECT_GT(named, 30);
}

// A drop as the shell delivers it: WM_DROPFILES with a DROPFILES block naming the files.
void DropFiles(HWND window, const std::vector<std::wstring>& files) {
    std::wstring names;
    for (const auto& file : files)
        names += file + L'\0';
    names += L'\0';
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(header + 1));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0); // the window frees it
}

TEST_F(MainWindowTest, AFileDroppedOnTheFirstPageIsTakenAsIfChosenAndIgnoredElsewhere) {
    Open();
    DropFiles(main_, {package_, scratch_ / L"second.rzb"});
    EXPECT_EQ(PathText(), package_);
    EXPECT_EQ(Text(ids::kRomVersion), std::wstring(texts::kRomVersionPrefix) + L"V1.0 test");
    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return StripX() == -720; }));
    DropFiles(main_, {scratch_ / L"other.rzb"});
    EXPECT_EQ(PathText(), package_);
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
}

TEST_F(MainWindowTest, TheTimeLeftShowsWhileThePhoneIsWrittenAndGoesAfter) {
    OpenAndVerify("speed_kbps=48;chunk_kb=16"); // about 5 s for the package's 256 KiB
    ASSERT_TRUE(PumpUntil([this] { return Shown(ids::kTimeLeft); })) << Where();
    EXPECT_EQ(Text(ids::kTimeLeft).rfind(L"剩余约 ", 0), 0u) << Utf8FromWide(Text(ids::kTimeLeft));
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    EXPECT_FALSE(Shown(ids::kTimeLeft));
}

TEST_F(MainWindowTest, VerificationFailureShowsTheHelpLines) {
    OpenAndVerify("verify=fail");
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    EXPECT_EQ(Text(ids::kResultHeading), L"校验ROM失败！");
    for (int id = ids::kHelpFirst; id <= ids::kHelpLast; ++id)
        EXPECT_TRUE(Shown(id)) << id;
    EXPECT_FALSE(Shown(ids::kRomVersion));
    ExpectTheLogLinkSelectsTheRunsLog();
}

TEST_F(MainWindowTest, UpgradeFailureShowsTheHelpLines) {
    OpenAndVerify("outcome=fail;fail_at=40");
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    EXPECT_EQ(Text(ids::kResultHeading), L"手机升级失败！");
    EXPECT_TRUE(Shown(ids::kHelpLast));
}

TEST_F(MainWindowTest, BackWhileWaitingForThePhoneStopsTheEngineAndReturns) {
    // Verified at once, most often before the slide has ended: Back still becomes usable.
    OpenAndVerify("outcome=never;verify_ms=0");
    ASSERT_TRUE(PumpUntil([this] { return StripX() == -720 && Usable(ids::kBack); }));
    EXPECT_EQ(Text(ids::kUpgradeLine), L"请连接手机...");
    EXPECT_FALSE(Usable(ids::kNext));
    Click(ids::kBack);
    ASSERT_TRUE(PumpUntil([this] { return BackAtStart(); }));
    EXPECT_TRUE(PumpUntil([this] { return TraceHas("DownloadStop"); }, 5s));
}

// Wine has no USB: the device tree is a fake, the notification a message as Windows would send it.
std::optional<std::uint32_t> DriverlessPhone(std::wstring_view instanceId) {
    return instanceId == L"USB\\VID_0E8D&PID_2000\\5&1A2B" ? std::optional<std::uint32_t>(28) : std::nullopt;
}

void SendUsbChange(HWND window, WPARAM change, const std::wstring& path) {
    std::vector<std::byte> record(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                  (path.size() + 1) * sizeof(wchar_t));
    auto* device = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
    device->dbcc_size = static_cast<DWORD>(record.size());
    device->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    device->dbcc_classguid = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
    std::copy(path.begin(), path.end(), device->dbcc_name); // the terminator is already there
    SendMessageW(window, WM_DEVICECHANGE, change, reinterpret_cast<LPARAM>(record.data()));
}

TEST_F(MainWindowTest, UsbDevicesWindowsReportsWhileWaitingGoToTheLogAndOneWithoutADriverTurnsTheHintRed) {
    deviceProblem_ = &DriverlessPhone;
    OpenAndVerify("outcome=never;verify_ms=0");
    ASSERT_TRUE(PumpUntil([this] { return StripX() == -720 && Usable(ids::kBack); }));
    const std::wstring path = L"\\\\?\\USB#VID_0E8D&PID_2000#5&1A2B#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    SendUsbChange(view_, DBT_DEVICEARRIVAL, path);
    const std::string line =
        CodePage936FromWide(L"提示:USB设备接入: USB\\VID_0E8D&PID_2000\\5&1A2B, 问题代码 28");
    const std::wstring log = (*controller_)->LastLogFile();
    EXPECT_TRUE(PumpUntil([&] { return testing::ReadFileBytes(log).find(line) != std::string::npos; }, 5s))
        << testing::ReadFileBytes(log);

    // The wait's two timers, as if their time had passed.
    SendMessageW(view_, WM_TIMER, timers::kNoPhoneHints, 0);
    SendMessageW(view_, WM_TIMER, timers::kDriverHint, 0);
    EXPECT_TRUE(Shown(ids::kNoPhoneHintLast));
    EXPECT_EQ(Text(ids::kNoPhoneHintLast), texts::kDriverHint);
    auto* hint =
        static_cast<CThemedLabelCtrl*>(WindowBase::FromHandle(GetDlgItem(view_, ids::kNoPhoneHintLast)));
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->textColour.load(), RGB(0xFF, 0, 0));
    // The longer text still fits its line.
    const HDC dc = GetDC(hint->Handle());
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hint->Handle(), WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, texts::kDriverHint, static_cast<int>(wcslen(texts::kDriverHint)), &extent);
    SelectObject(dc, old);
    ReleaseDC(hint->Handle(), dc);
    RECT box{};
    GetClientRect(hint->Handle(), &box);
    EXPECT_LE(extent.cx, box.right);
    // The page as the user sees it, for the reference comparison that follows this test
    // (wizard_driver_hint_screen): the pointer away from the window, the last paints shown.
    SetCursorPos(0, 0);
    PumpUntil([] { return false; }, 700ms);
    RECT window{};
    GetWindowRect(main_, &window);
    EXPECT_TRUE(testing::Screenshot(window).SavePng(L"page1_driver_hint.png"));

    // Unplugged: the ordinary hint again, and the removal in the log.
    SendUsbChange(view_, DBT_DEVICEREMOVECOMPLETE, path);
    EXPECT_TRUE(PumpUntil([this] { return Text(ids::kNoPhoneHintLast) == texts::kNoPhoneHints[2]; }, 5s));
    Click(ids::kBack);
    ASSERT_TRUE(PumpUntil([this] { return BackAtStart(); }));
    EXPECT_NE(testing::ReadFileBytes(log).find(CodePage936FromWide(L"USB设备移除: USB\\VID_0E8D")),
              std::string::npos);
}

TEST_F(MainWindowTest, PathTooLongForTheEngineIsReportedAndNothingStarts) {
    Open();
    ChoosePackage(L"C:\\" + std::wstring(300, L'p') + L".RZB");
    Click(ids::kNext);
    PumpUntil([] { return false; }, 300ms);
    EXPECT_EQ(StripX(), 0);
    EXPECT_TRUE(Usable(ids::kNext));
    EXPECT_EQ(Text(ids::kVerifyHint), texts::kPathTooLong);
    EXPECT_FALSE(TraceHas("InitDownloadObj"));

    // A path that fits clears the notice and starts.
    ChoosePackage(package_);
    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    EXPECT_EQ(Text(ids::kVerifyHint), L"选择完ROM包之后，需要对升级包进行校验");
}

TEST_F(MainWindowTest, LogOffIsRefusedOnlyWhileAPhoneIsWritten) {
    SetScenario("speed_kbps=64"); // 256 KiB at 64 KiB/s: four seconds of writing
    Open();
    EXPECT_NE(SendMessageW(main_, WM_QUERYENDSESSION, 0, 0), 0);
    ChoosePackage(package_);
    Click(ids::kNext);
    ASSERT_TRUE(
        PumpUntil([this] { return Shown(ids::kKeepConnectedHint) && Text(ids::kUpgradePercent) != L"0%"; }));
    EXPECT_EQ(SendMessageW(main_, WM_QUERYENDSESSION, 0, 0), 0);
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    PumpUntil([] { return false; }, 600ms); // the controller's change reaches the window by its wake-up
    EXPECT_NE(SendMessageW(main_, WM_QUERYENDSESSION, 0, 0), 0);
}

// At rest only the page on screen has visible controls, so that neither the dialog manager nor a
// screen reader finds the others; the focus starts in the path box and moves to the page's first
// tab stop after each slide.
TEST_F(MainWindowTest, AtRestOnlyThePageOnScreenShowsItsControlsAndHoldsTheFocus) {
    Open();
    const HWND pathEdit = FindWindowExW(GetDlgItem(view_, ids::kPathBox), nullptr, L"EDIT", nullptr);
    EXPECT_EQ(GetFocus(), pathEdit);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(view_, ids::kSlogan)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(view_, ids::kVerifyHeading)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(view_, ids::kResultHeading)));

    ChoosePackage(package_);
    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return OnResultPage(); }));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(view_, ids::kSlogan)));
    EXPECT_FALSE(IsWindowVisible(pathEdit));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(view_, ids::kUpgradeBar)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(view_, ids::kResultHeading)));
    EXPECT_EQ(GetFocus(), Button(ids::kNext));

    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return BackAtStart(); }));
    EXPECT_TRUE(IsWindowVisible(pathEdit));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(view_, ids::kResultHeading)));
    EXPECT_EQ(GetFocus(), pathEdit);
}

// --- dpi -------------------------------------------------------------------------------------

UINT WINAPI MonitorAt144(HWND) {
    return 144;
}
UINT WINAPI MonitorAt96(HWND) {
    return 96;
}

SIZE WindowSize(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

using Edges = std::array<LONG, 4>; // left, top, right, bottom

// A child's rectangle in its parent's client coordinates.
Edges PlaceOf(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

template <UINT Dpi> UINT WINAPI MonitorAt(HWND) {
    return Dpi;
}

struct ChildPlace {
    HWND parent;
    Edges edges;
    bool label;
    int fontHeight; // labels: their font's line height
};

// Every window inside main, in creation order (EnumChildWindows' order), with its place.
std::vector<ChildPlace> Places(HWND main) {
    std::vector<ChildPlace> places;
    for (HWND child : testing::Descendants(main)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        ChildPlace place{GetParent(child), PlaceOf(child), std::wstring(name) == L"CThemedLabelCtrl", 0};
        if (place.label) {
            HDC dc = GetDC(child);
            const HGDIOBJ old =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            place.fontHeight = metrics.tmHeight;
            SelectObject(dc, old);
            ReleaseDC(child, dc);
        }
        places.push_back(place);
    }
    return places;
}

// Two siblings' edges that touch with some overlap on the other axis.
bool Meet(const Edges& a, const Edges& b) {
    const bool overlapX = a[0] < b[2] && b[0] < a[2];
    const bool overlapY = a[1] < b[3] && b[1] < a[3];
    return ((a[2] == b[0] || b[2] == a[0]) && overlapY) || ((a[3] == b[1] || b[3] == a[1]) && overlapX);
}

TEST_F(MainWindowTest, AtEachDpiNeighboursStillMeetNothingLeavesTheWindowAndTextFitsItsBox) {
    Open(DpiFunctions::WithWindowDpi(&MonitorAt<96>));
    const std::vector<ChildPlace> at96 = Places(main_);
    const std::pair<int, DpiFunctions::GetDpiForWindowFn> dpis[] = {
        {120, &MonitorAt<120>}, {144, &MonitorAt<144>}, {192, &MonitorAt<192>}};
    for (const auto& [dpi, monitor] : dpis) {
        Open(DpiFunctions::WithWindowDpi(monitor));
        const std::vector<ChildPlace> places = Places(main_);
        ASSERT_EQ(places.size(), at96.size()) << dpi;
        RECT client{};
        GetClientRect(main_, &client);
        EXPECT_EQ(client.right, ScaleForDpi(720, dpi) - 2) << dpi; // inside the 1-pixel border
        for (std::size_t i = 0; i < places.size(); ++i) {
            const Edges& e = places[i].edges;
            if (places[i].parent == main_) {
                EXPECT_TRUE(e[0] >= 0 && e[1] >= 0 && e[2] <= client.right && e[3] <= client.bottom)
                    << dpi << " dpi, child " << i;
            }
            if (places[i].label) {
                EXPECT_GE(e[3] - e[1], places[i].fontHeight) << dpi << " dpi, label " << i;
            }
            for (std::size_t j = i + 1; j < places.size(); ++j) {
                if (at96[i].parent == at96[j].parent && Meet(at96[i].edges, at96[j].edges)) {
                    EXPECT_TRUE(Meet(e, places[j].edges)) << dpi << " dpi, children " << i << " and " << j;
                }
            }
        }
    }
}

TEST_F(MainWindowTest, WithoutThePerMonitorFunctionsTheWindowShowsAtTheSystemsDpi) {
    Open(DpiFunctions::Missing());
    EXPECT_TRUE(IsWindowVisible(main_));
    EXPECT_EQ(dialog_->Dpi(), SystemDpi());
    const SIZE size = WindowSize(main_);
    EXPECT_EQ(size.cx, 720 * SystemDpi() / 96);
    EXPECT_EQ(size.cy, 500 * SystemDpi() / 96);
}

TEST_F(MainWindowTest, At144DpiTheWindowAndItsControlsAreHalfAsLargeAgain) {
    Open(DpiFunctions::WithWindowDpi(&MonitorAt144));
    const SIZE size = WindowSize(main_);
    EXPECT_EQ(size.cx, 1080);
    EXPECT_EQ(size.cy, 750);
    EXPECT_EQ(PlaceOf(Button(ids::kNext)), (Edges{795, 675, 1005, 738}));
    EXPECT_EQ(PlaceOf(Button(ids::kClose)), (Edges{987, 0, 1077, 90}));
    EXPECT_EQ(PlaceOf(GetDlgItem(view_, ids::kVerifyHint)), (Edges{405, 450, 825, 600}));
    EXPECT_EQ(PlaceOf(GetDlgItem(view_, ids::kPathBox)), (Edges{405, 329, 923, 374})); // its 150 % picture
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(view_, ids::kBrowse))); // on page 0 at this dpi too
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(view_, ids::kVerifyHeading)));

    // A whole upgrade: the strip moves by 1080 pixels a page.
    ChoosePackage(package_);
    Click(ids::kNext);
    ASSERT_TRUE(PumpUntil([this] { return StripX() == -2160 && Caption(ids::kNext) == L"完成"; })) << Where();
    EXPECT_EQ(Text(ids::kResultHeading), texts::kSucceeded);
}

TEST_F(MainWindowTest, ADpiChangeEndsTheSlideAndLaysTheWindowOutAgainWhereSuggested) {
    Open(DpiFunctions::WithWindowDpi(&MonitorAt96));
    ChoosePackage(package_);
    Click(ids::kNext); // the slide to page 1 starts
    RECT suggested{100, 80, 1180, 830};
    SendMessageW(main_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(dialog_->Dpi(), 144);
    EXPECT_EQ(StripX(), -1080);
    RECT window{};
    GetWindowRect(main_, &window);
    EXPECT_TRUE(EqualRect(&window, &suggested));
    EXPECT_EQ(PlaceOf(Button(ids::kNext)), (Edges{795, 675, 1005, 738}));
    EXPECT_EQ(PlaceOf(GetDlgItem(view_, ids::kUpgradeBar)), (Edges{1485, 366, 2070, 401}));
}

// Twenty upgrades in a row must not leave objects behind: the figures are printed, and the
// handle counts must come back to where they were after the first run.
TEST_F(MainWindowTest, TwentyUpgradesInARowLeaveNoObjectsBehind) {
    Open();
    auto counts = [] {
        PROCESS_MEMORY_COUNTERS memory{};
        K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
        return std::array<unsigned long long, 3>{static_cast<unsigned long long>(testing::GdiObjectCount()),
                                                 static_cast<unsigned long long>(testing::UserObjectCount()),
                                                 memory.WorkingSetSize / 1024};
    };
    ASSERT_TRUE(RunOneUpgrade());
    const auto first = counts();
    for (int run = 2; run <= 20; ++run)
        ASSERT_TRUE(RunOneUpgrade()) << "run " << run;
    const auto last = counts();
    std::printf("after 1 and 20 upgrades: GDI objects %llu -> %llu, USER objects %llu -> %llu, "
                "working set %llu KiB -> %llu KiB\n",
                first[0], last[0], first[1], last[1], first[2], last[2]);
    EXPECT_LE(last[0], first[0]);
    EXPECT_LE(last[1], first[1]);
}

} // namespace
} // namespace tarnvel
