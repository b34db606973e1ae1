// The package path's probe on the real file system.
#include "platform/unique_handle.h"
#include "wizard/package_check.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace tarnvel {
namespace {

class PackageProbeTest : public ::testing::Test {
protected:
    PackageProbeTest() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"tarnvel-probe-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        file_ = folder_ + L"\\phone.RZB";
        const UniqueHandle file(CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), "RZB", 3, &written, nullptr);
    }
    ~PackageProbeTest() override {
        DeleteFileW(file_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring folder_;
    std::wstring file_;
};

TEST_F(PackageProbeTest, TellsAReadableFileFromAFolderAMissingFileAndAFileHeldExclusively) {
    const FileProbe& probe = SystemFileProbe();
    EXPECT_EQ(probe.Probe(file_), FileState::Readable);
    EXPECT_EQ(probe.Probe(folder_), FileState::Folder);
    EXPECT_EQ(probe.Probe(folder_ + L"\\absent.RZB"), FileState::Missing);
    EXPECT_EQ(probe.Probe(folder_ + L"\\absent\\phone.RZB"), FileState::Missing);

    const UniqueHandle held(
        CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(probe.Probe(file_), FileState::Unreadable);
}

} // namespace
} // namespace tarnvel
