// Console harness: the real DownloadController with an event sink that prints each event,
// driven by a script given as arguments, one step per argument. Put it beside a dVarnok.dll (the simulated
// engine) and run, for example:
//
//   tarnvel_harness path=C:\pkg\p.rzb verify until=OnVerifyPassed until=OnProgress>=50 shutdown
//
// Steps:
//   path=<file>        SetPackagePath (prints whether it was accepted)
//   verify             PostCommand(Command::Verify)
//   post=<code>        PostCommand(code)
//   back               BeginStop, then PostCommand(Command::EndLog), as the wizard's Back button does
//   sleep=<ms>         waits
//   until=<hook>[#n][:<ms>]      waits until the event printed as <hook> (OnVerifyPassed, ...)
//                                came n times (default 1) in all, at most ms (default 30000);
//                                a timeout ends the script
//   until=OnProgress>=<p>[:<ms>] waits for a progress report of at least p percent
//   close?             prints IsCloseAllowed
//   shutdown           Shutdown (prints how long it took); done at the end anyway
//
// Output, one line per event: "[+<ms since start> ms] <what>". Exit code 0, or 3 after a
// timeout, 2 for a bad step.
#include "download/system_controller.h"
#include "hook_names.h"
#include "text/code_page.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace {

using namespace tarnvel;
using Clock = std::chrono::steady_clock;

const Clock::time_point g_start = Clock::now();
std::mutex g_mutex; // guards the counts and the output
std::condition_variable g_changed;
std::map<std::string, int> g_counts;
int g_bestProgress = -1;

void Print(const std::string& text) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_start).count();
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "[+%06lld ms] ", static_cast<long long>(ms));
    const std::string line = stamp + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void Report(const char* name, int value, bool progress) {
    {
        std::lock_guard lock(g_mutex);
        ++g_counts[name];
        if (progress)
            g_bestProgress = std::max(g_bestProgress, value);
        Print(std::string(name) + " " + std::to_string(value));
    }
    g_changed.notify_all();
}

// Prints each event under the name scripts wait for; the change of the close answer is asked
// for with "close?" instead.
class PrintingSink final : public DownloadEventSink {
public:
    void OnDownloadEvent(const DownloadEvent& event) override {
        const bool progress = event.kind == DownloadEventKind::Progress;
        if (const char* name = HookName(event.kind))
            Report(name, progress ? event.percent : 0, progress);
    }
};

void Say(const std::string& text) {
    std::lock_guard lock(g_mutex);
    Print(text);
}

// "until=<hook>[#n][:<ms>]" or "until=OnProgress>=<p>[:<ms>]"; false on timeout.
bool Until(std::string condition) {
    int timeoutMs = 30000;
    if (const auto colon = condition.find(':'); colon != std::string::npos) {
        timeoutMs = std::atoi(condition.c_str() + colon + 1);
        condition.resize(colon);
    }
    std::unique_lock lock(g_mutex);
    bool met = false;
    if (const auto atLeast = condition.find(">="); atLeast != std::string::npos) {
        const int percent = std::atoi(condition.c_str() + atLeast + 2);
        met = g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [percent] { return g_bestProgress >= percent; });
    } else {
        int times = 1;
        if (const auto hash = condition.find('#'); hash != std::string::npos) {
            times = std::atoi(condition.c_str() + hash + 1);
            condition.resize(hash);
        }
        met = g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return g_counts[condition] >= times; });
    }
    if (!met)
        Print("timeout waiting for " + condition);
    return met;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    static PrintingSink sink; // outlives the controller
    SystemController system;
    DownloadController& controller = *system;
    controller.SetEventSink(&sink);
    controller.LoadEngine();
    Say("> load");
    bool shutDown = false;
    int result = 0;
    for (int i = 1; i < argc && result == 0; ++i) {
        const std::wstring step = argv[i];
        const std::wstring::size_type equals = step.find(L'=');
        const std::wstring name = step.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? L"" : step.substr(equals + 1);
        Say("> " + Utf8FromWide(step));
        if (name == L"path") {
            Say(std::string("SetPackagePath ") + (controller.SetPackagePath(value) ? "accepted" : "refused"));
        } else if (name == L"verify") {
            controller.PostCommand(Command::Verify);
        } else if (name == L"post") {
            controller.PostCommand(static_cast<Command>(_wtoi(value.c_str())));
        } else if (name == L"back") {
            controller.BeginStop();
            controller.PostCommand(Command::EndLog);
        } else if (name == L"sleep") {
            Sleep(static_cast<DWORD>(_wtoi(value.c_str())));
        } else if (name == L"until") {
            if (!Until(Utf8FromWide(value)))
                result = 3;
        } else if (name == L"close?") {
            Say(std::string("IsCloseAllowed ") + (controller.IsCloseAllowed() ? "1" : "0"));
        } else if (name == L"shutdown") {
            const auto before = Clock::now();
            controller.Shutdown();
            shutDown = true;
            Say("Shutdown took " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count()) +
                " ms");
        } else {
            Say("bad step");
            result = 2;
        }
    }
    if (!shutDown) {
        controller.Shutdown();
        Say("Shutdown");
    }
    Say("end");
    return result;
}
