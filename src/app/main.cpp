// Process entry and the program's wiring: platform services, crash dumps, single instance,
// updater, then the message loop, the download controller and the main window they serve.
#include "app/mini_dumper.h"
#include "app/update_check.h"
#include "download/system_controller.h"
#include "platform/dll_search.h"
#include "platform/message_loop.h"
#include "platform/unique_handle.h"
#include "wizard/main_dlg.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <gdiplus.h>

#include <memory>

namespace tarnvel {

namespace {

constexpr wchar_t kInstanceMutexName[] = L"TarnVel Download Assistant.exe";
constexpr wchar_t kAlreadyRunningText[] = L"TarnVel Download Assistant already running...";

int RunMainWindow(int showCommand) {
    MessageLoop loop;

    int exitCode = 0;
    const bool updaterTookOver = RunUpdateCheck();
    MiniDumper::ReassertFilter(); // the updater may have left a filter of its own, in code now unloaded
    if (!updaterTookOver) {
        // The controller outlives the window, which shuts it down when it closes.
        SystemController controller;
        auto mainDlg = std::make_unique<CMainDlg>(*controller, &loop, DpiFunctions::FromSystem());
        if (mainDlg->Create()) {
            ShowWindow(mainDlg->Handle(), showCommand);
            exitCode = loop.Run();
        }
    }
    return exitCode;
}

} // namespace

} // namespace tarnvel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    using namespace tarnvel;
    // A system library that Windows loads later for one of its own (uxtheme, msimg32, ...) must
    // not come from the program's folder, which is often Downloads.
    HardenDllSearchPath(DllSearch::SystemOnly);

    CoInitialize(nullptr);
    Gdiplus::GdiplusStartupInput gdiplusInput; // version 1, no debug callback, own thread, codecs
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    static MiniDumper dumper; // lives until the process ends

    // The mutex is never owned: its existence is the guard, and its handle stays open as long as
    // the program runs.
    const UniqueHandle instanceMutex(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBoxW(nullptr, kAlreadyRunningText, nullptr, MB_OK);
        return -1;
    }

    const int result = RunMainWindow(showCommand);

    CoUninitialize();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return result;
}
