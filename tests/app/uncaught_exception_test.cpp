// An uncaught C++ exception ends the process as a crash does: one dump, exit code 0, no message.
#include "child_process.h"

#include <gtest/gtest.h>

namespace tarnvel::test {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kExitTimeoutMs = 30000;

class UncaughtException : public ::testing::TestWithParam<const char*> {};

TEST_P(UncaughtException, WritesOneDumpAndEndsWithExitCodeZero) {
    const fs::path folder = FreshScratchFolder(std::string("uncaught_exception/") + GetParam());
    const fs::path exe = folder / "uncaught_exception_child.exe";
    fs::copy_file(BinFolder() / "uncaught_exception_child.exe", exe);

    ChildProcess process(exe, folder, GetParam());
    ASSERT_TRUE(process.Started());
    const auto ending = process.WatchUntilExit(kExitTimeoutMs);
    ASSERT_TRUE(ending.exited);
    EXPECT_FALSE(ending.windowSeen) << "the runtime's abort message showed";
    EXPECT_EQ(process.ExitCode(), 0);

    std::vector<fs::path> dumps;
    for (const auto& entry : fs::directory_iterator(folder / "DumpLog"))
        dumps.push_back(entry.path());
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(dumps[0].extension(), ".dmp");
    EXPECT_EQ(FileSignature(dumps[0]), "MDMP");
}

INSTANTIATE_TEST_SUITE_P(OnEachThread, UncaughtException, ::testing::Values("main", "thread"));

} // namespace
} // namespace tarnvel::test
