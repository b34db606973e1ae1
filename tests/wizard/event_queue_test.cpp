#include "wizard/event_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tarnvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(EventQueue, KeepsThePostingOrderAndWakesOncePerBatch) {
    EventQueue queue;
    int wakes = 0;
    queue.Attach([&] {
        ++wakes;
        return true;
    });
    queue.Push({DownloadEventKind::VerifyPassed});
    queue.Push({DownloadEventKind::UpgradeBegin});
    queue.Push({DownloadEventKind::UpgradeStarted});
    EXPECT_EQ(wakes, 1);
    EXPECT_THAT(queue.TakeAll(), ElementsAre(DownloadEvent{DownloadEventKind::VerifyPassed},
                                             DownloadEvent{DownloadEventKind::UpgradeBegin},
                                             DownloadEvent{DownloadEventKind::UpgradeStarted}));
    queue.Push({DownloadEventKind::UpgradeFailed});
    EXPECT_EQ(wakes, 2);
    EXPECT_THAT(queue.TakeAll(), ElementsAre(DownloadEvent{DownloadEventKind::UpgradeFailed}));
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
}

TEST(EventQueue, OnlyTheLatestOfConsecutiveProgressReportsIsKept) {
    EventQueue queue;
    queue.Attach([] { return true; });
    queue.Push({DownloadEventKind::UpgradeBegin});
    queue.Push({DownloadEventKind::Progress, 10});
    queue.Push({DownloadEventKind::Progress, 11});
    queue.Push({DownloadEventKind::UpgradeStarted});
    queue.Push({DownloadEventKind::Progress, 12});
    queue.Push({DownloadEventKind::Progress, 13});
    EXPECT_THAT(queue.TakeAll(), ElementsAre(DownloadEvent{DownloadEventKind::UpgradeBegin},
                                             DownloadEvent{DownloadEventKind::Progress, 11},
                                             DownloadEvent{DownloadEventKind::UpgradeStarted},
                                             DownloadEvent{DownloadEventKind::Progress, 13}));
}

TEST(EventQueue, FailedWakeUpIsTriedAgainWithTheNextWork) {
    EventQueue queue;
    int attempts = 0;
    bool accept = false;
    queue.Attach([&] {
        ++attempts;
        return accept;
    });
    queue.Push({DownloadEventKind::VerifyPassed});
    accept = true;
    queue.Push({DownloadEventKind::UpgradeBegin});
    queue.Push({DownloadEventKind::UpgradeStarted});
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(queue.TakeAll().size(), 3u); // nothing was lost by the failed post
}

// The controller's change of whether closing is allowed wakes the UI thread with no work; a
// wake-up that could not be posted is reported until the UI thread has taken what waits.
TEST(EventQueue, NudgeWakesWithoutWorkAndAFailedPostIsReportedAsMissed) {
    EventQueue queue;
    int attempts = 0;
    bool accept = true;
    queue.Attach([&] {
        ++attempts;
        return accept;
    });
    queue.Nudge();
    queue.Nudge(); // the first wake-up is not taken yet
    EXPECT_EQ(attempts, 1);
    EXPECT_FALSE(queue.WakeMissed());
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
    accept = false;
    queue.Nudge();
    EXPECT_TRUE(queue.WakeMissed());
    queue.TakeAll();
    EXPECT_FALSE(queue.WakeMissed());
}

// The controller hands its events to the window's queue as a sink: a run's events come out in
// order with the progress coalesced, the close change only wakes, one wake-up covers them all,
// and after Detach nothing is kept.
TEST(EventQueue, AsTheControllersSinkCarriesARunInOrderWithOneWakeUp) {
    EventQueue queue;
    int wakes = 0;
    queue.Attach([&] {
        ++wakes;
        return true;
    });
    DownloadEventSink& sink = queue;
    for (const DownloadEvent& event :
         {DownloadEvent{DownloadEventKind::VerifyPassed},
          DownloadEvent{DownloadEventKind::CloseAllowedChanged},
          DownloadEvent{DownloadEventKind::UpgradeBegin}, DownloadEvent{DownloadEventKind::Progress, 10},
          DownloadEvent{DownloadEventKind::Progress, 11}, DownloadEvent{DownloadEventKind::UpgradeStarted},
          DownloadEvent{DownloadEventKind::Progress, 12}, DownloadEvent{DownloadEventKind::UpgradeSucceeded}})
        sink.OnDownloadEvent(event);
    EXPECT_EQ(wakes, 1);
    EXPECT_THAT(queue.TakeAll(), ElementsAre(DownloadEvent{DownloadEventKind::VerifyPassed},
                                             DownloadEvent{DownloadEventKind::UpgradeBegin},
                                             DownloadEvent{DownloadEventKind::Progress, 11},
                                             DownloadEvent{DownloadEventKind::UpgradeStarted},
                                             DownloadEvent{DownloadEventKind::Progress, 12},
                                             DownloadEvent{DownloadEventKind::UpgradeSucceeded}));
    sink.OnDownloadEvent({DownloadEventKind::CloseAllowedChanged});
    EXPECT_EQ(wakes, 2);
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
    queue.Detach();
    sink.OnDownloadEvent({DownloadEventKind::UpgradeFailed});
    sink.OnDownloadEvent({DownloadEventKind::CloseAllowedChanged});
    EXPECT_EQ(wakes, 2);
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
}

TEST(EventQueue, WorkOutsideAttachAndDetachIsDropped) {
    EventQueue queue;
    queue.Push({DownloadEventKind::VerifyFailed}); // before the window exists
    int wakes = 0;
    queue.Attach([&] {
        ++wakes;
        return true;
    });
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
    queue.Push({DownloadEventKind::VerifyPassed});
    queue.Detach(); // the window goes: queued work goes with it
    queue.Push({DownloadEventKind::UpgradeSucceeded});
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
    EXPECT_EQ(wakes, 1);
}

// Several engine threads report at once while the UI thread takes the work: each thread's reports
// come out in its own order, and nothing is lost.
TEST(EventQueue, ConcurrentProducersKeepTheirOwnOrder) {
    EventQueue queue;
    std::atomic<int> wakes{0};
    queue.Attach([&] {
        ++wakes;
        return true;
    });
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            // Alternate two kinds so that progress reports are not merged: the value tells the
            // thread and the sequence number.
            for (int i = 0; i < kPerThread; ++i)
                queue.Push({i % 2 ? DownloadEventKind::UpgradeStarted : DownloadEventKind::UpgradeBegin,
                            t * kPerThread + i});
        });
    }
    go = true;
    std::vector<DownloadEvent> taken;
    std::atomic<bool> done{false};
    std::thread closer([&] {
        for (std::thread& thread : threads)
            thread.join();
        done = true;
    });
    while (!done) {
        std::vector<DownloadEvent> batch = queue.TakeAll();
        taken.insert(taken.end(), batch.begin(), batch.end());
    }
    closer.join();
    std::vector<DownloadEvent> rest = queue.TakeAll();
    taken.insert(taken.end(), rest.begin(), rest.end());

    ASSERT_EQ(taken.size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::vector<int> last(kThreads, -1);
    for (const DownloadEvent& work : taken) {
        const int thread = work.percent / kPerThread;
        EXPECT_GT(work.percent, last[thread]);
        last[thread] = work.percent;
    }
    EXPECT_GE(wakes.load(), 1);
}

} // namespace
} // namespace tarnvel
