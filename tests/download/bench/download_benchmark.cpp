// Figures for the download core: what posting a log line costs the posting thread, how long a
// callback holds the engine's thread (in this process, and in the engine host), how long the host
// takes to relay a report, the writer's throughput and largest backlog in a storm, the host's start,
// an engine crash's way to the failure, a close with a hung engine, and the CPU time an idle
// controller uses. Prints figures; asserts nothing.
//
//   download_benchmark [storm seconds (10)] [idle seconds (10)]
//
// Run it from its own folder (build/<preset>/bin/bench), which holds the simulated engine.
#include "download/engine_events.h"
#include "download/engine_host_session.h"
#include "download/system_controller.h"
#include "support/sim_fixture.h"
#include "log/cell_log.h"
#include "text/code_page.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace tarnvel;

double Ticks() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency * 1e6; // microseconds
}

struct Summary {
    double median, p99, p999, max;
};

Summary Summarise(std::vector<double> samples) {
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
    };
    return {at(0.5), at(0.99), at(0.999), samples.back()};
}

void Print(const char* what, const Summary& s, std::size_t count) {
    std::printf("%-58s n=%-8zu median %7.2f us  p99 %8.2f us  p99.9 %8.2f us  max %9.1f us\n", what, count,
                s.median, s.p99, s.p999, s.max);
}

std::wstring TypicalLine(int i) {
    return L"HNDA:UShowProgress:0, 734003200, " + std::to_wstring(i * 65536);
}

void PostLineAlone() {
    CellLog log;
    log.OpenLog(0);
    std::vector<double> samples;
    constexpr int kLines = 100000;
    samples.reserve(kLines);
    for (int i = 0; i < kLines; ++i) {
        const std::wstring line = TypicalLine(i);
        const double start = Ticks();
        log.PostLine(0, LevelInfo, line);
        samples.push_back(Ticks() - start);
        if (i % 64 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200)); // let the writer run alongside
    }
    Print("PostLine, one thread, writer running, cell open", Summarise(samples), samples.size());
}

// `threads` posters together post `rate` lines a second for `seconds` to cells 0 and 1 (both
// open); a monitor samples the backlog every millisecond.
void Storm(int seconds, int rate, int threads) {
    auto log = std::make_unique<CellLog>();
    log->OpenLog(0);
    log->OpenLog(1);
    const std::wstring files[2] = {log->FileNameOf(0), log->FileNameOf(1)};
    std::atomic<bool> done{false};
    std::atomic<std::size_t> maxBacklog{0};
    std::thread monitor([&] {
        while (!done) {
            maxBacklog = std::max(maxBacklog.load(), log->QueuedLines());
            Sleep(1);
        }
    });
    std::vector<std::vector<double>> samples(static_cast<std::size_t>(threads));
    std::vector<std::thread> posters;
    const double begin = Ticks();
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            const double perUs = rate / 1e6 / threads;
            long long sent = 0;
            while (Ticks() - begin < seconds * 1e6) {
                const auto due = static_cast<long long>((Ticks() - begin) * perUs);
                for (; sent < due; ++sent) {
                    const std::wstring line =
                        TypicalLine(static_cast<int>(sent)) + L" t" + std::to_wstring(t);
                    const double start = Ticks();
                    log->PostLine(static_cast<unsigned>(sent % 2), LevelInfo, line);
                    samples[static_cast<std::size_t>(t)].push_back(Ticks() - start);
                }
                Sleep(1);
            }
        });
    }
    for (auto& poster : posters)
        poster.join();
    const double posted = Ticks();
    // Wait for the writer to catch up, then end the log.
    while (log->QueuedLines() > 0)
        Sleep(1);
    const double drained = Ticks();
    done = true;
    monitor.join();
    log.reset();
    std::vector<double> all;
    for (auto& s : samples)
        all.insert(all.end(), s.begin(), s.end());
    std::size_t written = 0, bytes = 0;
    for (const auto& file : files) {
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        std::string content;
        char buffer[65536];
        DWORD got = 0;
        while (handle != INVALID_HANDLE_VALUE && ReadFile(handle, buffer, sizeof(buffer), &got, nullptr) &&
               got > 0)
            content.append(buffer, got);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        written += static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n'));
        bytes += content.size();
    }
    Print("PostLine during the storm (posting threads)", Summarise(all), all.size());
    std::printf(
        "storm: %d s at %d lines/s from %d threads: posted %zu, written %zu (%zu bytes), largest backlog %zu "
        "lines, backlog gone %.0f ms after the last post\n",
        seconds, rate, threads, all.size(), written, bytes, maxBacklog.load(), (drained - posted) / 1000);
}

void WriterThroughput() {
    auto log = std::make_unique<CellLog>();
    log->OpenLog(0);
    constexpr int kLines = 200000;
    for (int i = 0; i < kLines; ++i)
        log->PostLine(0, LevelInfo, TypicalLine(i));
    const double start = Ticks();
    while (log->QueuedLines() > 0)
        Sleep(1);
    const double elapsed = Ticks() - start;
    log.reset();
    std::printf("writer throughput: %d queued lines written in %.0f ms = %.0f lines/s\n", kLines,
                elapsed / 1000, kLines / (elapsed / 1e6));
}

class NoOpSink final : public DownloadEventSink {
public:
    void OnDownloadEvent(const DownloadEvent&) override {}
};

void CallbackHold() {
    static NoOpSink sink;
    SystemController system; // registered; no engine needed to take the callbacks
    DownloadController& controller = *system;
    controller.SetEventSink(&sink);
    std::vector<double> progress, message;
    MsgInfoRecord record{};
    record.msgType = 2;
    const std::wstring text = L"Phone connected on COM10";
    text.copy(record.text, 255);
    for (int i = 0; i < 50000; ++i) {
        double start = Ticks();
        UShowProgress(0, 1000000, i % 980000);
        progress.push_back(Ticks() - start);
        start = Ticks();
        USendMsgInfo(record);
        message.push_back(Ticks() - start);
        if (i % 64 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    Print("in process, UShowProgress holds the engine's thread", Summarise(progress), progress.size());
    Print("in process, USendMsgInfo holds the engine's thread", Summarise(message), message.size());
    controller.Shutdown();
}

// The engine host's side. Each run gets the simulated engine's scenario and a package in a scratch
// folder beside the benchmark.
class HostRun final : public DownloadEventSink {
public:
    explicit HostRun(const std::string& scenario) {
        RemoveDirectoryTree();
        CreateDirectoryW(folder_.c_str(), nullptr);
        const std::string text = "trace=" + Utf8FromWide(folder_ + L"\\trace.txt") +
                                 ";storage=" + Utf8FromWide(folder_ + L"\\phone0.bin") +
                                 ";arrival_ms=50;verify_ms=20;" + scenario;
        SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", WideFromUtf8(text).c_str());
        package_ = folder_ + L"\\p.rzb";
        tarnvel::testing::WritePackage(package_, 16, "5512Q", tarnvel::testing::GeneratedPayload(600000));
        controller().SetEventSink(this);
        controller().LoadEngine();
    }
    ~HostRun() {
        controller().Shutdown();
        SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", nullptr);
    }

    DownloadController& controller() { return **system_; }
    void Verify() {
        controller().SetPackagePath(package_);
        controller().PostCommand(Command::Verify);
    }
    // When the event came (microseconds), or a negative number when it did not within 30 s.
    double WaitFor(DownloadEventKind kind) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(30), [&] { return seen_[Index(kind)] >= 0; });
        return seen_[Index(kind)];
    }
    std::vector<std::string> Trace() const {
        std::vector<std::string> lines;
        HANDLE file = CreateFileW((folder_ + L"\\trace.txt").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        std::string content(1 << 20, '\0');
        DWORD got = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
            CloseHandle(file);
        }
        content.resize(got);
        std::size_t start = 0;
        for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(content.substr(start, end - start - (end > start && content[end - 1] == '\r')));
        return lines;
    }

    void OnDownloadEvent(const DownloadEvent& event) override {
        const double now = Ticks();
        {
            std::lock_guard lock(mutex_);
            double& when = seen_[Index(event.kind)];
            if (when < 0)
                when = now;
        }
        changed_.notify_all();
    }

private:
    static std::size_t Index(DownloadEventKind kind) { return static_cast<std::size_t>(kind); }
    void RemoveDirectoryTree() {
        for (const wchar_t* name : {L"trace.txt", L"phone0.bin", L"p.rzb"})
            DeleteFileW((folder_ + L"\\" + name).c_str());
    }

    const std::wstring folder_ = ExecutableFolder() + L"\\host-bench";
    std::wstring package_;
    std::unique_ptr<SystemController> system_ = std::make_unique<SystemController>();
    std::mutex mutex_;
    std::condition_variable changed_;
    double seen_[static_cast<std::size_t>(DownloadEventKind::CloseAllowedChanged) + 1] = {-1, -1, -1, -1,
                                                                                          -1, -1, -1, -1};
};

// Microseconds of the performance counter, which every process on the machine shares.
double CounterMicroseconds(long long count) {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(count) / frequency * 1e6;
}

std::mutex g_relayMutex;
std::vector<double> g_relays;        // from the engine's callback to the program's reader, microseconds
std::atomic<double> g_crashSaid{-1}; // when the engine's last words reached the program

void ObserveRelays(const host::Report& report) {
    const auto* message = std::get_if<MsgInfoRecord>(&report);
    if (message == nullptr)
        return;
    const double now = Ticks();
    const std::wstring text(message->text);
    if (text.starts_with(L"Crashing at ")) {
        g_crashSaid = now;
    } else if (text.starts_with(L"storm ") && message->detail[0] != L'\0') {
        const double sent = CounterMicroseconds(std::wcstoll(message->detail, nullptr, 10));
        std::lock_guard lock(g_relayMutex);
        g_relays.push_back(now - sent);
    }
}

void HostFigures() {
    ObserveEngineReports(&ObserveRelays);
    {
        HostRun run("storm_rate=3000;storm_threads=4;speed_kbps=400;chunk_kb=16;storm_stamp=1");
        std::printf("engine host start (CreateProcess to the engine loaded): %.1f ms\n",
                    LastEngineHostStartMs());
        run.Verify();
        const bool done = run.WaitFor(DownloadEventKind::UpgradeSucceeded) >= 0;
        run.controller().Shutdown();
        std::vector<double> relays;
        {
            std::lock_guard lock(g_relayMutex);
            relays.swap(g_relays);
        }
        Print("relay: storm message, engine's callback to the program", Summarise(relays), relays.size());
        for (const auto& line : run.Trace()) {
            if (line.starts_with("storm holds"))
                std::printf("through the host, %s (us)\n", line.c_str());
        }
        if (!done)
            std::printf("the storm's upgrade did not end within 30 s\n");
    }
    {
        HostRun run("outcome=crash;crash_at=30;chunk_kb=16;speed_kbps=400");
        run.Verify();
        const double failed = run.WaitFor(DownloadEventKind::UpgradeFailed);
        if (failed >= 0 && g_crashSaid >= 0)
            std::printf("engine crash: from its last words to the wizard's failure event %.0f ms (the host's "
                        "dump included)\n",
                        (failed - g_crashSaid) / 1000);
    }
    for (const char* scenario : {"outcome=never;stop_hangs=1", "outcome=never;release_hangs=1"}) {
        HostRun run(scenario);
        run.Verify();
        run.WaitFor(DownloadEventKind::VerifyPassed);
        Sleep(300);
        const double start = Ticks();
        run.controller().Shutdown();
        std::printf("close with %s: Shutdown took %.0f ms\n", scenario, (Ticks() - start) / 1000);
    }
    ObserveEngineReports(nullptr);
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

void Idle(int seconds) {
    SystemController system;
    DownloadController& controller = *system;
    controller.LoadEngine(); // the control thread and the log's writer wait; nothing happens
    Sleep(200);
    const double before = CpuSeconds();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const double used = CpuSeconds() - before;
    controller.Shutdown();
    std::printf("idle: %.1f ms of CPU in %d s with the engine loaded (%.3f %% of one core)\n", used * 1000,
                seconds, used / seconds * 100);
}

} // namespace

int main(int argc, char** argv) {
    const int stormSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    std::printf("download core benchmark (%s)\n", sizeof(void*) == 8 ? "64-bit" : "32-bit");
    PostLineAlone();
    CallbackHold();
    WriterThroughput();
    Storm(stormSeconds, 2000, 4);
    HostFigures();
    Idle(idleSeconds);
    return 0;
}
