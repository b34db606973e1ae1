// The end-to-end suite's eyes inside Wine: reads what the assistant's windows hold (captions,
// states, places, message box texts) and what the process uses (memory, GDI and USER objects),
// and times the page slides. It never clicks or types: the suite drives the program with real X
// input. Commands arrive one a line on stdin, each answer is one line of JSON on stdout:
//
//   main                  the main window: handle, process id, window rectangle
//   top                   the process's top-level windows (shadow, message boxes, open dialog)
//   children <hwnd>       every descendant of a window: id, class, text, shown, enabled, rectangle
//   focus                 the main window's thread's focus: handle, id, class
//   counts [<counter.dll>] memory counters, GetGuiResources, and with the DLL the objects it finds
//                         inside the process (loaded there for a moment, see object_counter.cpp)
//   watch <ms> [<x>]      for that long, or until 100 ms after the strip reached x: left button
//                         presses and releases, every move of the status view, every change of
//                         the next button; times in ms from the start
//   quit
#include "object_counts.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kMainTitle[] = L"Zemo手机升级助手";
constexpr int kNextButtonId = 1004;

std::string Utf8(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

std::string Json(const std::wstring& wide) {
    std::string out = "\"";
    for (const char c : Utf8(wide)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Json(const RECT& rect) {
    std::ostringstream out;
    out << '[' << rect.left << ',' << rect.top << ',' << rect.right << ',' << rect.bottom << ']';
    return out.str();
}

std::string HandleText(HWND hwnd) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(hwnd));
}

// Cross-process WM_GETTEXT: edit controls keep their text to themselves, so the stored window
// text would not do.
std::wstring TextOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000,
                             &copied))
        return {};
    return std::wstring(buffer, static_cast<std::size_t>(std::min<DWORD_PTR>(copied, 1023)));
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

RECT RectOf(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return rect;
}

// Without a window manager nobody draws captions and frames: what shows is the client area.
RECT ClientRectOf(HWND hwnd) {
    RECT rect{};
    GetClientRect(hwnd, &rect);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND MainWindow() {
    return FindWindowW(nullptr, kMainTitle);
}

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    if (hwnd)
        GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

void Main() {
    const HWND main = MainWindow();
    std::cout << "{\"hwnd\":" << HandleText(main) << ",\"pid\":" << ProcessOf(main)
              << ",\"shown\":" << (main && IsWindowVisible(main) ? "true" : "false")
              << ",\"rect\":" << Json(RectOf(main)) << "}\n";
}

void Focus() {
    const HWND main = MainWindow();
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = main ? GetWindowThreadProcessId(main, nullptr) : 0;
    const HWND focus = thread && GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
    std::cout << "{\"hwnd\":" << HandleText(focus) << ",\"id\":" << (focus ? GetDlgCtrlID(focus) : 0)
              << ",\"class\":" << Json(focus ? ClassOf(focus) : std::wstring()) << "}\n";
}

struct TopSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM context) {
    auto* search = reinterpret_cast<TopSearch*>(context);
    if (ProcessOf(hwnd) == search->pid)
        search->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Top() {
    TopSearch search{ProcessOf(MainWindow()), {}};
    if (search.pid)
        EnumWindows(&CollectTop, reinterpret_cast<LPARAM>(&search));
    std::cout << '[';
    for (std::size_t i = 0; i < search.found.size(); ++i) {
        const HWND hwnd = search.found[i];
        wchar_t title[256] = {};
        GetWindowTextW(hwnd, title, 256);
        std::cout << (i ? "," : "") << "{\"hwnd\":" << HandleText(hwnd)
                  << ",\"class\":" << Json(ClassOf(hwnd)) << ",\"title\":" << Json(title)
                  << ",\"shown\":" << (IsWindowVisible(hwnd) ? "true" : "false")
                  << ",\"owner\":" << HandleText(GetWindow(hwnd, GW_OWNER))
                  << ",\"rect\":" << Json(RectOf(hwnd)) << ",\"client\":" << Json(ClientRectOf(hwnd)) << '}';
    }
    std::cout << "]\n";
}

void Children(HWND parent) {
    const std::vector<HWND> found = Descendants(parent);
    std::cout << '[';
    for (std::size_t i = 0; i < found.size(); ++i) {
        const HWND hwnd = found[i];
        std::cout << (i ? "," : "") << "{\"hwnd\":" << HandleText(hwnd) << ",\"id\":" << GetDlgCtrlID(hwnd)
                  << ",\"class\":" << Json(ClassOf(hwnd)) << ",\"text\":" << Json(TextOf(hwnd))
                  << ",\"shown\":" << (IsWindowVisible(hwnd) ? "true" : "false")
                  << ",\"enabled\":" << (IsWindowEnabled(hwnd) ? "true" : "false")
                  << ",\"parent\":" << HandleText(GetParent(hwnd)) << ",\"rect\":" << Json(RectOf(hwnd))
                  << '}';
    }
    std::cout << "]\n";
}

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle)
            CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct RemoteMemory {
    HANDLE process = nullptr; // not owned
    void* address = nullptr;
    ~RemoteMemory() {
        if (address)
            VirtualFreeEx(process, address, 0, MEM_RELEASE);
    }
};

// Loads the counter DLL into the process for one count: its DllMain counts, writes the figures
// into a mapping named after the process, and refuses to stay loaded.
bool CountInside(HANDLE process, DWORD pid, const std::wstring& counterDll, ObjectCounts& counts) {
    const std::wstring name = CountsMappingName(pid);
    UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(ObjectCounts), name.c_str()));
    if (!mapping)
        return false;
    auto* shared = static_cast<ObjectCounts*>(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!shared)
        return false;
    *shared = ObjectCounts{};
    RemoteMemory path{process, VirtualAllocEx(process, nullptr, (counterDll.size() + 1) * sizeof(wchar_t),
                                              MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)};
    bool done = false;
    if (path.address && WriteProcessMemory(process, path.address, counterDll.c_str(),
                                           (counterDll.size() + 1) * sizeof(wchar_t), nullptr)) {
        // kernel32 lies at the same address in every process of a session.
        auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
        UniqueHandle thread(CreateRemoteThread(process, nullptr, 0, load, path.address, 0, nullptr));
        done = thread && WaitForSingleObject(thread.get(), 10000) == WAIT_OBJECT_0 && shared->filled == 1;
    }
    if (done)
        counts = *shared;
    UnmapViewOfFile(shared);
    return done;
}

void Counts(const std::wstring& counterDll) {
    const DWORD pid = ProcessOf(MainWindow());
    UniqueHandle process(pid ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid) : nullptr);
    if (!process) {
        std::cout << "{\"error\":\"no process\"}\n";
        return;
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(process.get(), &memory, sizeof(memory));
    SetLastError(0);
    const DWORD guiGdi = GetGuiResources(process.get(), GR_GDIOBJECTS);
    const DWORD guiError = GetLastError();
    const DWORD guiUser = GetGuiResources(process.get(), GR_USEROBJECTS);
    DWORD handles = 0;
    GetProcessHandleCount(process.get(), &handles);
    ObjectCounts inside{};
    const bool counted = !counterDll.empty() && CountInside(process.get(), pid, counterDll, inside);
    std::cout << "{\"pid\":" << pid << ",\"working_set\":" << memory.WorkingSetSize
              << ",\"peak_working_set\":" << memory.PeakWorkingSetSize
              << ",\"private_bytes\":" << memory.PagefileUsage << ",\"kernel_handles\":" << handles
              << ",\"gui_resources_gdi\":" << guiGdi << ",\"gui_resources_user\":" << guiUser
              << ",\"gui_resources_error\":" << guiError << ",\"counted\":" << (counted ? "true" : "false")
              << ",\"gdi\":" << inside.gdiTotal << ",\"gdi_dc\":" << inside.dcs
              << ",\"gdi_bitmap\":" << inside.bitmaps << ",\"gdi_brush\":" << inside.brushes
              << ",\"gdi_font\":" << inside.fonts << ",\"gdi_region\":" << inside.regions
              << ",\"gdi_pen\":" << inside.pens
              << ",\"user\":" << (inside.windows + inside.menus + inside.icons)
              << ",\"user_window\":" << inside.windows << ",\"user_menu\":" << inside.menus
              << ",\"user_icon\":" << inside.icons << "}\n";
}

// One record of a watch: what changed and when.
struct WatchEvent {
    double ms;
    std::string what;
};

HWND FindByClass(HWND parent, const wchar_t* className) {
    for (const HWND hwnd : Descendants(parent))
        if (ClassOf(hwnd) == className)
            return hwnd;
    return nullptr;
}

std::string ButtonState(HWND button) {
    wchar_t caption[64] = {};
    GetWindowTextW(button, caption, 64); // a button's caption is its stored window text
    return Json(std::wstring(caption) + (IsWindowVisible(button) ? L",shown" : L",hidden") +
                (IsWindowEnabled(button) ? L",enabled" : L",disabled"));
}

void Watch(int milliseconds, bool hasTarget, long target) {
    using Clock = std::chrono::steady_clock;
    const HWND main = MainWindow();
    const HWND view = main ? FindByClass(main, L"TarnvelAssistantDownloadView") : nullptr;
    const HWND next = main ? GetDlgItem(main, kNextButtonId) : nullptr;
    if (!view || !next) {
        std::cout << "{\"error\":\"no window\"}\n";
        return;
    }
    std::vector<WatchEvent> events;
    const Clock::time_point start = Clock::now();
    const auto now = [&] {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    // The strip's x inside its container, as the slider last set it.
    const auto stripX = [&] {
        POINT origin{0, 0};
        MapWindowPoints(view, GetParent(view), &origin, 1);
        return origin.x;
    };
    long lastX = stripX();
    std::string lastButton = ButtonState(next);
    bool lastDown = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
    events.push_back({0, "{\"x\":" + std::to_string(lastX) + ",\"next\":" + lastButton + "}"});
    double stopAt = milliseconds;
    while (now() < stopAt) {
        const double t = now();
        const bool down = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
        if (down != lastDown) {
            events.push_back({t, down ? "{\"button\":\"down\"}" : "{\"button\":\"up\"}"});
            lastDown = down;
        }
        const long x = stripX();
        if (x != lastX) {
            events.push_back({t, "{\"x\":" + std::to_string(x) + "}"});
            lastX = x;
            if (hasTarget && x == target)
                stopAt = std::min(stopAt, t + 100);
        }
        const std::string button = ButtonState(next);
        if (button != lastButton) {
            events.push_back({t, "{\"next\":" + button + "}"});
            lastButton = button;
        }
        Sleep(1);
    }
    std::cout << '[';
    for (std::size_t i = 0; i < events.size(); ++i) {
        char stamp[32];
        std::snprintf(stamp, sizeof(stamp), "%.2f", events[i].ms);
        std::cout << (i ? "," : "") << "{\"ms\":" << stamp << ",\"event\":" << events[i].what << '}';
    }
    std::cout << "]\n";
}

std::wstring WideFrom(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

} // namespace

int wmain() {
    std::string line;
    while (std::getline(std::cin, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        const std::size_t space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (command == "main")
            Main();
        else if (command == "top")
            Top();
        else if (command == "children")
            Children(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(argument))));
        else if (command == "focus")
            Focus();
        else if (command == "counts")
            Counts(WideFrom(argument));
        else if (command == "watch") {
            std::istringstream words(argument);
            int milliseconds = 0;
            long target = 0;
            words >> milliseconds;
            const bool hasTarget = static_cast<bool>(words >> target);
            Watch(milliseconds, hasTarget, target);
        } else if (command == "quit")
            break;
        else
            std::cout << "{\"error\":\"unknown command\"}\n";
        std::cout.flush();
    }
    return 0;
}
