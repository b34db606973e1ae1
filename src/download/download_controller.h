// The download controller: owns the engine library, the cell log and the worker threads, and
// turns the wizard's requests and the engine's reports into verify -> run -> finish or stop.
//
// Threads: the constructor, SetEventSink, LoadEngine, SetPackagePath, PostCommand, BeginStop,
// IsCloseAllowed and Shutdown are called on the UI thread. The events reach the sink on the
// controller's and the engine's threads (download_events.h).
#pragma once

#include "download/download_events.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace tarnvel {

namespace detail {
class ControllerCore;
}

// One per process: the engine's callbacks carry no context, so the constructor registers the
// object process-wide and Shutdown clears the registration.
class DownloadController {
public:
    DownloadController();
    ~DownloadController(); // shuts down if Shutdown was not called

    DownloadController(const DownloadController&) = delete;
    DownloadController& operator=(const DownloadController&) = delete;

    // Where the events go from now on (null: nowhere); the sink must stay valid until Shutdown
    // has returned.
    void SetEventSink(DownloadEventSink* sink);

    // Loads "<executable folder>\dVarnok.dll" and starts the control thread. Without the
    // library nothing starts and posted commands are never acted on.
    void LoadEngine();

    // False, and nothing stored, when the path is longer than 255 characters (or holds a NUL):
    // the engine's record holds no more, and a shortened path would name another file. Until a
    // path is accepted again, Command::Verify then verifies nothing (not the previous package either).
    bool SetPackagePath(std::wstring_view path);

    // A code posted before the control thread took the previous one replaces it.
    void PostCommand(Command command);

    // Stops the engine's download activity on a thread of its own; does not wait.
    void BeginStop();

    // False while a phone is being written.
    bool IsCloseAllowed() const;

    // Stops the control thread, stops, releases and unloads the engine, then writes out and
    // closes the cell log. The object may be destroyed afterwards.
    void Shutdown();

private:
    std::shared_ptr<detail::ControllerCore> core_;
};

} // namespace tarnvel
