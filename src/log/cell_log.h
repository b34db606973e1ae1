// One text log per engine cell (0 to 7) in "TextLog" beside the executable, written by a
// background thread so that posting from the engine's callbacks never waits for the disk.
// The queues and the writer are plain C++; the files, the clock and the debugger output are
// the sink's.
#pragma once

#include "log/log_format.h"
#include "log/log_sink.h"
#include "platform/wake_event.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tarnvel {

class CellLog {
public:
    // Starts the removal of the engine's old "MTK_Log" folder beside the executable, then the
    // writer, with the system's files, clock and debugger output.
    CellLog();
    // Starts the writer for logs in "<exeFolder>\TextLog" through `sink`.
    CellLog(std::wstring exeFolder, std::shared_ptr<LogSink> sink);
    // Writes out every line still queued, then ends the writer.
    ~CellLog();

    CellLog(const CellLog&) = delete;
    CellLog& operator=(const CellLog&) = delete;

    // Any thread. Cells above 7 are ignored by all three.
    void PostLine(unsigned cell, int level, std::wstring_view text);
    // Starts a new file for the cell named by the local time; on an open cell only queues a
    // warning line.
    void OpenLog(unsigned cell);
    // Lines posted before still go to the file they were posted for; lines posted after it
    // reach the debugger output, and the cell's next file if it is opened before they are taken.
    void CloseLog(unsigned cell);

    // The cell's current file, empty while it is closed.
    std::wstring FileNameOf(unsigned cell) const;

    // Lines posted and not yet taken by the writer, over all cells.
    std::size_t QueuedLines() const;

private:
    // While lines flow, the writer looks again this long after a pass that took some.
    static constexpr unsigned kLingerMs = 5;

    struct Entry {
        int level;
        std::wstring text;
        // Set by CloseLog: the file the line was posted for. Unset: the cell's file when the
        // writer takes the line (none while the cell is closed).
        std::shared_ptr<const std::wstring> file;
    };
    struct Slot {
        std::deque<Entry> queue;
        bool isOpen = false;
        std::wstring fileName; // empty while closed
    };

    void WriterThread();
    // With mutex_ held: there is work for the writer; true when it has to be woken for it.
    bool NoteWork();
    // Takes every queued line and writes it; false when there was nothing to take.
    bool WritePass();
    // Writes lines in order, each to its own file or else to `current`; every line also goes to
    // the debugger output. Each file is opened once for a run of lines that go to it.
    void WriteLines(const std::deque<Entry>& lines, const std::wstring& current);

    const std::wstring exeFolder_;
    const std::shared_ptr<LogSink> sink_; // called only under fileMutex_
    mutable SlimLock mutex_;              // guards slots_, workNoted_ and running_
    Slot slots_[kLogCells];
    // True when the writer will look at the queues without being woken: work came since an empty
    // pass, or the last pass took lines and the writer lingers. Only a post that finds it false
    // pays for a wake-up.
    bool workNoted_ = false;
    bool running_ = true;
    WakeEvent work_;
    // Held across a pass's file work and by OpenLog's file creation, so that lines taken for a
    // file are written before a later OpenLog of the same name (same cell, same second) starts
    // the next run in it.
    std::mutex fileMutex_;
    std::thread writer_;
};

// The removal of "<folder>\MTK_Log" through "<folder>\DeleteTree.bat", started (hidden) and not
// waited for. False when nothing was started: the folder path cannot be written faithfully in
// the code page cmd reads batch files in, the batch file cannot be written, or cmd did not start.
bool StartFolderRemoval(const std::wstring& exeFolder);

} // namespace tarnvel
