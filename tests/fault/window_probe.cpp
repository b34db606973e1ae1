// Prints what the assistant's main window shows, for the fault runs: the page the status view
// stands at, and the back and next buttons' state. One line, or "none" without a window.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    HWND view = nullptr;
    int widest = 0;
};

BOOL CALLBACK FindView(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    RECT rect{};
    GetWindowRect(child, &rect);
    if (rect.right - rect.left > search->widest) {
        search->widest = rect.right - rect.left;
        search->view = child;
    }
    return TRUE;
}

void PrintButton(HWND window, int id, const char* name) {
    HWND button = GetDlgItem(window, id);
    wchar_t caption[64] = {};
    if (button)
        GetWindowTextW(button, caption, 64);
    char utf8[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, caption, -1, utf8, sizeof(utf8), nullptr, nullptr);
    std::printf(" %s=%s,%s,%s", name, button && IsWindowVisible(button) ? "shown" : "hidden",
                button && IsWindowEnabled(button) ? "enabled" : "disabled", utf8);
}

} // namespace

// The message box the window shows, if any: its caption ("提示" asks, "警告" refuses).
void PrintDialog(HWND owner) {
    HWND dialog = nullptr;
    while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
        if (GetWindow(dialog, GW_OWNER) != owner || !IsWindowVisible(dialog))
            continue;
        wchar_t caption[64] = {};
        GetWindowTextW(dialog, caption, 64);
        char utf8[256] = {};
        WideCharToMultiByte(CP_UTF8, 0, caption, -1, utf8, sizeof(utf8), nullptr, nullptr);
        std::printf(" dialog=%s", utf8);
        return;
    }
    std::printf(" dialog=-");
}

int wmain() {
    HWND window = FindWindowW(nullptr, L"Zemo手机升级助手");
    if (!window) {
        std::printf("none\n");
        return 0;
    }
    // The status view is the one window far wider than the main window: three pages side by side.
    Search search;
    EnumChildWindows(window, FindView, reinterpret_cast<LPARAM>(&search));
    int page = -1;
    if (search.view && search.widest >= 2160) {
        RECT view{}, container{};
        GetWindowRect(search.view, &view);
        GetWindowRect(GetParent(search.view), &container);
        const int x = view.left - container.left;
        if (x <= 0 && x % 720 == 0)
            page = -x / 720;
    }
    RECT frame{};
    GetWindowRect(window, &frame);
    std::printf("window=%ld,%ld page=%d", frame.left, frame.top, page);
    PrintButton(window, 1003, "back");
    PrintButton(window, 1004, "next");
    PrintDialog(window);
    std::printf("\n");
    return 0;
}
