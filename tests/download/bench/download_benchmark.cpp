// Figures for the download core: what posting a log line costs the posting thread, how long a
// callback holds the engine's thread, the writer's throughput and largest backlog in a storm,
// and the CPU time an idle controller uses. Prints figures; asserts nothing.
//
//   download_benchmark [storm seconds (10)] [idle seconds (10)]
//
// Run it from its own folder (build/<preset>/bin/bench), which holds the simulated engine.
#include "download/system_controller.h"
#include "download/engine_events.h"
#include "log/cell_log.h"
#include "text/code_page.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
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
    Print("UShowProgress holds the engine's thread (no-op sink)", Summarise(progress), progress.size());
    Print("USendMsgInfo holds the engine's thread (no-op sink)", Summarise(message), message.size());
    controller.Shutdown();
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
    Idle(idleSeconds);
    return 0;
}
