#include "app/message_loop.h"

#include <gtest/gtest.h>

#include <deque>

namespace tarnvel {
namespace {

// A scripted message source: each step is what GetMessageW returns and the message it fills.
class ScriptedSource final : public MessageSource {
public:
    struct Step {
        int result;
        UINT message;
        WPARAM wParam;
    };
    explicit ScriptedSource(std::deque<Step> steps) : steps_(std::move(steps)) {}

    bool HasMessage() override { return peekAnswer_; }
    int Get(MSG& msg) override {
        if (steps_.empty())
            return 0;
        const Step step = steps_.front();
        steps_.pop_front();
        msg = {};
        msg.message = step.message;
        msg.wParam = step.wParam;
        ++gets;
        return step.result;
    }
    void Dispatch(const MSG& msg) override { dispatched.push_back(msg.message); }

    bool peekAnswer_ = false;
    int gets = 0;
    std::vector<UINT> dispatched;

private:
    std::deque<Step> steps_;
};

TEST(MessageLoop, FailedGetMessageDoesNotEndTheLoop) {
    ScriptedSource source({{-1, 0, 0}, {-1, 0, 0}, {1, WM_USER, 0}, {0, WM_QUIT, 2}});
    MessageLoop loop(source);
    EXPECT_EQ(loop.Run(), 2);
    EXPECT_EQ(source.gets, 4);
    EXPECT_EQ(source.dispatched, std::vector<UINT>{WM_USER});
}

} // namespace
} // namespace tarnvel
