#include "platform/message_loop.h"

#include <algorithm>

namespace tarnvel {

namespace {

class SystemMessageSource final : public MessageSource {
public:
    bool HasMessage() override {
        MSG msg;
        return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
    }
    int Get(MSG& msg) override { return static_cast<int>(GetMessageW(&msg, nullptr, 0, 0)); }
    void Dispatch(const MSG& msg) override {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
};

SystemMessageSource& SystemSource() {
    static SystemMessageSource source;
    return source;
}

template <typename T> void RemoveFrom(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

MessageLoop::MessageLoop() : source_(&SystemSource()) {}

MessageLoop::MessageLoop(MessageSource& source) : source_(&source) {}

void MessageLoop::AddMessageFilter(MessageFilter* filter) {
    filters_.push_back(filter);
}
void MessageLoop::RemoveMessageFilter(MessageFilter* filter) {
    RemoveFrom(filters_, filter);
}
void MessageLoop::AddIdleHandler(IdleHandler* handler) {
    idleHandlers_.push_back(handler);
}
void MessageLoop::RemoveIdleHandler(IdleHandler* handler) {
    RemoveFrom(idleHandlers_, handler);
}

bool MessageLoop::PreTranslate(MSG& msg) {
    // Newest filter first. Copy: a filter may remove itself (or another) while it runs.
    const std::vector<MessageFilter*> filters(filters_.rbegin(), filters_.rend());
    for (MessageFilter* filter : filters) {
        if (std::find(filters_.begin(), filters_.end(), filter) == filters_.end())
            continue;
        if (filter->PreTranslateMessage(msg))
            return true;
    }
    return false;
}

void MessageLoop::RunIdleHandlers() {
    const std::vector<IdleHandler*> handlers = idleHandlers_;
    for (IdleHandler* handler : handlers) {
        if (std::find(idleHandlers_.begin(), idleHandlers_.end(), handler) != idleHandlers_.end())
            handler->OnIdle();
    }
}

bool MessageLoop::KeepsIdleState(UINT message) {
    // Frequent, self-repeating messages do not count as activity worth another idle pass.
    return message == 0x0118 || message == WM_PAINT || message == WM_NCMOUSEMOVE || message == WM_MOUSEMOVE;
}

int MessageLoop::Run() {
    bool idle = true;
    for (;;) {
        while (idle && !source_->HasMessage()) {
            RunIdleHandlers();
            idle = false; // the idle step never reports work left, so one pass is all
        }
        const int result = source_->Get(lastMessage_);
        if (result == -1)
            continue; // a failed GetMessageW is not the end of the program
        if (result == 0)
            return static_cast<int>(lastMessage_.wParam);
        if (!PreTranslate(lastMessage_))
            source_->Dispatch(lastMessage_);
        if (!KeepsIdleState(lastMessage_.message))
            idle = true;
    }
}

} // namespace tarnvel
