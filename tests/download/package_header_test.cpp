#include "download/package_format.h"
#include "download/package_header.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace tarnvel {
namespace {

using testing::ScratchFolder;
using testing::WriteFileBytes;

// A package image: the magic, the model at its offset, the version text at its offset inside
// a block of the format's length, then a little payload.
std::string MakePackage(std::string_view magic, int format, std::string_view model,
                        std::string_view version) {
    const auto layout = LayoutOfFormat(format);
    std::string bytes(layout->blockLength + 16, '\x5A');
    bytes.replace(0, 4, magic);
    bytes.replace(layout->modelOffset, model.size() + 1, std::string(model) + '\0');
    bytes.replace(layout->versionOffset, version.size() + 1, std::string(version) + '\0');
    return bytes;
}

std::string RzMagic(int format) {
    return std::string("RZ\x01", 3) + static_cast<char>(format - 10);
}

class PackageHeaderTest : public ::testing::Test {
protected:
    std::wstring Write(std::string_view bytes) {
        const std::wstring path = folder_ / (L"p" + std::to_wstring(++count_) + L".rzb");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }

    ScratchFolder folder_{L"package"};
    int count_ = 0;
};

struct FormatCase {
    std::string magic;
    int format;
};

TEST_F(PackageHeaderTest, EveryMagicGivesItsModelAndVersion) {
    const FormatCase cases[] = {{"HSRZ", 13},      {RzMagic(13), 13}, {RzMagic(14), 14}, {RzMagic(15), 15},
                                {RzMagic(16), 16}, {RzMagic(17), 17}, {RzMagic(18), 18}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const std::wstring path =
            Write(MakePackage(c.magic, c.format, "M" + std::to_string(c.format), "V1.0.2"));
        std::wstring model, version;
        EXPECT_TRUE(ReadPackageModel(path, model));
        EXPECT_EQ(model, L"M" + std::to_wstring(c.format));
        EXPECT_TRUE(ReadPackageVersion(path, version));
        EXPECT_EQ(version, L"V1.0.2");
    }
}

TEST_F(PackageHeaderTest, BothFormsOfVersion13ShareTheirLayout) {
    const std::string old = MakePackage("HSRZ", 13, "5512QDS", "R13");
    std::string rz = old;
    rz.replace(0, 4, RzMagic(13));
    std::wstring a, b;
    EXPECT_TRUE(ReadPackageModel(Write(old), a));
    EXPECT_TRUE(ReadPackageModel(Write(rz), b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(LayoutOfHeader(std::span(reinterpret_cast<const std::uint8_t*>(old.data()), 64))->blockLength,
              392u);
}

TEST_F(PackageHeaderTest, ForeignMagicsAndShortFilesAreNoPackage) {
    std::string base = MakePackage(RzMagic(14), 14, "X", "Y");
    for (const std::string& magic :
         {std::string("RZ\x01\x09", 4), std::string("RZ\x00\x0D", 4), std::string("RZ\x01\x02", 4),
          std::string("HSRz", 4), std::string("ZR\x01\x04", 4)}) {
        std::string bytes = base;
        bytes.replace(0, 4, magic);
        std::wstring model = L"unchanged", version = L"unchanged";
        EXPECT_FALSE(ReadPackageModel(Write(bytes), model));
        EXPECT_FALSE(ReadPackageVersion(Write(bytes), version));
        EXPECT_EQ(model, L"unchanged");
        EXPECT_EQ(version, L"unchanged");
    }
    std::wstring model = L"unchanged";
    EXPECT_FALSE(ReadPackageModel(Write(base.substr(0, 63)), model));
    EXPECT_FALSE(ReadPackageModel(Write(""), model));
    EXPECT_FALSE(ReadPackageModel(folder_ / L"missing.rzb", model));
    EXPECT_FALSE(ReadPackageModel(L"", model));
    EXPECT_FALSE(ReadPackageModel(folder_.Path(), model)); // a folder
    EXPECT_EQ(model, L"unchanged");
}

TEST_F(PackageHeaderTest, PathWithEmbeddedNulIsRefusedRatherThanShortened) {
    const std::wstring path = Write(MakePackage(RzMagic(15), 15, "A", "B"));
    std::wstring withNul = path;
    withNul.push_back(L'\0');
    withNul += L"other";
    std::wstring model = L"unchanged";
    EXPECT_FALSE(ReadPackageModel(withNul, model));
    EXPECT_EQ(model, L"unchanged");
}

TEST_F(PackageHeaderTest, Version18Of64To99BytesHasAModelButNoVersionBlock) {
    const std::string full = MakePackage(RzMagic(18), 18, "5512Q", "V18");
    for (const std::size_t size : {std::size_t{64}, std::size_t{80}, std::size_t{99}}) {
        const std::wstring path = Write(full.substr(0, size));
        std::wstring model, version = L"unchanged";
        EXPECT_TRUE(ReadPackageModel(path, model));
        EXPECT_EQ(model, L"5512Q");
        EXPECT_TRUE(ReadPackageVersion(path, version));
        EXPECT_EQ(version, L"unchanged");
    }
    std::wstring version;
    EXPECT_TRUE(ReadPackageVersion(Write(full.substr(0, 100)), version));
    EXPECT_EQ(version, L"V18");
}

TEST_F(PackageHeaderTest, TextsWithoutNulEndAtTheirField) {
    // Format 17: the model runs from 48 to the header's end, 16 bytes with no NUL.
    std::string bytes = MakePackage(RzMagic(17), 17, "", "");
    bytes.replace(48, 16, "ABCDEFGHIJKLMNOP");
    bytes.replace(96, 552 - 96, std::string(552 - 96, 'v'));
    std::wstring model, version;
    EXPECT_TRUE(ReadPackageModel(Write(bytes), model));
    EXPECT_EQ(model, L"ABCDEFGHIJKLMNOP");
    EXPECT_TRUE(ReadPackageVersion(Write(bytes), version));
    EXPECT_EQ(version, std::wstring(552 - 96, L'v'));
}

// The package is the same file on every machine: its texts are read in code page 936 whatever
// this machine's code pages are.
TEST_F(PackageHeaderTest, TextsAreInCodePage936) {
    // "升级" and "版本" in code page 936.
    const std::wstring path = Write(MakePackage(RzMagic(16), 16, "\xC9\xFD\xBC\xB6", "\xB0\xE6\xB1\xBE 2"));
    std::wstring model, version;
    EXPECT_TRUE(ReadPackageModel(path, model));
    EXPECT_EQ(model, L"升级");
    EXPECT_TRUE(ReadPackageVersion(path, version));
    EXPECT_EQ(version, L"版本 2");
}

TEST_F(PackageHeaderTest, FileIsClosedAfterEveryRead) {
    const std::wstring good = Write(MakePackage(RzMagic(14), 14, "A", "B"));
    const std::wstring foreign = Write(std::string(200, 'x'));
    const std::wstring shortFile = Write(MakePackage(RzMagic(18), 18, "A", "B").substr(0, 70));
    for (const auto& path : {good, foreign, shortFile}) {
        std::wstring text;
        ReadPackageModel(path, text);
        ReadPackageVersion(path, text);
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    }
}

TEST(PackageFormat, MagicsWrittenAreTheMagicsRead) {
    for (int format = kOldestPackageFormat; format <= kNewestPackageFormat; ++format) {
        for (const bool oldForm : {false, true}) {
            const auto magic = PackageMagic(format, oldForm);
            if (oldForm && format != 13) {
                EXPECT_FALSE(magic);
                continue;
            }
            ASSERT_TRUE(magic);
            std::uint8_t header[kPackageHeaderSize] = {};
            for (int i = 0; i < 4; ++i)
                header[i] = static_cast<std::uint8_t>(*magic >> (8 * i));
            EXPECT_EQ(LayoutOfHeader(header)->formatVersion, format);
        }
    }
    EXPECT_FALSE(PackageMagic(12, false));
    EXPECT_FALSE(PackageMagic(19, false));
}

} // namespace
} // namespace tarnvel
