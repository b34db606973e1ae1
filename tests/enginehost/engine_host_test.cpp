#include "download/engine_host_process.h"
#include "download/host_protocol.h"
#include "support/sim_fixture.h"
#include "text/code_page.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarnvel::testing {
namespace {

using namespace host;

// The host beside this test program, and what it reports, gathered by a thread of their own as
// the program's reader thread will.
class RunningHost {
public:
    RunningHost() {
        DWORD error = 0;
        process_ = EngineHostProcess::Start(ExecutableFolder() + L"\\" + kEngineHostFileName, error);
        EXPECT_TRUE(process_) << "the host did not start: error " << error;
        if (process_)
            reader_ = std::thread([this] { Read(); });
    }
    ~RunningHost() {
        if (process_)
            process_->Terminate();
        if (reader_.joinable())
            reader_.join();
    }

    EngineHostProcess& Process() { return *process_; }
    bool Send(const Request& request) { return process_->Send(Encode(request)); }

    // True once `seen` holds for the reports so far (and the channel's fault, if any).
    bool WaitFor(const std::function<bool(const std::vector<Report>&)>& seen) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, 30s, [&] { return seen(reports_); });
    }
    bool WaitForEnd() {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, 30s, [&] { return ended_; });
    }
    ChannelFault Fault() {
        std::lock_guard guard(lock_);
        return fault_;
    }
    std::vector<Report> Reports() {
        std::lock_guard guard(lock_);
        return reports_;
    }

private:
    void Read() {
        FrameReader frames;
        std::uint8_t buffer[4096];
        for (;;) {
            const std::size_t read = process_->Receive(buffer, sizeof(buffer));
            if (read == 0)
                frames.EndOfStream();
            else
                frames.Append(buffer, read);
            std::lock_guard guard(lock_);
            while (const auto frame = frames.Next()) {
                Report report;
                fault_ = Decode(*frame, report);
                if (fault_ != ChannelFault::None)
                    break;
                reports_.push_back(report);
            }
            if (fault_ == ChannelFault::None)
                fault_ = frames.Fault();
            ended_ = read == 0 || fault_ != ChannelFault::None;
            changed_.notify_all();
            if (ended_)
                return;
        }
    }

    std::unique_ptr<EngineHostProcess> process_;
    std::thread reader_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Report> reports_;
    ChannelFault fault_ = ChannelFault::None;
    bool ended_ = false;
};

template <typename T> std::vector<T> OfKind(const std::vector<Report>& reports) {
    std::vector<T> found;
    for (const auto& report : reports) {
        if (const auto* one = std::get_if<T>(&report))
            found.push_back(*one);
    }
    return found;
}

bool HasReturned(const std::vector<Report>& reports, EngineExport which) {
    for (const auto& returned : OfKind<ReturnedReport>(reports)) {
        if (returned.which == which)
            return true;
    }
    return false;
}

InitRequest InitFor(const std::wstring& package) {
    InitRequest init;
    init.packagePath = package;
    init.modelName = L"5512Q";
    init.settings = {2, 3, 1, 0};
    init.switches = {1, 1, 1, 1, 1, 1, 1};
    return init;
}

DWORD ExitCodeOf(EngineHostProcess& process) {
    EXPECT_TRUE(process.WaitForExit(30000));
    return process.ExitCode().value_or(STILL_ACTIVE);
}

bool VerificationPassed(const std::vector<Report>& reports) {
    for (const auto& check : OfKind<CheckdataStatusRecord>(reports)) {
        if (static_cast<CheckdataStatus>(check.status) == CheckdataStatus::Passed)
            return true;
    }
    return false;
}

// Up to the phone's wait: the engine initialised, the package verified, DownloadRun called.
void StartUpgrade(RunningHost& host, const std::wstring& package) {
    ASSERT_TRUE(host.Send(InitFor(package)));
    // Each export runs on a thread of its own: the program waits for one before it asks the next.
    ASSERT_TRUE(host.WaitFor([](const auto& reports) { return HasReturned(reports, EngineExport::Init); }));
    ASSERT_TRUE(host.Send(CallRequest{EngineExport::Verify}));
    ASSERT_TRUE(host.WaitFor(VerificationPassed));
    ASSERT_TRUE(host.Send(CallRequest{EngineExport::Run}));
}

class EngineHostTest : public SimFixture {};

TEST_F(EngineHostTest, StartedWithoutItsChannelItEndsAtOnce) {
    // Numbers that name no handle of a new process, so that the host cannot take its standard
    // handles for a channel.
    for (std::wstring arguments : {L"", L" --channel 1000000 1000004", L" --channel"}) {
        std::wstring commandLine =
            L"\"" + ExecutableFolder() + L"\\" + kEngineHostFileName + L"\"" + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION created{};
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &created));
        const UniqueHandle process(created.hProcess);
        const UniqueHandle thread(created.hThread);
        ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(process.Get(), &code);
        EXPECT_EQ(code, 2u) << Utf8FromWide(arguments);
    }
}

TEST_F(EngineHostTest, RelaysAWholeUpgradeInTheEnginesOrderAndEndsWhenTheChannelCloses) {
    const std::wstring package = MakePackage("5512Q", Payload(300 * 1024));
    RunningHost host;
    ASSERT_TRUE(host.WaitFor([](const auto& reports) { return !reports.empty(); }));
    const auto ready = std::get<ReadyReport>(host.Reports().front());
    EXPECT_EQ(ready.loadError, 0u);
    EXPECT_EQ(ready.exports, 0x1F);

    StartUpgrade(host, package);
    ASSERT_TRUE(host.WaitFor([](const auto& reports) { return HasReturned(reports, EngineExport::Run); }));
    ASSERT_TRUE(host.Send(CallRequest{EngineExport::Release}));
    ASSERT_TRUE(
        host.WaitFor([](const auto& reports) { return HasReturned(reports, EngineExport::Release); }));
    host.Process().CloseRequests();
    EXPECT_EQ(ExitCodeOf(host.Process()), 0u);
    EXPECT_TRUE(host.WaitForEnd());
    EXPECT_EQ(host.Fault(), ChannelFault::None);

    const auto reports = host.Reports();
    const auto returned = OfKind<ReturnedReport>(reports);
    ASSERT_FALSE(returned.empty());
    EXPECT_EQ(returned.front().which, EngineExport::Init);
    EXPECT_NE(returned.front().result, 0);
    // The download on cell 0 as the engine made it: started, progress that never goes back, success.
    std::vector<std::int32_t> statuses;
    for (const auto& status : OfKind<TestStatusReport>(reports)) {
        if (status.cell == 0)
            statuses.push_back(status.status);
    }
    EXPECT_EQ(statuses, (std::vector<std::int32_t>{1, 2}));
    std::int32_t lastDone = -1;
    for (const auto& progress : OfKind<ProgressReport>(reports)) {
        EXPECT_GE(progress.done, lastDone);
        lastDone = progress.done;
    }
    EXPECT_GT(lastDone, 0);
    EXPECT_FALSE(OfKind<MsgInfoRecord>(reports).empty());
    // The engine saw the record as it was sent.
    const auto trace = Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), "InitDownloadObj path=" + Utf8FromWide(package) +
                                 " model=5512Q extra= settings=2,3,1,0 switches=1111111");
}

TEST_F(EngineHostTest, AnEngineThatKeepsItsLockIsThrownAwayWholeAndTheNextHostServesAgain) {
    SetScenario("outcome=lock");
    const std::wstring package = MakePackage("5512Q", Payload(64 * 1024));
    {
        RunningHost host;
        StartUpgrade(host, package);
        ASSERT_TRUE(WaitForTrace("DownloadRun waiting with the engine's lock", 30s));
        ASSERT_TRUE(host.Send(CallRequest{EngineExport::Stop}));
        ASSERT_TRUE(
            host.WaitFor([](const auto& reports) { return HasReturned(reports, EngineExport::Stop); }));
        EXPECT_FALSE(HasReturned(host.Reports(), EngineExport::Run));
        host.Process().Terminate();
        EXPECT_TRUE(host.WaitForEnd());
    }
    SetScenario("");
    RunningHost next;
    StartUpgrade(next, package);
    EXPECT_TRUE(next.WaitFor([](const auto& reports) { return HasReturned(reports, EngineExport::Run); }));
}

TEST_F(EngineHostTest, AnEngineThatCrashesEndsItsHostAfterEverythingItSaidBefore) {
    SetScenario("outcome=crash;crash_at=30");
    const std::wstring dumps = ExecutableFolder() + L"\\DumpLog";
    RemoveTree(dumps);
    RunningHost host;
    StartUpgrade(host, MakePackage("5512Q", Payload(512 * 1024)));
    EXPECT_TRUE(host.WaitForEnd());
    EXPECT_EQ(ExitCodeOf(host.Process()), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(host.Fault(), ChannelFault::None);
    bool lastWords = false;
    for (const auto& message : OfKind<MsgInfoRecord>(host.Reports()))
        lastWords = lastWords || std::wstring(message.text).starts_with(L"Crashing at ");
    EXPECT_TRUE(lastWords);
    const auto dumpFiles = FilesIn(dumps);
    ASSERT_EQ(dumpFiles.size(), 1u);
    EXPECT_TRUE(dumpFiles.front().starts_with(kEngineHostDumpPrefix)) << Utf8FromWide(dumpFiles.front());
    RemoveTree(dumps);
}

TEST_F(EngineHostTest, ARequestThatDoesNotDecodeEndsTheHostWithAFault) {
    RunningHost host;
    ASSERT_TRUE(host.WaitFor([](const auto& reports) { return !reports.empty(); }));
    const std::vector<std::uint8_t> unknownKind{0x99, 0x00, 0, 0, 0, 0};
    ASSERT_TRUE(host.Process().Send(unknownKind));
    EXPECT_EQ(ExitCodeOf(host.Process()), 3u);
    EXPECT_TRUE(host.WaitForEnd());
}

} // namespace
} // namespace tarnvel::testing
