#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tarnvel {
namespace {

using Trace = std::vector<std::string>;

// A scripted thread queue. A script is a list of what GetMessageW returns, with "the queue runs
// empty here" markers between; everything the loop does lands in one trace.
class ScriptedSource final : public MessageSource {
public:
    struct Step {
        int result; // 1 message, 0 quit, -1 failure; kEmpty marks an empty queue
        UINT message = WM_USER;
        WPARAM wParam = 0;
    };
    static constexpr int kEmpty = 100;

    ScriptedSource(std::deque<Step> steps, Trace& trace) : steps_(std::move(steps)), trace_(trace) {}

    bool HasMessage() override {
        if (steps_.empty() || steps_.front().result == kEmpty) {
            if (!steps_.empty())
                steps_.pop_front();
            return false;
        }
        return true;
    }
    int Get(MSG& msg) override {
        // GetMessageW waits through an empty queue.
        while (!steps_.empty() && steps_.front().result == kEmpty)
            steps_.pop_front();
        if (steps_.empty()) {
            ADD_FAILURE() << "the loop asked for more than the script holds";
            msg = {};
            return 0;
        }
        const Step step = steps_.front();
        steps_.pop_front();
        msg = {};
        msg.message = step.message;
        msg.wParam = step.wParam;
        if (step.result == -1)
            trace_.push_back("get failed");
        return step.result;
    }
    void Dispatch(const MSG& msg) override { trace_.push_back("dispatch " + std::to_string(msg.message)); }

private:
    std::deque<Step> steps_;
    Trace& trace_;
};

constexpr ScriptedSource::Step Empty{ScriptedSource::kEmpty};
constexpr ScriptedSource::Step Quit(WPARAM code) {
    return {0, WM_QUIT, code};
}
constexpr ScriptedSource::Step Message(UINT message) {
    return {1, message, 0};
}
constexpr ScriptedSource::Step Failure{-1};

class RecordingFilter final : public MessageFilter {
public:
    RecordingFilter(std::string name, Trace& trace, UINT consumes = 0)
        : name_(std::move(name)), trace_(trace), consumes_(consumes) {}
    bool PreTranslateMessage(MSG& msg) override {
        trace_.push_back(name_ + " " + std::to_string(msg.message));
        if (onCall)
            onCall();
        return msg.message == consumes_;
    }
    std::function<void()> onCall;

private:
    std::string name_;
    Trace& trace_;
    UINT consumes_;
};

class RecordingIdle final : public IdleHandler {
public:
    RecordingIdle(std::string name, Trace& trace) : name_(std::move(name)), trace_(trace) {}
    void OnIdle() override { trace_.push_back("idle " + name_); }

private:
    std::string name_;
    Trace& trace_;
};

std::string Dispatched(UINT message) {
    return "dispatch " + std::to_string(message);
}

TEST(MessageLoop, EndsWithTheQuitCode) {
    Trace trace;
    ScriptedSource source({Message(WM_USER), Quit(2)}, trace);
    MessageLoop loop(source);
    EXPECT_EQ(loop.Run(), 2);
    EXPECT_EQ(trace, Trace{Dispatched(WM_USER)});
    EXPECT_EQ(loop.LastMessage().message, static_cast<UINT>(WM_QUIT));
}

TEST(MessageLoop, FailedGetMessageNeitherEndsTheLoopNorStartsAnIdlePass) {
    Trace trace;
    RecordingIdle idle("a", trace);
    ScriptedSource source({Empty, Failure, Empty, Failure, Message(WM_USER), Quit(7)}, trace);
    MessageLoop loop(source);
    loop.AddIdleHandler(&idle);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(trace, (Trace{"idle a", "get failed", "get failed", Dispatched(WM_USER)}));
}

TEST(MessageLoop, FiltersAreAskedNewestFirstAndTheFirstToConsumeWins) {
    Trace trace;
    RecordingFilter older("older", trace, WM_USER + 1);
    RecordingFilter newer("newer", trace, WM_USER + 2);
    ScriptedSource source({Message(WM_USER), Message(WM_USER + 1), Message(WM_USER + 2), Quit(0)}, trace);
    MessageLoop loop(source);
    loop.AddMessageFilter(&older);
    loop.AddMessageFilter(&newer);
    loop.Run();
    const auto u = [](int offset) {
        return std::to_string(WM_USER + offset);
    };
    EXPECT_EQ(trace, (Trace{"newer " + u(0), "older " + u(0), Dispatched(WM_USER), // nobody consumes
                            "newer " + u(1), "older " + u(1),                      // older consumes
                            "newer " + u(2)}));                                    // newer consumes
}

TEST(MessageLoop, RemovedFiltersAreNotAskedEvenWhenRemovedWhileFiltering) {
    Trace trace;
    RecordingFilter older("older", trace);
    RecordingFilter newer("newer", trace);
    RecordingFilter gone("gone", trace);
    MessageLoop* current = nullptr;
    newer.onCall = [&] {
        current->RemoveMessageFilter(&older);
    }; // as a window destroyed by a message does
    ScriptedSource source({Message(WM_USER), Quit(0)}, trace);
    MessageLoop loop(source);
    current = &loop;
    loop.AddMessageFilter(&older);
    loop.AddMessageFilter(&gone);
    loop.AddMessageFilter(&newer);
    loop.RemoveMessageFilter(&gone);
    loop.Run();
    EXPECT_EQ(trace, (Trace{"newer " + std::to_string(WM_USER), Dispatched(WM_USER)}));
}

TEST(MessageLoop, IdleHandlersRunOncePerIdlePeriodInRegistrationOrder) {
    Trace trace;
    RecordingIdle first("first", trace);
    RecordingIdle second("second", trace);
    RecordingIdle removed("removed", trace);
    ScriptedSource source(
        {Empty, Message(WM_USER), Message(WM_USER), Empty, Empty, Message(WM_USER), Quit(0)}, trace);
    MessageLoop loop(source);
    loop.AddIdleHandler(&first);
    loop.AddIdleHandler(&removed);
    loop.AddIdleHandler(&second);
    loop.RemoveIdleHandler(&removed);
    loop.Run();
    // One pass before the first message, none between two queued messages, one pass for the
    // next empty period however long it lasts, and none after the last message before the quit.
    EXPECT_EQ(trace, (Trace{"idle first", "idle second", Dispatched(WM_USER), Dispatched(WM_USER),
                            "idle first", "idle second", Dispatched(WM_USER)}));
}

TEST(MessageLoop, FrequentMessagesDoNotStartAnotherIdlePass) {
    for (UINT frequent : {0x0118u, static_cast<UINT>(WM_PAINT), static_cast<UINT>(WM_NCMOUSEMOVE),
                          static_cast<UINT>(WM_MOUSEMOVE)}) {
        SCOPED_TRACE(frequent);
        Trace trace;
        RecordingIdle idle("a", trace);
        ScriptedSource source({Empty, Message(frequent), Empty, Message(WM_TIMER), Empty, Quit(0)}, trace);
        MessageLoop loop(source);
        loop.AddIdleHandler(&idle);
        loop.Run();
        // WM_TIMER is no such message: the queue running empty after it brings a pass.
        EXPECT_EQ(trace, (Trace{"idle a", Dispatched(frequent), Dispatched(WM_TIMER), "idle a"}));
    }
}

TEST(MessageLoop, FrequentMessagesKeepAPendingIdlePass) {
    // A pass is due after WM_USER; a paint in between does not cancel it.
    Trace trace;
    RecordingIdle idle("a", trace);
    ScriptedSource source({Empty, Message(WM_USER), Message(WM_PAINT), Empty, Quit(0)}, trace);
    MessageLoop loop(source);
    loop.AddIdleHandler(&idle);
    loop.Run();
    EXPECT_EQ(trace, (Trace{"idle a", Dispatched(WM_USER), Dispatched(WM_PAINT), "idle a"}));
}

} // namespace
} // namespace tarnvel
