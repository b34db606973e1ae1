// The process shell seen from outside: the real program started in a scratch folder, with one of
// the updater stand-ins beside it as Renewkit.dll.
#include "child_process.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

namespace tarnvel::test {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kExeName[] = L"TarnVel Download Assistant.exe";
constexpr char kProductCall[] = "CheckToUpdate Tarnvel Download Assistant Setup V1.89_141212";
constexpr DWORD kStartTimeoutMs = 30000;
constexpr int kClosedByUser = 2;

using Lines = std::vector<std::string>;

class ProcessShell : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = FreshScratchFolder(std::string("app_process/") + info->name());
        fs::copy_file(BinFolder() / kExeName, Exe());
    }

    fs::path Exe() const { return folder_ / kExeName; }

    void InstallUpdater(const char* variant, const fs::path& where) const {
        fs::copy_file(BinFolder() / (std::string(variant) + ".dll"), where / "Renewkit.dll");
    }
    void InstallUpdater(const char* variant) const { InstallUpdater(variant, folder_); }

    Lines UpdaterCalls(const fs::path& where) const { return ReadLines(where / "renewkit_calls.txt"); }
    Lines UpdaterCalls() const { return UpdaterCalls(folder_); }

    std::vector<fs::path> DumpFiles() const {
        std::vector<fs::path> dumps;
        for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
            if (entry.path().extension() == ".dmp")
                dumps.push_back(entry.path());
        }
        return dumps;
    }

    // Starts the program and waits for its main window.
    HWND StartWithWindow(ChildProcess& process) const {
        if (!process.Started())
            return nullptr;
        return process.WaitForWindow(&IsMainDialog, kStartTimeoutMs);
    }

    // The window closes through the given message and the process ends with the user's exit code.
    static void ExpectClosesWith(ChildProcess& process, HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
        ASSERT_TRUE(PostMessageW(window, message, wParam, lParam));
        // The wizard may ask first whether to close: the user says yes.
        if (HWND question = process.WaitForWindow(&IsMessageBox, kStartTimeoutMs)) {
            HWND yes = GetDlgItem(question, IDYES);
            ASSERT_NE(yes, nullptr) << "a question to close, not a refusal";
            PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(yes));
        }
        ASSERT_TRUE(process.WaitForExit(kStartTimeoutMs));
        EXPECT_EQ(process.ExitCode(), kClosedByUser);
    }

    fs::path folder_;
};

constexpr LPARAM kEscapeDown = 0x00010001;               // repeat 1, scan code 1
constexpr LPARAM kAltF4Down = 0x20000001 | (0x3E << 16); // context code: Alt is held

TEST_F(ProcessShell, SecondInstanceShowsMessageOnceAndLeavesFirstRunning) {
    ChildProcess first(Exe(), folder_);
    HWND firstWindow = StartWithWindow(first);
    ASSERT_NE(firstWindow, nullptr);

    ChildProcess second(Exe(), folder_);
    ASSERT_TRUE(second.Started());
    HWND box = second.WaitForWindow(&IsMessageBox, kStartTimeoutMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), L"TarnVel Download Assistant already running...");
    EXPECT_FALSE(WindowText(box).empty()) << "the system's default caption";
    std::vector<HWND> buttons;
    for (HWND child : ChildWindows(box)) {
        if (ClassName(child) == L"Button" && IsWindowVisible(child))
            buttons.push_back(child);
    }
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(GetDlgCtrlID(buttons[0]), IDOK);
    EXPECT_EQ(VisibleWindowsOf(second.Id()).size(), 1u);

    // After OK the second instance ends at once: a second message would keep it running.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(buttons[0]));
    ASSERT_TRUE(second.WaitForExit(kStartTimeoutMs));
    EXPECT_EQ(second.ExitCode(), -1);

    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(IsWindowVisible(firstWindow));
    ExpectClosesWith(first, firstWindow, WM_CLOSE, 0, 0);
}

TEST_F(ProcessShell, UpdaterTakingOverEndsWithoutWindow) {
    InstallUpdater("renewkit_takes_over");
    ChildProcess process(Exe(), folder_);
    ASSERT_TRUE(process.Started());
    const auto ending = process.WatchUntilExit(kStartTimeoutMs);
    ASSERT_TRUE(ending.exited);
    EXPECT_FALSE(ending.windowSeen);
    EXPECT_EQ(process.ExitCode(), 0);
    // "unload" comes from FreeLibrary; a library still loaded at the end would say "process exit".
    EXPECT_EQ(UpdaterCalls(),
              (Lines{"load", "InitializeResource", kProductCall, "DestroyResource", "unload"}));
}

// Each of these updaters leaves the start to the program, which shows its window after exactly
// the given calls; the window is then closed in one of the ways a user closes it.
struct DecliningUpdater {
    const char* variant;
    std::vector<std::string> calls;
    const char* closedBy;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class UpdaterLeavesTheStart : public ProcessShell, public ::testing::WithParamInterface<DecliningUpdater> {};

TEST_P(UpdaterLeavesTheStart, WindowAppears) {
    const DecliningUpdater& updater = GetParam();
    InstallUpdater(updater.variant);
    ChildProcess process(Exe(), folder_);
    HWND window = StartWithWindow(process);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(UpdaterCalls(), updater.calls);
    // Template 129 is a pop-up with a border and no caption bar.
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_CAPTION), WS_POPUP | WS_BORDER);
    EXPECT_TRUE(fs::is_directory(folder_ / "DumpLog")) << "made at every start";
    // Closing takes the wizard seconds: each way a user closes it is tried once, not in every case.
    if (updater.message != 0)
        ExpectClosesWith(process, window, updater.message, updater.wParam, updater.lParam);
}

// The stand-ins without DestroyResource or InitializeResource would take over if they were asked.
INSTANTIATE_TEST_SUITE_P(
    ProcessShell, UpdaterLeavesTheStart,
    ::testing::Values(
        DecliningUpdater{"renewkit_declines",
                         {"load", "InitializeResource", kProductCall, "DestroyResource", "unload"},
                         "Escape",
                         WM_KEYDOWN,
                         VK_ESCAPE,
                         kEscapeDown},
        DecliningUpdater{"renewkit_without_check",
                         {"load", "InitializeResource", "DestroyResource", "unload"},
                         "AltF4",
                         WM_SYSKEYDOWN,
                         VK_F4,
                         kAltF4Down},
        DecliningUpdater{
            "renewkit_without_destroy", {"load", "InitializeResource", "unload"}, "NotClosed", 0, 0, 0},
        DecliningUpdater{"renewkit_without_initialize", {"load", "unload"}, "NotClosed", 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.variant).substr(9) + "_" + info.param.closedBy; });

// The program runs elevated: an updater planted in the working folder must not be loaded.
TEST_F(ProcessShell, UpdaterInWorkingFolderIsNotLoaded) {
    const fs::path workingFolder = folder_ / "working";
    fs::create_directory(workingFolder);
    InstallUpdater("renewkit_takes_over", workingFolder);
    ChildProcess process(Exe(), workingFolder);
    HWND window = StartWithWindow(process);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(UpdaterCalls(workingFolder), Lines{});
}

class CrashDump : public ProcessShell {
protected:
    // Runs the program with a crashing updater; expects a silent end with exit code 0.
    void RunCrashing(const char* variant) {
        InstallUpdater(variant);
        before_ = std::time(nullptr);
        ChildProcess process(Exe(), folder_);
        ASSERT_TRUE(process.Started());
        const auto ending = process.WatchUntilExit(kStartTimeoutMs);
        after_ = std::time(nullptr);
        ASSERT_TRUE(ending.exited);
        EXPECT_FALSE(ending.windowSeen);
        EXPECT_EQ(process.ExitCode(), 0);
        // The crash came in InitializeResource: nothing after it ran, not even the unload.
        EXPECT_EQ(UpdaterCalls(), (Lines{"load", "InitializeResource"}));
    }

    // Exactly one dump, in DumpLog, named by the crash time in seconds, and a real minidump.
    void ExpectOneDump() const {
        const auto dumps = DumpFiles();
        ASSERT_EQ(dumps.size(), 1u);
        EXPECT_EQ(dumps[0].parent_path(), folder_ / "DumpLog");
        const long long seconds = std::stoll(dumps[0].stem().string());
        EXPECT_GE(seconds, static_cast<long long>(before_));
        EXPECT_LE(seconds, static_cast<long long>(after_));
        EXPECT_EQ(dumps[0].stem().string(), std::to_string(seconds)) << "plain decimal seconds";
        EXPECT_EQ(FileSignature(dumps[0]), "MDMP");
        EXPECT_GT(fs::file_size(dumps[0]), 1024u);
    }

    std::time_t before_ = 0;
    std::time_t after_ = 0;
};

TEST_F(CrashDump, CrashOnMainThreadWritesOneDump) {
    RunCrashing("renewkit_crash_in_initialize");
    ExpectOneDump();
}

TEST_F(CrashDump, CrashOnAnotherThreadWritesOneDump) {
    RunCrashing("renewkit_crash_on_thread");
    ExpectOneDump();
}

TEST_F(CrashDump, UnwritableDumpLogLeavesNoFile) {
    // A file in the way of the folder: neither the folder nor a dump in it can be made.
    std::ofstream(folder_ / "DumpLog") << "in the way";
    RunCrashing("renewkit_crash_in_initialize");
    EXPECT_TRUE(fs::is_regular_file(folder_ / "DumpLog"));
    EXPECT_EQ(DumpFiles().size(), 0u);
}

} // namespace
} // namespace tarnvel::test
