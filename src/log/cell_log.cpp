#include "log/cell_log.h"

#include <utility>

namespace tarnvel {

CellLog::CellLog(std::wstring exeFolder, std::shared_ptr<LogSink> sink)
    : exeFolder_(std::move(exeFolder)), sink_(std::move(sink)) {
    writer_ = std::thread([this] { WriterThread(); });
}

CellLog::~CellLog() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    work_.Set();
    if (writer_.joinable())
        writer_.join();
}

bool CellLog::NoteWork() {
    return !std::exchange(workNoted_, true);
}

void CellLog::PostLine(unsigned cell, int level, std::wstring_view text) {
    if (cell >= kLogCells)
        return;
    Entry entry{level, std::wstring(text), nullptr};
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        slots_[cell].queue.push_back(std::move(entry));
        wake = NoteWork();
    }
    if (wake)
        work_.Set();
}

void CellLog::OpenLog(unsigned cell) {
    if (cell >= kLogCells)
        return;
    std::lock_guard fileLock(fileMutex_);
    std::deque<Entry> bound;
    std::wstring name;
    {
        std::unique_lock lock(mutex_);
        Slot& slot = slots_[cell];
        if (slot.isOpen) {
            slot.queue.push_back({LevelWarning, kLogAlreadyOpenText, nullptr});
            const bool wake = NoteWork();
            lock.unlock();
            if (wake)
                work_.Set();
            return;
        }
        // Lines still owed to the cell's last file go there first: within the same second it
        // has the name the new file gets, and the new run's lines must follow them.
        while (!slot.queue.empty() && slot.queue.front().file) {
            bound.push_back(std::move(slot.queue.front()));
            slot.queue.pop_front();
        }
        name = LogFileName(exeFolder_, cell, sink_->LocalTime());
    }
    WriteLines(bound, {});
    sink_->CreateFolder(LogFolder(exeFolder_));
    // A run reopened within the same second gets the same name; truncating would throw the
    // earlier run's lines away, so they are kept and the new lines follow.
    sink_->CreateFileKeepingLines(name);
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_[cell];
        slot.fileName = std::move(name);
        slot.isOpen = true;
        // Lines queued while the cell was closed now go to the new file.
        wake = !slot.queue.empty() && NoteWork();
    }
    if (wake)
        work_.Set();
}

void CellLog::CloseLog(unsigned cell) {
    if (cell >= kLogCells)
        return;
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_[cell];
        if (!slot.isOpen)
            return;
        auto file = std::make_shared<const std::wstring>(std::move(slot.fileName));
        for (Entry& entry : slot.queue) {
            if (!entry.file)
                entry.file = file;
        }
        slot.isOpen = false;
        slot.fileName.clear();
        wake = !slot.queue.empty() && NoteWork();
    }
    if (wake)
        work_.Set();
}

std::wstring CellLog::FileNameOf(unsigned cell) const {
    if (cell >= kLogCells)
        return {};
    std::lock_guard lock(mutex_);
    return slots_[cell].fileName;
}

std::size_t CellLog::QueuedLines() const {
    std::lock_guard lock(mutex_);
    std::size_t queued = 0;
    for (const Slot& slot : slots_)
        queued += slot.queue.size();
    return queued;
}

void CellLog::WriterThread() {
    bool lingering = false;
    for (;;) {
        // Idle, the writer waits with no timeout and a post wakes it. While lines flow it looks
        // again after a short pause instead, so that the posts of a storm need not wake it.
        if (lingering) {
            work_.WaitFor(kLingerMs);
        } else {
            work_.Wait();
            // The poster that woke us may have lost its processor to us: let it finish its post
            // (and the rest of its burst) before the pass competes with it for the lock.
            std::this_thread::yield();
        }
        {
            std::lock_guard lock(mutex_);
            if (!running_)
                break;
        }
        lingering = WritePass();
    }
    // Whatever was posted before destruction still reaches its file.
    while (WritePass()) {
    }
}

bool CellLog::WritePass() {
    std::lock_guard fileLock(fileMutex_);
    std::deque<Entry> taken[kLogCells];
    std::wstring current[kLogCells]; // empty: the cell was closed when its lines were taken
    bool any = false;
    {
        std::lock_guard lock(mutex_);
        for (unsigned cell = 0; cell < kLogCells; ++cell) {
            Slot& slot = slots_[cell];
            if (slot.queue.empty())
                continue;
            any = true;
            taken[cell].swap(slot.queue);
            if (slot.isOpen)
                current[cell] = slot.fileName;
        }
        // Set where the lines are taken: after a pass that took lines the writer looks again by
        // itself; after an empty one, the next post has to wake it.
        workNoted_ = any;
    }
    for (unsigned cell = 0; cell < kLogCells; ++cell)
        WriteLines(taken[cell], current[cell]);
    return any;
}

void CellLog::WriteLines(const std::deque<Entry>& lines, const std::wstring& current) {
    std::string bytes;
    const std::wstring* target = nullptr;
    auto flush = [&] {
        if (target != nullptr && !target->empty() && !bytes.empty())
            sink_->AppendToFile(*target, bytes);
        bytes.clear();
    };
    for (const Entry& entry : lines) {
        const std::wstring* file = entry.file ? entry.file.get() : &current;
        if (target == nullptr || *file != *target) {
            flush();
            target = file;
        }
        const std::wstring line = FormatLogLine(entry.level, entry.text, sink_->LocalTime());
        if (line.empty())
            continue;
        sink_->ToDebugger(line);
        if (!target->empty())
            bytes += sink_->FileBytes(line);
    }
    flush();
}

} // namespace tarnvel
