// A test fixture that runs the real controller against the simulated engine, which lies beside
// the test program as dVarnok.dll. Scenarios go to the engine through its environment variable;
// each test gets a scratch folder for packages, phone storage and the engine's trace.
#pragma once

#include "download/system_controller.h"
#include "hook_recorder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tarnvel::testing {

using namespace std::chrono_literals;

// Generated payload bytes (the same for the same seed).
std::string GeneratedPayload(std::size_t size, unsigned seed = 1);

// Writes a package of the format with this model and payload; false when it cannot.
bool WritePackage(const std::wstring& path, int format, const std::string& model, const std::string& payload);

class SimFixture : public ::testing::Test {
protected:
    SimFixture();
    ~SimFixture() override;

    // Scenario entries ("outcome=fail;fail_at=40"); the trace and phone storage go to scratch.
    void SetScenario(const std::string& entries);
    // A package of format 16 with this model and payload in the scratch folder.
    std::wstring MakePackage(const std::string& model, const std::string& payload,
                             const std::string& name = "p.rzb");
    std::string Payload(std::size_t size, unsigned seed = 1) const { return GeneratedPayload(size, seed); }

    void StartController(); // construct, set the recording hooks, load the engine
    void ShutdownController();

    std::vector<std::string> Trace() const;
    bool WaitForTrace(const std::string& line, std::chrono::milliseconds timeout) const;
    // The controller allows closing just after the hook that ends a run: true once it does.
    bool WaitForCloseAllowed(std::chrono::milliseconds timeout) const;
    // Cell 0's log files, oldest first, and their lines with the 13-byte time stamp removed
    // wherever it stands (a raw line runs into the next line, as in the file).
    std::vector<std::wstring> LogFiles(unsigned cell = 0) const;
    std::vector<std::string> LogLines(unsigned cell = 0) const;
    // The log is written by a thread of its own, after the hook that a line goes with: true once
    // cell 0's last line is this one.
    bool WaitForLastLogLine(const std::string& line, std::chrono::milliseconds timeout) const;

    ScratchFolder scratch_{L"sim"};
    std::wstring phone_ = scratch_ / L"phone0.bin";
    HookRecorder recorder_;
    std::unique_ptr<SystemController> system_;
    DownloadController* controller_ = nullptr; // system_'s
};

} // namespace tarnvel::testing
