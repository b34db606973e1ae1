// dVarnok.dll of a fault run: passes every call to the simulated engine beside it
// (tarnvel_sim_engine.dll) and writes down, in dVarnok.events beside it, each entry point call and
// each event the engine reports, before the program hears of the event. The fault runs compare
// the program's log files with this record.
#include "download/engine_interface.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>

namespace {

using namespace tarnvel;

struct Engine {
    HMODULE module = nullptr; // owned, never freed (see DllMain)
    InitDownloadObjFn init = nullptr;
    VerifyDataofRZBFn verify = nullptr;
    DownloadRunFn run = nullptr;
    DownloadStopFn stop = nullptr;
    ReleaseDownloadObjFn release = nullptr;
};

std::once_flag g_loadOnce;
Engine g_engine;
std::mutex g_fileMutex;
HANDLE g_events = INVALID_HANDLE_VALUE; // owned, closed by the process's end
std::atomic<long long> g_sequence{0};

std::atomic<CheckdataStatusCallback> g_onCheckdata{nullptr};
std::atomic<MonitorStatusCallback> g_onMonitor{nullptr};
std::atomic<SendMsgInfoCallback> g_onMsgInfo{nullptr};
std::atomic<ShowProgressCallback> g_onProgress{nullptr};
std::atomic<TestStatusCallback> g_onTestStatus{nullptr};
EngineInitParams g_params{}; // the engine may keep the record's address

std::wstring OwnFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnFolder), &self);
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path, length);
    const auto slash = folder.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
}

template <typename Fn> Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_engine.module, name)));
}

void Load() {
    std::call_once(g_loadOnce, [] {
        const std::wstring folder = OwnFolder();
        g_engine.module = LoadLibraryW((folder + L"\\tarnvel_sim_engine.dll").c_str());
        if (g_engine.module) {
            g_engine.init = Export<InitDownloadObjFn>(kInitDownloadObjName);
            g_engine.verify = Export<VerifyDataofRZBFn>(kVerifyDataofRZBName);
            g_engine.run = Export<DownloadRunFn>(kDownloadRunName);
            g_engine.stop = Export<DownloadStopFn>(kDownloadStopName);
            g_engine.release = Export<ReleaseDownloadObjFn>(kReleaseDownloadObjName);
        }
        g_events = CreateFileW((folder + L"\\dVarnok.events").c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    });
}

long long UnixMilliseconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>(ticks / 10000 - 11644473600000ull);
}

void Hex(std::string& out, const wchar_t* text, std::size_t capacity) {
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < capacity && text[i] != L'\0'; ++i) {
        const auto unit = static_cast<unsigned>(text[i]) & 0xFFFFu;
        for (int shift = 12; shift >= 0; shift -= 4)
            out += digits[(unit >> shift) & 0xF];
    }
    if (out.empty() || out.back() == '\t')
        out += '-'; // an empty text
}

// One line: sequence, time, thread, kind, then the fields, tab-separated; texts as UTF-16 hex.
void Write(std::string line) {
    Load();
    line = std::to_string(g_sequence.fetch_add(1)) + '\t' + std::to_string(UnixMilliseconds()) + '\t' +
           std::to_string(GetCurrentThreadId()) + '\t' + line + '\n';
    std::lock_guard lock(g_fileMutex);
    DWORD written = 0;
    if (g_events != INVALID_HANDLE_VALUE)
        WriteFile(g_events, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string Ints(std::initializer_list<long long> values) {
    std::string out;
    for (long long value : values)
        out += '\t' + std::to_string(value);
    return out;
}

// The two status reports (checkdata, monitor) are alike: a cell, a status and one text.
template <typename Record, typename Callback>
void WriteStatus(const char* kind, const Record& record, const std::atomic<Callback>& passOn) {
    std::string line = std::string("E\t") + kind + Ints({record.cell, record.status, 0}) + '\t';
    Hex(line, record.text, std::size(record.text));
    Write(line + "\t-");
    if (auto callback = passOn.load())
        callback(record);
}

void TARNVEL_ENGINE_CALL OnCheckdata(CheckdataStatusRecord record) {
    WriteStatus("UCheckdataStatus", record, g_onCheckdata);
}

void TARNVEL_ENGINE_CALL OnMonitor(MonitorStatusRecord record) {
    WriteStatus("UMonitorStatus", record, g_onMonitor);
}

void TARNVEL_ENGINE_CALL OnMsgInfo(MsgInfoRecord record) {
    std::string line = "E\tUSendMsgInfo" + Ints({record.cell, record.msgType, 0}) + '\t';
    Hex(line, record.text, kMsgInfoTextCapacity);
    line += '\t';
    Hex(line, record.detail, kMsgInfoDetailCapacity);
    Write(line);
    if (auto callback = g_onMsgInfo.load())
        callback(record);
}

void TARNVEL_ENGINE_CALL OnProgress(std::int32_t cell, std::int32_t total, std::int32_t done) {
    Write("E\tUShowProgress" + Ints({cell, total, done}) + "\t-\t-");
    if (auto callback = g_onProgress.load())
        callback(cell, total, done);
}

void TARNVEL_ENGINE_CALL OnTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) {
    Write("E\tUTestStatus" + Ints({cell, code, status}) + "\t-\t-");
    if (auto callback = g_onTestStatus.load())
        callback(cell, code, status);
}

} // namespace

extern "C" {

__declspec(dllexport) std::int32_t TARNVEL_ENGINE_CALL InitDownloadObj(EngineInitParams* params) {
    Load();
    Write("C\tInitDownloadObj");
    if (!g_engine.init || !params)
        return 0;
    g_onCheckdata = params->onCheckdataStatus;
    g_onMonitor = params->onMonitorStatus;
    g_onMsgInfo = params->onSendMsgInfo;
    g_onProgress = params->onShowProgress;
    g_onTestStatus = params->onTestStatus;
    g_params = *params;
    g_params.onCheckdataStatus = &OnCheckdata;
    g_params.onMonitorStatus = &OnMonitor;
    g_params.onSendMsgInfo = &OnMsgInfo;
    g_params.onShowProgress = &OnProgress;
    g_params.onTestStatus = &OnTestStatus;
    return g_engine.init(&g_params);
}

__declspec(dllexport) void TARNVEL_ENGINE_CALL VerifyDataofRZB() {
    Load();
    Write("C\tVerifyDataofRZB");
    if (g_engine.verify)
        g_engine.verify();
    Write("C\tVerifyDataofRZB returned");
}

__declspec(dllexport) void TARNVEL_ENGINE_CALL DownloadRun(std::int32_t* reserved) {
    Load();
    Write("C\tDownloadRun");
    if (g_engine.run)
        g_engine.run(reserved);
    Write("C\tDownloadRun returned");
}

__declspec(dllexport) void TARNVEL_ENGINE_CALL DownloadStop() {
    Load();
    Write("C\tDownloadStop");
    if (g_engine.stop)
        g_engine.stop();
}

__declspec(dllexport) void TARNVEL_ENGINE_CALL ReleaseDownloadObj() {
    Load();
    Write("C\tReleaseDownloadObj");
    if (g_engine.release)
        g_engine.release();
}

// Like the engine it wraps, this DLL must never pass for the vendor's.
__declspec(dllexport) int TARNVEL_ENGINE_CALL TarnvelSimulatedEngine() {
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    // Pinned, with the engine it loaded and the record file left open until the process ends:
    // when the program unloads its engine, an engine thread that still reports must find code
    // here and reach the record, so that the run sees what the program did with it.
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(instance), &pinned);
    }
    return TRUE;
}

} // extern "C"
