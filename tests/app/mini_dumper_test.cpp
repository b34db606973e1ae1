#include "app/mini_dumper.h"

#include "text/code_page.h"

#include <gtest/gtest.h>

namespace tarnvel {
namespace {

TEST(MiniDumper, NamesTheDumpByTheLow32BitsOfTheCrashTimeAsASignedNumber) {
    EXPECT_EQ(MiniDumper::DumpFileName(L"C:\\Tools\\DumpLog", 1456466709),
              L"C:\\Tools\\DumpLog\\1456466709.dmp");
    EXPECT_EQ(MiniDumper::DumpFileName(L"D", 0), L"D\\0.dmp");
    // After 2038 the seconds no longer fit: the name wraps as the 32-bit number does.
    EXPECT_EQ(MiniDumper::DumpFileName(L"D", 0x80000000LL), L"D\\-2147483648.dmp");
    EXPECT_EQ(MiniDumper::DumpFileName(L"D", 0x100000005LL), L"D\\5.dmp");
    EXPECT_EQ(MiniDumper::DumpFileName(L"D", 0xFFFFFFFFLL), L"D\\-1.dmp");
}

TEST(MiniDumper, FirstInstanceStaysInChargeUntilItIsDestroyed) {
    // The test program keeps its own crash handling: a crash here must not end with exit code 0.
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(nullptr);
    {
        MiniDumper first;
        SetUnhandledExceptionFilter(previous);
        EXPECT_TRUE(first.IsRegistered());
        EXPECT_EQ(first.DumpFolder(), ExecutableFolder() + L"\\DumpLog");
        const DWORD attributes = GetFileAttributesW(first.DumpFolder().c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
        {
            MiniDumper second;
            EXPECT_FALSE(second.IsRegistered());
            EXPECT_TRUE(first.IsRegistered());
        }
        EXPECT_TRUE(first.IsRegistered());
    }
    MiniDumper later;
    SetUnhandledExceptionFilter(previous);
    EXPECT_TRUE(later.IsRegistered());
}

} // namespace
} // namespace tarnvel
