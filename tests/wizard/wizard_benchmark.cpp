// Figures, not assertions: how long a page slide takes and how often the strip is painted on the
// way, and how long a hook holds the thread that calls it while the UI thread is busy.
#include "controls/document_view.h"
#include "wizard/download_view.h"
#include "wizard/event_queue.h"
#include "wizard/main_skin.h"
#include "wizard/page_slider.h"
#include "wizard/wizard_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace tarnvel {
namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class Host {
public:
    Host() {
        hwnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, 720, 500,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        container.contentRect = kMainLayout.pageContent;
        container.Create(hwnd, {2, 104, 718, 438}, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                         WS_EX_WINDOWEDGE, 0);
        view = container.ContentAs<CTarnvelAssistantDownloadView>();
        MoveWindow(view->Handle(), 0, 0, kStripWidth, kStripHeight, TRUE);
        UpdateWindow(hwnd);
    }
    ~Host() { DestroyWindow(hwnd); }

    HWND hwnd = nullptr;
    StatusViewLogic status;
    CDocumentView container{[this] {
        return std::make_unique<CTarnvelAssistantDownloadView>(status);
    }};
    CTarnvelAssistantDownloadView* view = nullptr;
};

std::atomic<int> g_paints{0};

LRESULT CALLBACK CountPaints(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_PAINT)
        ++g_paints;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// The slider as the main window runs it: a 20 ms timer, one step per tick, the strip moved and
// repainted at each.
TEST(WizardBenchmark, PageSlides) {
    Host host;
    ASSERT_NE(host.view, nullptr);
    SetWindowSubclass(host.view->Handle(), &CountPaints, 1, 0);
    struct Slide {
        int from;
        int to;
    };
    for (const Slide slide : {Slide{0, 1}, Slide{1, 2}, Slide{2, 0}, Slide{0, 1}, Slide{1, 0}}) {
        PageSlider slider;
        slider.Start(slide.from, slide.to);
        MoveWindow(host.view->Handle(), PageLeft(slide.from), 0, kStripWidth, kStripHeight, TRUE);
        UpdateWindow(host.view->Handle());
        g_paints = 0;
        int ticks = 0;
        const Clock::time_point start = Clock::now();
        SetTimer(host.hwnd, timers::kSlide, timers::kSlidePeriodMs, nullptr);
        MSG msg;
        while (slider.Running() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.hwnd == host.hwnd && msg.wParam == timers::kSlide) {
                ++ticks;
                const PageSlider::Step step = slider.Tick();
                MoveWindow(host.view->Handle(), step.x, 0, kStripWidth, kStripHeight, TRUE);
                if (step.arrived)
                    KillTimer(host.hwnd, timers::kSlide);
                continue;
            }
            DispatchMessageW(&msg);
        }
        // Paints still pending for the last position belong to this slide.
        UpdateWindow(host.view->Handle());
        const double elapsed = Milliseconds(Clock::now() - start);
        std::printf("slide %d -> %d: %d ticks, %.0f ms (ideal %d ms), %d paints of the strip\n", slide.from,
                    slide.to, ticks, elapsed, ticks * 20, g_paints.load());
    }
    RemoveWindowSubclass(host.view->Handle(), &CountPaints, 1);
}

// An engine thread reports a download's worth of progress while the UI thread takes the work and
// repaints the upgrade line: the time each hook call holds the engine's thread.
TEST(WizardBenchmark, HookCallsWhileTheUiIsLive) {
    Host host;
    ASSERT_NE(host.view, nullptr);
    constexpr UINT kWake = WM_APP;
    const HWND target = host.hwnd;
    EventQueue queue;
    queue.Attach([target] { return PostMessageW(target, kWake, 0, 0) != FALSE; });
    host.view->Logic().ShowUpgrading();

    DownloadEventSink& sink = queue;
    std::vector<double> held;
    std::atomic<bool> done{false};
    std::thread engine([&] {
        held.reserve(20000);
        for (int i = 0; i < 20000; ++i) {
            const std::int32_t percent = i * 99 / 20000;
            const Clock::time_point start = Clock::now();
            if (i % 100 == 0)
                sink.OnDownloadEvent({DownloadEventKind::UpgradeStarted});
            else
                sink.OnDownloadEvent({DownloadEventKind::Progress, percent});
            held.push_back(Milliseconds(Clock::now() - start) * 1000.0);
            if (i % 50 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
        PostMessageW(target, WM_NULL, 0, 0);
    });
    int batches = 0;
    MSG msg;
    while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kWake && msg.hwnd == target) {
            ++batches;
            for (const DownloadEvent& event : queue.TakeAll())
                if (event.kind == DownloadEventKind::Progress)
                    host.view->Logic().SetDownloadPercent(event.percent);
            continue;
        }
        DispatchMessageW(&msg);
    }
    engine.join();
    queue.Detach();

    std::sort(held.begin(), held.end());
    std::printf("hook calls: %zu, UI batches: %d; held the caller median %.1f us, 99th percentile %.1f us, "
                "max %.1f us\n",
                held.size(), batches, held[held.size() / 2], held[held.size() * 99 / 100], held.back());
}

} // namespace
} // namespace tarnvel
