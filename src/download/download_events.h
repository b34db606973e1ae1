// What the download controller's client asks of it, what the controller tells its client, and the
// interface it tells it through. Plain C++.
#pragma once

#include <cstdint>

namespace tarnvel {

// The commands of the controller's one-slot mailbox, from the wizard (EndLog, Verify) and from the
// controller's own threads. Any other value is taken and ignored.
enum class Command : int {
    EndLog = 4,
    Verify = 8,
    VerifyPassed = 16,
    Run = 64,
    Finish = 128,
};

enum class DownloadEventKind : std::uint8_t {
    VerifyPassed,
    VerifyFailed,
    UpgradeStarted,
    Progress,
    UpgradeSucceeded,
    UpgradeFailed,
    UpgradeBegin,
    // IsCloseAllowed's answer changed; the event carries nothing, ask the controller.
    CloseAllowedChanged,
};

struct DownloadEvent {
    DownloadEventKind kind;
    std::int32_t percent = 0; // Progress: 0 to 98

    bool operator==(const DownloadEvent&) const = default;
};

// Called on the controller's control thread (VerifyPassed, UpgradeSucceeded and the close
// change after a success) and on the engine's threads (the rest), never on the UI thread. It may
// send a message to a window of the UI thread (Shutdown keeps handling sent messages while it
// waits) but must not wait for anything else the UI thread does.
class DownloadEventSink {
public:
    virtual void OnDownloadEvent(const DownloadEvent& event) = 0;

protected:
    ~DownloadEventSink() = default;
};

} // namespace tarnvel
