#include "sim_fixture.h"

#include "log/log_format.h"
#include "payload_format.h"
#include "rzb_writer.h"
#include "text/code_page.h"

#include <windows.h>

#include <algorithm>
#include <regex>
#include <thread>

namespace tarnvel::testing {

SimFixture::SimFixture() {
    RemoveTree(LogFolder(ExecutableFolder()));
    SetScenario("");
}

SimFixture::~SimFixture() {
    ShutdownController();
    SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", nullptr);
}

void SimFixture::SetScenario(const std::string& entries) {
    std::string text = "trace=" + Utf8FromWide(scratch_ / L"trace.txt") + ";storage=" + Utf8FromWide(phone_) +
                       ";arrival_ms=50;speed_kbps=0;verify_ms=20;" + entries;
    std::replace(text.begin(), text.end(), ';', '\n');
    // Through a file: the engine host, started with the environment of its time, reads the
    // scenario of now.
    const std::wstring file = scratch_ / L"scenario.txt";
    EXPECT_TRUE(WriteFileBytes(file, text));
    SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", (L"@" + file).c_str());
}

std::string GeneratedPayload(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    sim::PayloadGenerator(seed).Fill(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), size));
    return bytes;
}

bool WritePackage(const std::wstring& path, int format, const std::string& model,
                  const std::string& payload) {
    rzb::PackageFields package;
    package.formatVersion = format;
    package.modelBytes = model;
    package.versionBytes = "V1.0 test";
    std::string error;
    const auto bytes = rzb::BuildPackage(package, payload, error);
    return !bytes.empty() &&
           WriteFileBytes(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::wstring SimFixture::MakePackage(const std::string& model, const std::string& payload,
                                     const std::string& name) {
    const std::wstring path = scratch_ / WideFromUtf8(name);
    EXPECT_TRUE(WritePackage(path, 16, model, payload));
    return path;
}

void SimFixture::StartController() {
    system_ = std::make_unique<SystemController>();
    controller_ = &**system_;
    controller_->SetEventSink(recorder_.Sink());
    controller_->LoadEngine();
}

void SimFixture::ShutdownController() {
    if (!controller_)
        return;
    controller_->Shutdown();
    controller_ = nullptr;
    system_.reset();
}

std::vector<std::string> SimFixture::Trace() const {
    return SplitLines(ReadFileBytes(scratch_ / L"trace.txt"));
}

bool SimFixture::WaitForTrace(const std::string& line, std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const auto& traced : Trace()) {
            if (traced == line)
                return true;
        }
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

bool SimFixture::WaitForCloseAllowed(std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!controller_->IsCloseAllowed()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::vector<std::wstring> SimFixture::LogFiles(unsigned cell) const {
    std::vector<std::wstring> files;
    const std::wstring folder = LogFolder(ExecutableFolder());
    const std::wstring prefix = L"CELL" + std::to_wstring(cell) + L" ";
    for (const auto& name : FilesIn(folder)) {
        if (name.rfind(prefix, 0) == 0)
            files.push_back(folder + L"\\" + name);
    }
    return files;
}

std::vector<std::string> SimFixture::LogLines(unsigned cell) const {
    std::vector<std::string> lines;
    for (const auto& file : LogFiles(cell)) {
        // "hh:mm:ss:mmm\t" in front of every decorated line, also where a raw line runs into it.
        static const std::regex stamp("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]{3}\t");
        for (auto& line : SplitLines(ReadFileBytes(file)))
            lines.push_back(std::regex_replace(line, stamp, ""));
    }
    return lines;
}

bool SimFixture::WaitForLastLogLine(const std::string& line, std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto lines = LogLines();
        if (!lines.empty() && lines.back() == line)
            return true;
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

} // namespace tarnvel::testing
