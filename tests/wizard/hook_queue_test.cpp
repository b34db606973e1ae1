#include "wizard/hook_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tarnvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(HookQueue, KeepsThePostingOrderAndWakesOncePerBatch) {
    HookQueue queue;
    int wakes = 0;
    queue.Attach([&] {
        ++wakes;
        return true;
    });
    queue.Push({HookEvent::VerifyPassed});
    queue.Push({HookEvent::UpgradeBegin});
    queue.Push({HookEvent::UpgradeStarted});
    EXPECT_EQ(wakes, 1);
    EXPECT_THAT(queue.TakeAll(),
                ElementsAre(HookWork{HookEvent::VerifyPassed}, HookWork{HookEvent::UpgradeBegin},
                            HookWork{HookEvent::UpgradeStarted}));
    queue.Push({HookEvent::UpgradeFailed});
    EXPECT_EQ(wakes, 2);
    EXPECT_THAT(queue.TakeAll(), ElementsAre(HookWork{HookEvent::UpgradeFailed}));
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
}

TEST(HookQueue, OnlyTheLatestOfConsecutiveProgressReportsIsKept) {
    HookQueue queue;
    queue.Attach([] { return true; });
    queue.Push({HookEvent::UpgradeBegin});
    queue.Push({HookEvent::Progress, 10});
    queue.Push({HookEvent::Progress, 11});
    queue.Push({HookEvent::UpgradeStarted});
    queue.Push({HookEvent::Progress, 12});
    queue.Push({HookEvent::Progress, 13});
    EXPECT_THAT(queue.TakeAll(),
                ElementsAre(HookWork{HookEvent::UpgradeBegin}, HookWork{HookEvent::Progress, 11},
                            HookWork{HookEvent::UpgradeStarted}, HookWork{HookEvent::Progress, 13}));
}

TEST(HookQueue, FailedWakeUpIsTriedAgainWithTheNextWork) {
    HookQueue queue;
    int attempts = 0;
    bool accept = false;
    queue.Attach([&] {
        ++attempts;
        return accept;
    });
    queue.Push({HookEvent::VerifyPassed});
    accept = true;
    queue.Push({HookEvent::UpgradeBegin});
    queue.Push({HookEvent::UpgradeStarted});
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(queue.TakeAll().size(), 3u); // nothing was lost by the failed post
}

// The controller's change of whether closing is allowed wakes the UI thread with no work; a
// wake-up that could not be posted is reported until the UI thread has taken what waits.
TEST(HookQueue, NudgeWakesWithoutWorkAndAFailedPostIsReportedAsMissed) {
    HookQueue queue;
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

TEST(HookQueue, WorkOutsideAttachAndDetachIsDropped) {
    HookQueue queue;
    queue.Push({HookEvent::VerifyFailed}); // before the window exists
    int wakes = 0;
    queue.Attach([&] {
        ++wakes;
        return true;
    });
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
    queue.Push({HookEvent::VerifyPassed});
    queue.Detach(); // the window goes: queued work goes with it
    queue.Push({HookEvent::UpgradeSucceeded});
    EXPECT_THAT(queue.TakeAll(), IsEmpty());
    EXPECT_EQ(wakes, 1);
}

// Several engine threads report at once while the UI thread takes the work: each thread's reports
// come out in its own order, and nothing is lost.
TEST(HookQueue, ConcurrentProducersKeepTheirOwnOrder) {
    HookQueue queue;
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
                queue.Push({i % 2 ? HookEvent::UpgradeStarted : HookEvent::UpgradeBegin, t * kPerThread + i});
        });
    }
    go = true;
    std::vector<HookWork> taken;
    std::atomic<bool> done{false};
    std::thread closer([&] {
        for (std::thread& thread : threads)
            thread.join();
        done = true;
    });
    while (!done) {
        std::vector<HookWork> batch = queue.TakeAll();
        taken.insert(taken.end(), batch.begin(), batch.end());
    }
    closer.join();
    std::vector<HookWork> rest = queue.TakeAll();
    taken.insert(taken.end(), rest.begin(), rest.end());

    ASSERT_EQ(taken.size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::vector<int> last(kThreads, -1);
    for (const HookWork& work : taken) {
        const int thread = work.value / kPerThread;
        EXPECT_GT(work.value, last[thread]);
        last[thread] = work.value;
    }
    EXPECT_GE(wakes.load(), 1);
}

} // namespace
} // namespace tarnvel
