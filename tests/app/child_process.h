// Runs the real program (or any Windows program) as a child process and looks at its windows
// from outside, the way a user would see them.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnvel::test {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// The folder of the running test program: where the build puts the exe and the stand-ins.
std::filesystem::path BinFolder();

// An empty folder under the build tree for one test; whatever an earlier run left is removed.
std::filesystem::path FreshScratchFolder(const std::string& name);

// The lines of a UTF-8 text file; none when it does not exist.
std::vector<std::string> ReadLines(const std::filesystem::path& file);

// The first four bytes of a file ("MDMP" for a minidump); fewer when it is shorter.
std::string FileSignature(const std::filesystem::path& file);

std::wstring ClassName(HWND window);
std::wstring WindowText(HWND window);
std::vector<HWND> ChildWindows(HWND parent);
// Visible top-level windows that belong to the process.
std::vector<HWND> VisibleWindowsOf(DWORD processId);

// A dialog made by MessageBoxW: its text is the static child with id 0xFFFF.
bool IsMessageBox(HWND window);
// The program's main window: a dialog that is not a message box.
bool IsMainDialog(HWND window);

class ChildProcess {
public:
    // Starts the program with the given working folder (and one plain ASCII argument, if any);
    // Started() tells whether that worked.
    ChildProcess(const std::filesystem::path& exe, const std::filesystem::path& workingFolder,
                 const std::string& argument = {});
    // Ends the process if it still runs, so that a failed test leaves nothing behind.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.get(); }
    bool IsRunning() const;
    bool WaitForExit(DWORD timeoutMs) const;
    // The exit code as the signed value the program returned.
    int ExitCode() const;

    // The first visible top-level window of the process that `match` accepts; nullptr when none
    // appeared before the timeout or the end of the process.
    HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) const;

    // Waits for the end of the process, looking for its windows meanwhile.
    struct Ending {
        bool exited = false;
        bool windowSeen = false;
    };
    Ending WatchUntilExit(DWORD timeoutMs) const;

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

} // namespace tarnvel::test
