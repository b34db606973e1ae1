// The main thread's message loop with message filters and idle handlers, and the registry that
// lets a window find the loop of its thread.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
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

// The registry of message loops by thread id; only the main thread has one.
class AppModule {
public:
    static AppModule& Instance();

    void Init();
    void Term();
    DWORD MainThreadId() const { return mainThreadId_; }

    void AddMessageLoop(DWORD threadId, MessageLoop* loop);
    void RemoveMessageLoop(DWORD threadId);
    MessageLoop* FindMessageLoop(DWORD threadId) const;
    MessageLoop* CurrentThreadLoop() const { return FindMessageLoop(GetCurrentThreadId()); }

private:
    mutable std::mutex lock_;
    std::map<DWORD, MessageLoop*> loops_; // not owned
    DWORD mainThreadId_ = 0;
};

} // namespace tarnvel
