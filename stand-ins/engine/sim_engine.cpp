// A stand-in for the phone maker's download engine, for demos and tests: it verifies a
// package written by the package tool, waits for simulated phones and copies the package's
// payload into files that stand for their storage, reporting through the five callbacks like
// the real engine. What it does is set by a scenario (README.md); it exports
// TarnvelSimulatedEngine so that it can never pass for the real engine.
#include "download/engine_interface.h"
#include "download/package_format.h"
#include "engine_records.h"
#include "payload_format.h"
#include "scenario.h"
#include "text/code_page.h"
#include "text/text_format.h"

#include <windows.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvel::sim {
namespace {

HMODULE g_module = nullptr;
HANDLE g_stop = nullptr; // manual reset, set by DownloadStop and ReleaseDownloadObj

std::mutex g_mutex; // guards everything below
bool g_initialised = false;
EngineInitParams g_params{};      // kept as given: its texts are read through its pointers
std::vector<HANDLE> g_threads;    // the engine's own threads (other cells, storm)
std::vector<HANDLE> g_runCallers; // threads that called DownloadRun, to report at release
wchar_t g_tracePath[1024] = {};   // a plain array: still there when DllMain hears of unloading

std::mutex g_traceMutex;

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, static_cast<DWORD>(std::size(path)));
    return FolderOfPath(std::wstring_view(path, length));
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::wstring Resolve(const std::string& utf8Path) {
    std::wstring path = WideFromUtf8(utf8Path);
    const bool absolute = path.size() > 1 && (path[1] == L':' || (path[0] == L'\\' && path[1] == L'\\'));
    return absolute || path.empty() ? path : ModuleFolder() + L"\\" + path;
}

// The environment variable TARNVEL_SIM_SCENARIO holds the scenario inline, or "@<file>";
// without it the file dVarnok.scenario beside this library is read.
Scenario ReadScenario() {
    wchar_t value[8192] = {};
    const DWORD length =
        GetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", value, static_cast<DWORD>(std::size(value)));
    Scenario scenario;
    if (length > 0 && length < std::size(value)) {
        const std::string text = Utf8FromWide(std::wstring_view(value, length));
        scenario = text.front() == '@' ? ParseScenario(ReadWholeFile(Resolve(text.substr(1))), false)
                                       : ParseScenario(text, true);
    } else {
        scenario = ParseScenario(ReadWholeFile(ModuleFolder() + L"\\dVarnok.scenario"), false);
    }
    return scenario;
}

// As ReadScenario, and the trace goes where it says from now on. Only the entry points that start
// work load it: a program that stops and releases an engine it never used leaves no trace.
Scenario LoadScenario() {
    const Scenario scenario = ReadScenario();
    const std::wstring trace = Resolve(scenario.trace);
    std::lock_guard lock(g_mutex);
    const std::size_t count = std::min(trace.size(), std::size(g_tracePath) - 1);
    std::copy_n(trace.begin(), count, g_tracePath);
    g_tracePath[count] = L'\0';
    return scenario;
}

void Trace(const std::string& line) {
    std::lock_guard lock(g_traceMutex);
    if (g_tracePath[0] == L'\0')
        return;
    HANDLE file = CreateFileW(g_tracePath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

[[maybe_unused]] std::string Utf8(const wchar_t* text) {
    return text ? Utf8FromWide(text) : std::string("(null)");
}

// The callbacks of the current initialisation; empty without one.
struct Reporter {
    EngineInitParams params{};
    bool valid = false;

    static Reporter Current() {
        std::lock_guard lock(g_mutex);
        return {g_params, g_initialised};
    }
    void Msg(int cell, MsgGrade grade, std::wstring_view text, std::wstring_view detail) const {
        if (params.onSendMsgInfo)
            params.onSendMsgInfo(MsgInfo(cell, static_cast<int>(grade), text, detail));
    }
    void Progress(int cell, int total, int done) const {
        if (params.onShowProgress)
            params.onShowProgress(cell, total, done);
    }
    void Test(int cell, int code, TestStatus status) const {
        if (params.onTestStatus)
            params.onTestStatus(cell, code, static_cast<std::int32_t>(status));
    }
    void Monitor(int cell, MonitorStatus status, std::wstring_view text) const {
        if (params.onMonitorStatus)
            params.onMonitorStatus(StatusRecord<MonitorStatusRecord>(cell, static_cast<int>(status), text));
    }
    void Checkdata(int cell, CheckdataStatus status, std::wstring_view text) const {
        if (params.onCheckdataStatus)
            params.onCheckdataStatus(
                StatusRecord<CheckdataStatusRecord>(cell, static_cast<int>(status), text));
    }
};

bool Stopped() {
    return WaitForSingleObject(g_stop, 0) == WAIT_OBJECT_0;
}

// Waits, or less when a stop comes; false when stopped.
bool Pause(int ms) {
    return ms <= 0 ? !Stopped() : WaitForSingleObject(g_stop, static_cast<DWORD>(ms)) != WAIT_OBJECT_0;
}

class File {
public:
    File(const std::wstring& path, bool write)
        : handle_(CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                              write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~File() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN))
            return false;
        std::size_t total = 0;
        while (total < bytes.size()) {
            DWORD got = 0;
            if (!ReadFile(handle_, bytes.data() + total, static_cast<DWORD>(bytes.size() - total), &got,
                          nullptr) ||
                got == 0)
                return false;
            total += got;
        }
        return true;
    }
    bool Write(std::span<const std::uint8_t> bytes) const {
        DWORD written = 0;
        return WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

private:
    HANDLE handle_; // owned
};

struct OpenedPackage {
    PackageLayout layout{};
    PayloadDescriptor descriptor{};
    std::wstring model;
};

// Reads header, version block and descriptor; the reason when the package is not sound.
bool OpenPackage(const File& file, OpenedPackage& package, std::wstring& reason) {
    std::vector<std::uint8_t> block(kPackageHeaderSize);
    if (!file.IsOpen()) {
        reason = L"cannot open package";
        return false;
    }
    const auto layout = file.ReadAt(0, block) ? LayoutOfHeader(block) : std::nullopt;
    if (!layout) {
        reason = L"not an RZB package";
        return false;
    }
    package.layout = *layout;
    package.model = WideFromCodePage936(PackageModelBytes(*layout, block));
    block.resize(layout->blockLength);
    std::uint8_t descriptorBytes[kDescriptorSize];
    if (!file.ReadAt(0, block) || !file.ReadAt(layout->blockLength, descriptorBytes)) {
        reason = L"package too short";
        return false;
    }
    const auto descriptor = DecodeDescriptor(descriptorBytes);
    if (!descriptor) {
        reason = L"no payload descriptor";
        return false;
    }
    package.descriptor = *descriptor;
    if (Crc32(0, block) != descriptor->blockCrc) {
        reason = L"header checksum mismatch";
        return false;
    }
    return true;
}

bool ModelMatches(std::wstring_view packageModel, std::wstring_view engineModel) {
    // This engine knows the "DS" build of the 5512Q as the 5512Q itself.
    return packageModel == engineModel || (packageModel == L"5512QDS" && engineModel == L"5512Q");
}

[[maybe_unused]] void Verify(const Reporter& reporter, const Scenario& scenario) {
    const std::wstring path = reporter.params.packagePath ? reporter.params.packagePath : L"";
    const std::wstring model = reporter.params.modelName ? reporter.params.modelName : L"";
    reporter.Msg(0, MsgGrade::Information, L"Verify: checking package", path);
    File file(path, false);
    OpenedPackage package;
    std::wstring reason;
    bool sound = OpenPackage(file, package, reason);
    if (sound && !ModelMatches(package.model, model)) {
        sound = false;
        reason = L"package is for model " + package.model + L", not " + model;
    }
    if (sound) {
        const std::uint64_t size = package.descriptor.payloadSize;
        const ULONGLONG start = GetTickCount64();
        std::vector<std::uint8_t> chunk(256 * 1024);
        std::uint32_t crc = 0;
        int reported = 0;
        for (std::uint64_t done = 0; sound && done < size;) {
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done));
            if (!file.ReadAt(package.descriptor.payloadOffset + done, std::span(chunk).first(piece))) {
                sound = false;
                reason = L"payload truncated";
                break;
            }
            crc = Crc32(crc, std::span(chunk).first(piece));
            done += piece;
            const int percent = static_cast<int>(done * 100 / size);
            if (percent / 10 > reported / 10) {
                reported = percent;
                reporter.Msg(0, MsgGrade::Note, L"Verify: " + Decimal(percent) + L"%", L"");
            }
            const auto due = static_cast<ULONGLONG>(scenario.verifyMs * static_cast<double>(done) / size);
            if (!Pause(static_cast<int>(
                    std::min<ULONGLONG>(due - std::min(due, GetTickCount64() - start), INT_MAX)))) {
                Trace("VerifyDataofRZB stopped");
                return;
            }
        }
        if (sound && crc != package.descriptor.payloadCrc) {
            sound = false;
            reason = L"payload checksum mismatch";
        }
    }
    if (package.descriptor.payloadSize == 0 && !Pause(scenario.verifyMs)) {
        Trace("VerifyDataofRZB stopped");
        return;
    }
    if (sound && !scenario.verifyPasses) {
        sound = false;
        reason = L"verification refused by scenario";
    }
    const CheckdataStatus status = sound ? CheckdataStatus::Passed : CheckdataStatus::Failed;
    if (!sound)
        reporter.Msg(0, MsgGrade::Error, L"Verify: failed", reason);
    reporter.Checkdata(scenario.verifyCell, status, sound ? L"OK" : reason);
    Trace("VerifyDataofRZB status=" + DecimalA(static_cast<int>(status)));
}

// Records whose texts fill their fields to the last character, cells out of range, totals of
// 0 and done values that overflow a percent.
void SendMalformed(const Reporter& reporter) {
    if (reporter.params.onSendMsgInfo) {
        MsgInfoRecord record{};
        record.cell = 0;
        record.msgType = 7;
        std::fill(std::begin(record.text), std::end(record.text), L'A');
        std::fill(std::begin(record.detail), std::end(record.detail), L'B');
        reporter.params.onSendMsgInfo(record);
        record.cell = -1;
        record.msgType = -1;
        reporter.params.onSendMsgInfo(record);
        record.cell = 99;
        record.msgType = static_cast<std::int32_t>(MsgGrade::Information);
        reporter.params.onSendMsgInfo(record);
    }
    if (reporter.params.onMonitorStatus) {
        MonitorStatusRecord record{};
        std::fill(std::begin(record.text), std::end(record.text), L'M');
        record.cell = 0;
        record.status = static_cast<std::int32_t>(MonitorStatus::Busy);
        reporter.params.onMonitorStatus(record);
        record.cell = -1;
        record.status = static_cast<std::int32_t>(MonitorStatus::Idle);
        reporter.params.onMonitorStatus(record);
        record.cell = 99;
        reporter.params.onMonitorStatus(record);
    }
    if (reporter.params.onCheckdataStatus) {
        CheckdataStatusRecord record{};
        std::fill(std::begin(record.text), std::end(record.text), L'C');
        record.cell = 99;
        record.status = 7;
        reporter.params.onCheckdataStatus(record);
        record.cell = -1;
        record.status = -4;
        reporter.params.onCheckdataStatus(record);
    }
    reporter.Progress(0, 0, 17);
    reporter.Progress(0, 100, -5);
    reporter.Progress(0, 100, INT_MAX);
    reporter.Progress(0, 100, INT_MIN);
    reporter.Progress(0, -100, INT_MIN);
    reporter.Progress(99, 100, 50);
    reporter.Progress(-1, 100, 50);
    reporter.Test(99, 0, TestStatus::Started);
    reporter.Test(-1, 0, TestStatus{7});
    reporter.Test(0, 0, TestStatus::Logged4);
    reporter.Test(0, 0, TestStatus{9});
}

// The engine's own lock, as a real engine keeps one around its state: InitDownloadObj takes it, and
// a "lock" phone holds it while it never comes.
std::mutex g_engineLock;

std::atomic<int> g_cell0Done{0}; // cell 0's last reported done, for the storm's reports
std::atomic<int> g_cell0Total{100};

unsigned __stdcall CrashThread(void*) {
    Trace("crashing");
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

// Each call keeps a page of its own on the stack, and uses it after the next call returns, so
// that no compiler turns the recursion into a loop; the stack ends long before the limit.
volatile int g_recursionLimit = 1 << 30;

__attribute__((noinline)) int Recurse(int depth) {
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    if (depth >= g_recursionLimit)
        return page[0];
    return Recurse(depth + 1) + page[0];
}

unsigned __stdcall OverflowThread(void*) {
    Trace("overflowing");
    return static_cast<unsigned>(Recurse(0));
}

// One phone's download. Returns when it ended (or was stopped); a cell 0 told to hang on the
// thread that called DownloadRun never returns.
void RunCell(int cell, const Scenario& scenario, bool onCallerThread) {
    const Reporter reporter = Reporter::Current();
    const CellScenario& phone = scenario.cell[cell];
    if (!Pause(phone.arrivalMs))
        return;
    if (phone.outcome == Outcome::Never) {
        WaitForSingleObject(g_stop, INFINITE);
        return;
    }
    if (phone.outcome == Outcome::Lock) {
        // Deaf to DownloadStop, holding what the next initialisation in this process needs.
        const std::lock_guard held(g_engineLock);
        Trace("DownloadRun waiting with the engine's lock");
        for (;;)
            Sleep(INFINITE);
    }
    const std::wstring port = L"COM" + Decimal(10 + cell);
    reporter.Monitor(cell, MonitorStatus::Busy, port);
    reporter.Msg(cell, MsgGrade::Information, L"Phone connected on " + port,
                 reporter.params.modelName ? reporter.params.modelName : L"");
    reporter.Test(cell, 0, TestStatus::Started);
    if (cell == 0 && scenario.malformed)
        SendMalformed(reporter);

    auto fail = [&](int code, std::wstring_view why) {
        reporter.Msg(cell, MsgGrade::Error, L"Download failed", why);
        reporter.Test(cell, code, TestStatus::Failed);
        reporter.Monitor(cell, MonitorStatus::Idle, port);
    };
    File package(reporter.params.packagePath ? reporter.params.packagePath : L"", false);
    OpenedPackage opened;
    std::wstring reason;
    if (!OpenPackage(package, opened, reason))
        return fail(9, reason);
    const std::wstring storage = phone.storage.empty() ? ModuleFolder() + L"\\phone" + Decimal(cell) + L".bin"
                                                       : Resolve(phone.storage);
    File phoneFile(storage, true);
    if (!phoneFile.IsOpen())
        return fail(8, L"cannot write phone storage " + storage);

    const std::uint64_t size = opened.descriptor.payloadSize;
    const std::uint64_t scale = size > INT_MAX ? 1024 : 1; // the engine counts in int32
    const int total = static_cast<int>(size / scale);
    if (cell == 0)
        g_cell0Total = total;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(scenario.chunkKb) * 1024);
    const double bytesPerMs = phone.speedKbps * 1024.0 / 1000.0;
    const ULONGLONG start = GetTickCount64();
    std::uint64_t done = 0;
    for (;;) {
        const int percent = size == 0 ? 100 : static_cast<int>(done * 100 / size);
        if (phone.outcome == Outcome::Fail && percent >= phone.failAt)
            return fail(3, L"write error at " + Decimal(percent) + L"%");
        if (phone.outcome == Outcome::Unplug && percent >= phone.unplugAt) {
            reporter.Monitor(cell, MonitorStatus::Idle, port);
            reporter.Msg(cell, MsgGrade::Error, L"Phone removed", port);
            reporter.Test(cell, 5, TestStatus::Failed);
            return;
        }
        if ((phone.outcome == Outcome::Crash || phone.outcome == Outcome::Overflow) &&
            percent >= phone.crashAt) {
            reporter.Msg(cell, MsgGrade::Information, L"Crashing at " + Decimal(percent) + L"%", L"");
            // On a thread of the engine's own, as engines crash: nothing of ours is on its stack.
            _beginthreadex(nullptr, 0, phone.outcome == Outcome::Crash ? CrashThread : OverflowThread,
                           nullptr, 0, nullptr);
            for (;;)
                Sleep(INFINITE);
        }
        if (phone.outcome == Outcome::Hang && percent >= phone.hangAt) {
            if (!onCallerThread) {
                WaitForSingleObject(g_stop, INFINITE);
                return;
            }
            Trace("DownloadRun hanging");
            // Deaf to DownloadStop, and still reporting now and then, as a stuck engine might.
            for (;;) {
                reporter.Progress(cell, total, static_cast<int>(done / scale));
                Sleep(20);
            }
        }
        if (done >= size)
            break;
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done));
        const auto bytes = std::span(chunk).first(piece);
        if (!package.ReadAt(opened.descriptor.payloadOffset + done, bytes))
            return fail(9, L"payload truncated");
        if (!phoneFile.Write(bytes))
            return fail(8, L"phone storage full");
        done += piece;
        reporter.Progress(cell, total, static_cast<int>(done / scale));
        if (cell == 0)
            g_cell0Done = static_cast<int>(done / scale);
        if (phone.speedKbps > 0) {
            const auto due = static_cast<ULONGLONG>(static_cast<double>(done) / bytesPerMs);
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (!Pause(due > elapsed ? static_cast<int>(std::min<ULONGLONG>(due - elapsed, INT_MAX)) : 0))
                return;
        } else if (Stopped()) {
            return;
        }
    }
    if (size == 0)
        reporter.Progress(cell, 0, 0);
    reporter.Msg(cell, MsgGrade::Information, L"Download complete", storage);
    reporter.Test(cell, 0, TestStatus::Succeeded);
    reporter.Monitor(cell, MonitorStatus::Idle, port);
}

struct StormPlan {
    int rate;
    int threads;
    int cells;
    int index;
    bool stamp;
    HANDLE done; // not owned: set when cell 0's download is over
};

// How long the storm's callbacks held their threads, in microseconds; traced by ReleaseDownloadObj.
std::vector<double> g_progressHolds, g_messageHolds; // guarded by g_mutex

long long PerformanceCount() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double MicrosecondsSince(long long start) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(PerformanceCount() - start) * 1e6 / static_cast<double>(frequency.QuadPart);
}

[[maybe_unused]] std::string HoldsLine(const char* what, std::vector<double> holds) {
    if (holds.empty())
        return {};
    std::sort(holds.begin(), holds.end());
    auto at = [&holds](double q) {
        return holds[std::min(holds.size() - 1, static_cast<std::size_t>(q * holds.size()))];
    };
    char line[160];
    std::snprintf(line, sizeof(line), "storm holds %s n=%zu median=%.1f p99=%.1f", what, holds.size(),
                  at(0.5), at(0.99));
    return line;
}

[[maybe_unused]] unsigned __stdcall StormThread(void* argument) {
    const StormPlan plan = *std::unique_ptr<StormPlan>(static_cast<StormPlan*>(argument));
    const Reporter reporter = Reporter::Current();
    const double perMs = plan.rate / 1000.0 / plan.threads;
    const ULONGLONG start = GetTickCount64();
    long long sent = 0;
    HANDLE waits[2] = {g_stop, plan.done};
    std::vector<double> progressHolds, messageHolds;
    while (WaitForMultipleObjects(2, waits, FALSE, 2) == WAIT_TIMEOUT) {
        const auto due = static_cast<long long>((GetTickCount64() - start) * perMs);
        for (; sent < due; ++sent) {
            const long long before = PerformanceCount();
            if (sent % 2 == 0) {
                reporter.Progress(0, g_cell0Total, g_cell0Done);
                if (plan.stamp)
                    progressHolds.push_back(MicrosecondsSince(before));
            } else {
                reporter.Msg(static_cast<int>(sent / 2 % plan.cells), MsgGrade::Information,
                             L"storm " + Decimal(plan.index) + L"/" + Decimal(sent),
                             plan.stamp ? Decimal(before) : L"");
                if (plan.stamp)
                    messageHolds.push_back(MicrosecondsSince(before));
            }
        }
    }
    std::lock_guard lock(g_mutex);
    g_progressHolds.insert(g_progressHolds.end(), progressHolds.begin(), progressHolds.end());
    g_messageHolds.insert(g_messageHolds.end(), messageHolds.begin(), messageHolds.end());
    return 0;
}

struct CellPlan {
    int cell;
    Scenario scenario;
};

[[maybe_unused]] unsigned __stdcall CellThread(void* argument) {
    std::unique_ptr<CellPlan> plan(static_cast<CellPlan*>(argument));
    RunCell(plan->cell, plan->scenario, false);
    return 0;
}

// The thread owns its plan once it runs.
template <typename Plan>
HANDLE StartEngineThread(unsigned(__stdcall* entry)(void*), std::unique_ptr<Plan> plan) {
    const auto handle = _beginthreadex(nullptr, 0, entry, plan.get(), 0, nullptr);
    if (handle == 0)
        return nullptr;
    plan.release();
    HANDLE thread = reinterpret_cast<HANDLE>(handle);
    std::lock_guard lock(g_mutex);
    g_threads.push_back(thread);
    return thread;
}

// Messages that come after DownloadStop has returned, as from an engine that stops lazily.
[[maybe_unused]] unsigned __stdcall AfterStopThread(void* argument) {
    const int count = *std::unique_ptr<int>(static_cast<int*>(argument));
    const Reporter reporter = Reporter::Current();
    Sleep(50);
    for (int index = 0; index < count; ++index)
        reporter.Msg(0, MsgGrade::Information, L"after stop " + Decimal(index), L"");
    return 0;
}

} // namespace
} // namespace tarnvel::sim

using namespace tarnvel;
using namespace tarnvel::sim;

extern "C" {

// Marks this library as the simulation: packaging refuses a dVarnok.dll that exports it.
__declspec(dllexport) int TARNVEL_ENGINE_CALL TarnvelSimulatedEngine() {
    return 1;
}

#ifndef TARNVEL_SIM_WITHOUT_INIT
// What some libraries do: a crash ends the process at once, leaving no dump.
LONG WINAPI QuietEnd(EXCEPTION_POINTERS*) {
    return EXCEPTION_EXECUTE_HANDLER;
}

__declspec(dllexport) std::int32_t TARNVEL_ENGINE_CALL InitDownloadObj(EngineInitParams* params) {
    const Scenario scenario = LoadScenario();
    if (scenario.ownFilter)
        SetUnhandledExceptionFilter(&QuietEnd);
    if (params == nullptr) {
        Trace("InitDownloadObj null");
        return 0;
    }
    Trace("InitDownloadObj path=" + Utf8(params->packagePath) + " model=" + Utf8(params->modelName) +
          " extra=" + Utf8(params->extraText) + " settings=" + DecimalA(params->setting1) + "," +
          DecimalA(params->setting2) + "," + DecimalA(params->setting3) + "," + DecimalA(params->setting4) +
          " switches=" + DecimalA(params->switch1) + DecimalA(params->switch2) + DecimalA(params->switch3) +
          DecimalA(params->switch4) + DecimalA(params->switch5) + DecimalA(params->switch6) +
          DecimalA(params->switch7));
    const std::lock_guard engineLock(g_engineLock);
    ResetEvent(g_stop);
    std::lock_guard lock(g_mutex);
    g_params = *params;
    g_initialised = scenario.initResult != 0; // a failed initialisation leaves nothing to run
    return scenario.initResult;
}
#endif

#ifndef TARNVEL_SIM_WITHOUT_VERIFY
__declspec(dllexport) void TARNVEL_ENGINE_CALL VerifyDataofRZB() {
    const Scenario scenario = LoadScenario();
    const Reporter reporter = Reporter::Current();
    if (!reporter.valid) {
        Trace("VerifyDataofRZB uninitialised");
        return;
    }
    Trace("VerifyDataofRZB");
    Verify(reporter, scenario);
}
#endif

#ifndef TARNVEL_SIM_WITHOUT_RUN
__declspec(dllexport) void TARNVEL_ENGINE_CALL DownloadRun(std::int32_t* reserved) {
    const Scenario scenario = LoadScenario();
    Trace(std::string("DownloadRun reserved=") + (reserved ? DecimalA(*reserved) : "null"));
    {
        std::lock_guard lock(g_mutex);
        if (!g_initialised)
            return Trace("DownloadRun uninitialised");
        HANDLE self = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
        if (self != nullptr)
            g_runCallers.push_back(self);
    }
    ResetEvent(g_stop);
    std::vector<HANDLE> mine;
    for (int cell = 1; cell < scenario.cells; ++cell) {
        if (HANDLE thread =
                StartEngineThread(CellThread, std::make_unique<CellPlan>(CellPlan{cell, scenario})))
            mine.push_back(thread);
    }
    HANDLE stormDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (scenario.stormRate > 0) {
        for (int index = 0; index < scenario.stormThreads; ++index) {
            auto plan =
                std::make_unique<StormPlan>(StormPlan{scenario.stormRate, scenario.stormThreads,
                                                      scenario.cells, index, scenario.stormStamp, stormDone});
            if (HANDLE thread = StartEngineThread(StormThread, std::move(plan)))
                mine.push_back(thread);
        }
    }
    RunCell(0, scenario, true);
    SetEvent(stormDone);
    for (HANDLE thread : mine)
        WaitForSingleObject(thread, INFINITE);
    CloseHandle(stormDone);
    Trace(Stopped() ? "DownloadRun returned stopped" : "DownloadRun returned");
}
#endif

#ifndef TARNVEL_SIM_WITHOUT_STOP
__declspec(dllexport) void TARNVEL_ENGINE_CALL DownloadStop() {
    const Scenario scenario = ReadScenario();
    Trace("DownloadStop");
    SetEvent(g_stop);
    if (scenario.afterStop > 0) {
        auto count = std::make_unique<int>(scenario.afterStop);
        StartEngineThread(AfterStopThread, std::move(count));
    }
    if (scenario.stopHangs) {
        Trace("DownloadStop hanging");
        for (;;)
            Sleep(INFINITE);
    }
}
#endif

#ifndef TARNVEL_SIM_WITHOUT_RELEASE
__declspec(dllexport) void TARNVEL_ENGINE_CALL ReleaseDownloadObj() {
    if (ReadScenario().releaseHangs) {
        Trace("ReleaseDownloadObj hanging");
        for (;;)
            Sleep(INFINITE);
    }
    SetEvent(g_stop);
    std::vector<HANDLE> threads, callers;
    {
        std::lock_guard lock(g_mutex);
        threads.swap(g_threads);
        callers.swap(g_runCallers);
        g_initialised = false;
        g_params = {};
    }
    int alive = 0;
    for (HANDLE caller : callers) {
        if (WaitForSingleObject(caller, 0) == WAIT_TIMEOUT)
            ++alive;
        CloseHandle(caller);
    }
    Trace("ReleaseDownloadObj runs_alive=" + DecimalA(alive));
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
    }
    std::vector<double> progressHolds, messageHolds;
    {
        std::lock_guard lock(g_mutex);
        progressHolds.swap(g_progressHolds);
        messageHolds.swap(g_messageHolds);
    }
    for (const auto& line : {HoldsLine("progress", progressHolds), HoldsLine("message", messageHolds)}) {
        if (!line.empty())
            Trace(line);
    }
}
#endif

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary (not by the process ending).
        Trace("unloaded");
        CloseHandle(g_stop);
    }
    return TRUE;
}
