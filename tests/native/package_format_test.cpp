// The package format on raw bytes under the sanitizers: the magic table, the texts at the edges
// of the header and the version block, and the fuzzer's corpus and regressions replayed.
#include "download/package_format.h"
#include "package_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace tarnvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes PackageBytes(int formatVersion, bool oldForm, std::size_t size) {
    Bytes file(size, 'x');
    const std::uint32_t magic = PackageMagic(formatVersion, oldForm).value();
    for (int i = 0; i < 4 && i < static_cast<int>(size); ++i)
        file[i] = static_cast<std::uint8_t>(magic >> (8 * i));
    return file;
}

TEST(PackageMagicTest, OnlyTheSevenMagicsAreAccepted) {
    int accepted = 0;
    for (int b2 = 0; b2 < 256; ++b2) {
        for (int b3 = 0; b3 < 256; ++b3) {
            Bytes header(kPackageHeaderSize, 0);
            header[0] = 'R';
            header[1] = 'Z';
            header[2] = static_cast<std::uint8_t>(b2);
            header[3] = static_cast<std::uint8_t>(b3);
            const auto layout = LayoutOfHeader(header);
            if (!layout)
                continue;
            ++accepted;
            EXPECT_EQ(b2, 1);
            EXPECT_EQ(layout->formatVersion, 10 + b3);
        }
    }
    EXPECT_EQ(accepted, 6);
    const Bytes old{'H', 'S', 'R', 'Z'};
    Bytes header(kPackageHeaderSize, 0);
    std::copy(old.begin(), old.end(), header.begin());
    ASSERT_TRUE(LayoutOfHeader(header));
    EXPECT_EQ(LayoutOfHeader(header)->formatVersion, 13);
    header[3] = 'z';
    EXPECT_FALSE(LayoutOfHeader(header));
}

TEST(PackageMagicTest, WrittenMagicsReadBackAsTheirVersion) {
    for (int version = kOldestPackageFormat; version <= kNewestPackageFormat; ++version) {
        for (const bool oldForm : {false, true}) {
            const auto magic = PackageMagic(version, oldForm);
            ASSERT_EQ(magic.has_value(), !oldForm || version == 13) << version;
            if (!magic)
                continue;
            const auto layout = LayoutOfHeader(PackageBytes(version, oldForm, kPackageHeaderSize));
            ASSERT_TRUE(layout) << version;
            EXPECT_EQ(layout->formatVersion, version);
        }
    }
    EXPECT_FALSE(PackageMagic(12, false));
    EXPECT_FALSE(PackageMagic(19, false));
}

TEST(PackageMagicTest, HeadersShorterThan64BytesAreNoPackage) {
    for (std::size_t size = 0; size < kPackageHeaderSize; ++size)
        EXPECT_FALSE(LayoutOfHeader(Bytes(PackageBytes(14, false, size)))) << size;
}

TEST(PackageTextTest, TextsWithoutNulEndAtTheirFieldsEnd) {
    for (int version = kOldestPackageFormat; version <= kNewestPackageFormat; ++version) {
        const PackageLayout layout = LayoutOfFormat(version).value();
        // No NUL anywhere: the model runs to the header's end, the version to the block's end,
        // and no more even when more bytes are handed over.
        const Bytes file = PackageBytes(version, false, layout.blockLength + 50);
        const Bytes header(file.begin(), file.begin() + kPackageHeaderSize);
        EXPECT_EQ(PackageModelBytes(layout, header).size(), kPackageHeaderSize - layout.modelOffset);
        EXPECT_EQ(PackageModelBytes(layout, file).size(), kPackageHeaderSize - layout.modelOffset);
        const Bytes block(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(layout.blockLength));
        EXPECT_EQ(PackageVersionBytes(layout, block).size(), layout.blockLength - layout.versionOffset);
        EXPECT_EQ(PackageVersionBytes(layout, file).size(), layout.blockLength - layout.versionOffset);
        // One byte short of the block: no version text at all.
        const Bytes shortBlock(block.begin(), block.end() - 1);
        EXPECT_TRUE(PackageVersionBytes(layout, shortBlock).empty()) << version;
    }
}

TEST(PackageTextTest, TextsStopAtTheirFirstNul) {
    for (int version = kOldestPackageFormat; version <= kNewestPackageFormat; ++version) {
        const PackageLayout layout = LayoutOfFormat(version).value();
        Bytes file = PackageBytes(version, false, layout.blockLength);
        file[layout.modelOffset + 3] = 0;
        file[layout.versionOffset + 5] = 0;
        const Bytes header(file.begin(), file.begin() + kPackageHeaderSize);
        EXPECT_EQ(PackageModelBytes(layout, header), "xxx");
        EXPECT_EQ(PackageVersionBytes(layout, file), "xxxxx");
        file[layout.modelOffset] = 0;
        file[layout.versionOffset] = 0;
        EXPECT_EQ(PackageModelBytes(layout, file), "");
        EXPECT_EQ(PackageVersionBytes(layout, file), "");
    }
}

TEST(PackageTextTest, Version18Of64To99BytesHasAModelButNoVersion) {
    for (std::size_t size = kPackageHeaderSize; size < 100; ++size) {
        const Bytes file = PackageBytes(18, false, size);
        const auto layout = LayoutOfHeader(file);
        ASSERT_TRUE(layout) << size;
        EXPECT_EQ(PackageModelBytes(*layout, file).size(), kPackageHeaderSize - 4);
        EXPECT_TRUE(PackageVersionBytes(*layout, file).empty()) << size;
    }
}

std::vector<std::filesystem::path> CorpusFiles() {
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"package_header", "package_header_regressions"}) {
        const auto dir = std::filesystem::path(TARNVEL_FUZZ_CORPUS) / folder;
        if (!std::filesystem::exists(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.is_regular_file())
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PackageCorpusTest, EverySeedAndRegressionPassesTheChecks) {
    const auto files = CorpusFiles();
    ASSERT_GE(files.size(), 20u) << "the seed corpus is missing";
    for (const auto& path : files)
        EXPECT_EQ(PackageInputProblem(ReadAll(path)), "") << path;
}

// A small, repeatable slice of what the fuzzer does, so that every test run mutates too.
TEST(PackageCorpusTest, MutatedSeedsPassTheChecks) {
    const auto files = CorpusFiles();
    ASSERT_FALSE(files.empty());
    std::mt19937 random(20160226);
    for (int round = 0; round < 20000; ++round) {
        Bytes file = ReadAll(files[random() % files.size()]);
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            switch (random() % 4) {
            case 0:
                if (!file.empty())
                    file[random() % file.size()] = static_cast<std::uint8_t>(random());
                break;
            case 1:
                if (!file.empty())
                    file[random() % file.size()] = 0;
                break;
            case 2:
                file.resize(random() % (file.size() + 2));
                break;
            default:
                file.insert(file.begin() + static_cast<std::ptrdiff_t>(random() % (file.size() + 1)),
                            static_cast<std::uint8_t>(random()));
                break;
            }
        }
        ASSERT_EQ(PackageInputProblem(file), "") << "round " << round;
    }
}

} // namespace
} // namespace tarnvel
