// The main thread's message loop with message filters and idle handlers.
#pragma once

#include <windows.h>

#include <vector>

namespace tarnvel {

class MessageFilter {
public:
    // True when the message was consumed and must not be translated and dispatched.
    virtual bool PreTranslateMessage(MSG& msg) = 0;

protected:
    ~MessageFilter() = default;
};

class IdleHandler {
public:
    virtual void OnIdle() = 0;

protected:
    ~IdleHandler() = default;
};

// Where the loop takes its messages from; the tests inject a scripted one.
class MessageSource {
public:
    virtual ~MessageSource() = default;
    virtual bool HasMessage() = 0;             // PeekMessageW(PM_NOREMOVE)
    virtual int Get(MSG& msg) = 0;             // GetMessageW: >0 message, 0 quit, -1 failure
    virtual void Dispatch(const MSG& msg) = 0; // TranslateMessage + DispatchMessageW
};

class MessageLoop {
public:
    MessageLoop();
    explicit MessageLoop(MessageSource& source); // not owned

    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // Both lists hold non-owning references; the owner removes itself before it dies.
    void AddMessageFilter(MessageFilter* filter);
    void RemoveMessageFilter(MessageFilter* filter);
    void AddIdleHandler(IdleHandler* handler);
    void RemoveIdleHandler(IdleHandler* handler);

    // Runs until the quit message; returns its wParam.
    int Run();

    const MSG& LastMessage() const { return lastMessage_; }

private:
    bool PreTranslate(MSG& msg);
    void RunIdleHandlers();
    static bool KeepsIdleState(UINT message);

    MessageSource* source_;
    MSG lastMessage_{};
    std::vector<MessageFilter*> filters_;
    std::vector<IdleHandler*> idleHandlers_;
};

} // namespace tarnvel
