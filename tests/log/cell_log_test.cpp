#include "log/cell_log.h"
#include "log/log_format.h"

#include "support/test_files.h"
#include "text/code_page.h"
#include "text/gb18030.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <memory>
#include <regex>
#include <thread>

namespace tarnvel {
namespace {

using namespace std::chrono_literals;
using testing::Cp936;
using ::testing::ElementsAre;
using testing::FileExists;
using testing::FilesIn;
using testing::ReadFileBytes;

const std::wstring kTextLog = LogFolder(ExecutableFolder());

// Each test starts from an empty TextLog and ends its log (which writes out every queued line)
// before it looks at the files.
class CellLogTest : public ::testing::Test {
protected:
    void SetUp() override { testing::RemoveTree(kTextLog); }
    void TearDown() override { testing::RemoveTree(kTextLog); }

    // The file's lines, each with its CR LF (a last unterminated piece is kept as it is).
    static std::vector<std::string> Lines(const std::string& bytes) {
        std::vector<std::string> lines = testing::SplitLines(bytes);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i + 1 < lines.size() || bytes.ends_with("\r\n"))
                lines[i] += "\r\n";
        }
        return lines;
    }

    // Ends the log and returns the bytes of the one file it wrote.
    std::string FinishAndRead() {
        log_.reset();
        const auto files = FilesIn(kTextLog);
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : ReadFileBytes(kTextLog + L"\\" + files.front());
    }

    std::unique_ptr<CellLog> log_ = std::make_unique<CellLog>();
};

constexpr char kStamp[] = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]{3}\t";

// GoogleTest's own expressions on Windows know no bracket classes.
bool Matches(const std::string& text, const std::string& pattern) {
    return std::regex_match(text, std::regex(pattern));
}

// The bytes are the same on every machine: GB18030's, which are code page 936's for every
// character 936 has, whatever the machine's code pages.
TEST_F(CellLogTest, EachLevelHasItsExactBytesInGb18030) {
    log_->OpenLog(0);
    log_->PostLine(0, LevelInfo, L"HNDA:UShowProgress:0, 100, 5");
    log_->PostLine(0, LevelWarning, L"手机");
    log_->PostLine(0, LevelError, L"x");
    log_->PostLine(0, LevelRaw, L"raw");
    log_->PostLine(0, LevelRaw, L"");
    log_->PostLine(0, LevelInfo, L"ก한"); // not in code page 936: kept in four bytes each
    const auto lines = Lines(FinishAndRead());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(13), "\xCC\xE1\xCA\xBE:HNDA:UShowProgress:0, 100, 5\r\n");
    EXPECT_EQ(lines[1].substr(13), "\xBE\xAF\xB8\xE6:\xCA\xD6\xBB\xFA\r\n");
    EXPECT_EQ(lines[2].substr(13), "\xB4\xED\xCE\xF3:x\r\n");
    // The raw line has no stamp and no line end: the next line continues it.
    EXPECT_EQ(lines[3].substr(0, 3), "raw");
    EXPECT_TRUE(Matches(lines[3].substr(3),
                        std::string(kStamp) + "\xCC\xE1\xCA\xBE:\x81\x32\xCE\x39\x83\x36\x84\x33\r\n"))
        << lines[3];
    for (int i : {0, 1, 2})
        EXPECT_TRUE(Matches(lines[i].substr(0, 13), kStamp)) << lines[i];
}

TEST(Gb18030, FourByteCodesAtTheEdgesOfTheirRangesAndNoneForTwoByteCharacters) {
    const std::pair<char32_t, std::string> codes[] = {{0x80, "\x81\x30\x81\x30"},
                                                      {0x0E01, "\x81\x32\xCE\x39"},
                                                      {0xFFFF, "\x84\x31\xA4\x39"},
                                                      {0x10000, "\x90\x30\x81\x30"},
                                                      {0x10FFFF, "\xE3\x32\x9A\x35"}};
    for (const auto& [point, bytes] : codes) {
        std::string out;
        EXPECT_TRUE(AppendGb18030FourByte(out, point)) << static_cast<unsigned>(point);
        EXPECT_EQ(out, bytes) << static_cast<unsigned>(point);
    }
    std::string out;
    for (const char32_t point : {char32_t{'A'}, char32_t{0x63D0}, char32_t{0x110000}})
        EXPECT_FALSE(AppendGb18030FourByte(out, point)) << static_cast<unsigned>(point);
    EXPECT_EQ(out, "");
}

TEST_F(CellLogTest, FileIsNamedByCellAndLocalTime) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    log_->OpenLog(3);
    const std::wstring name = log_->FileNameOf(3);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.substr(0, kTextLog.size() + 1), kTextLog + L"\\");
    const std::string file = Utf8FromWide(name.substr(kTextLog.size() + 1));
    EXPECT_TRUE(Matches(file, "CELL3 20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]_[0-5][0-9]_[0-5][0-9]\\.log"))
        << file;
    EXPECT_EQ(file.substr(6, 4), std::to_string(before.wYear));
    EXPECT_TRUE(FileExists(name)); // created empty at once
    EXPECT_EQ(ReadFileBytes(name), "");
}

TEST_F(CellLogTest, OpeningAnOpenCellKeepsItsFileAndWarns) {
    log_->OpenLog(0);
    const std::wstring name = log_->FileNameOf(0);
    log_->PostLine(0, LevelInfo, L"first");
    std::this_thread::sleep_for(1100ms); // a new name would differ now
    log_->OpenLog(0);
    EXPECT_EQ(log_->FileNameOf(0), name);
    log_->PostLine(0, LevelInfo, L"after");
    const auto lines = Lines(FinishAndRead());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(13), Cp936(L"提示:first\r\n"));
    EXPECT_EQ(lines[1].substr(13), Cp936(L"警告:日志正在记录，开始记录日志操作被忽略!\r\n"));
    EXPECT_EQ(lines[2], "\r\n");
    EXPECT_EQ(lines[3].substr(13), Cp936(L"提示:after\r\n"));
}

TEST_F(CellLogTest, ClosedCellWritesNoFileAndReopenStartsANewOne) {
    log_->PostLine(1, LevelInfo, L"before open");
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(FilesIn(kTextLog).empty());

    log_->OpenLog(1);
    const std::wstring first = log_->FileNameOf(1);
    log_->PostLine(1, LevelInfo, L"one");
    std::this_thread::sleep_for(100ms);
    log_->CloseLog(1);
    EXPECT_EQ(log_->FileNameOf(1), L"");
    log_->PostLine(1, LevelInfo, L"while closed");
    std::this_thread::sleep_for(1100ms);
    log_->OpenLog(1);
    const std::wstring second = log_->FileNameOf(1);
    EXPECT_NE(first, second);
    log_->PostLine(1, LevelInfo, L"two");
    log_.reset();

    const auto a = Lines(ReadFileBytes(first));
    const auto b = Lines(ReadFileBytes(second));
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].substr(13), Cp936(L"提示:one\r\n"));
    EXPECT_EQ(b[0].substr(13), Cp936(L"提示:two\r\n"));
    EXPECT_EQ(FilesIn(kTextLog).size(), 2u);
}

TEST_F(CellLogTest, LinesPostedBeforeCloseStillReachTheirFile) {
    log_->OpenLog(0);
    const std::wstring name = log_->FileNameOf(0);
    for (int i = 0; i < 500; ++i)
        log_->PostLine(0, LevelError, L"failure " + std::to_wstring(i));
    log_->CloseLog(0); // the writer has had no time to take them all
    log_->PostLine(0, LevelInfo, L"after close");
    log_.reset();
    const auto lines = Lines(ReadFileBytes(name));
    ASSERT_EQ(lines.size(), 500u);
    EXPECT_EQ(lines.back().substr(13), Cp936(L"错误:failure 499\r\n"));
}

TEST_F(CellLogTest, ReopenWithinOneSecondKeepsTheEarlierRunsLines) {
    log_->OpenLog(2);
    log_->PostLine(2, LevelInfo, L"old");
    std::this_thread::sleep_for(50ms);
    log_->CloseLog(2);
    log_->OpenLog(2);
    log_->PostLine(2, LevelInfo, L"new");
    log_.reset();
    // Within the same second the name repeats and the new run follows the old one in the file;
    // past a second boundary a second file begins. Either way both lines are kept, in order.
    std::vector<std::string> lines;
    for (const std::wstring& file : FilesIn(kTextLog))
        for (const std::string& line : Lines(ReadFileBytes(kTextLog + L"\\" + file)))
            lines.push_back(line.substr(13));
    EXPECT_EQ(lines, (std::vector<std::string>{Cp936(L"提示:old\r\n"), Cp936(L"提示:new\r\n")}));
}

TEST_F(CellLogTest, ReopeningKeepsAFileOfTheSameNameThatHoldsLines) {
    // A run of the same cell opened in the same second, by this process or an earlier one.
    log_->OpenLog(3);
    const std::wstring name = log_->FileNameOf(3);
    log_->CloseLog(3);
    log_.reset();
    ASSERT_TRUE(testing::WriteFileBytes(name, "earlier run\r\n"));
    log_ = std::make_unique<CellLog>();
    log_->OpenLog(3);
    if (log_->FileNameOf(3) != name)
        GTEST_SKIP() << "a second boundary passed";
    log_->PostLine(3, LevelRaw, L"next run\r\n");
    log_.reset();
    EXPECT_EQ(ReadFileBytes(name), "earlier run\r\nnext run\r\n");
}

TEST_F(CellLogTest, CellsFromEightOnAreIgnored) {
    for (unsigned cell : {8u, 9u, 99u, 0xFFFFFFFFu}) {
        log_->OpenLog(cell);
        log_->PostLine(cell, LevelInfo, L"nowhere");
        log_->CloseLog(cell);
        EXPECT_EQ(log_->FileNameOf(cell), L"");
    }
    log_.reset();
    EXPECT_TRUE(FilesIn(kTextLog).empty());
}

TEST_F(CellLogTest, EachCellHasItsOwnFile) {
    for (unsigned cell = 0; cell < kLogCells; ++cell)
        log_->OpenLog(cell);
    for (unsigned cell = 0; cell < kLogCells; ++cell)
        log_->PostLine(cell, LevelInfo, L"cell " + std::to_wstring(cell));
    std::wstring names[kLogCells];
    for (unsigned cell = 0; cell < kLogCells; ++cell)
        names[cell] = log_->FileNameOf(cell);
    log_.reset();
    for (unsigned cell = 0; cell < kLogCells; ++cell)
        EXPECT_EQ(ReadFileBytes(names[cell]).substr(13),
                  Cp936(L"提示:cell " + std::to_wstring(cell) + L"\r\n"));
}

TEST_F(CellLogTest, DestructionWritesEveryQueuedLineInOrder) {
    log_->OpenLog(0);
    constexpr int kLines = 20000;
    for (int i = 0; i < kLines; ++i)
        log_->PostLine(0, LevelInfo, std::to_wstring(i));
    const auto lines = Lines(FinishAndRead());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines));
    for (int i = 0; i < kLines; i += 997)
        EXPECT_EQ(lines[i].substr(13), Cp936(L"提示:") + std::to_string(i) + "\r\n");
    EXPECT_EQ(lines.back().substr(13), Cp936(L"提示:") + std::to_string(kLines - 1) + "\r\n");
}

TEST_F(CellLogTest, LinesFromManyThreadsAllArriveInEachThreadsOrder) {
    log_->OpenLog(0);
    constexpr int kThreads = 4, kPerThread = 3000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([this, t] {
            for (int i = 0; i < kPerThread; ++i)
                log_->PostLine(0, LevelInfo, std::to_wstring(t) + L"/" + std::to_wstring(i));
        });
    }
    for (auto& poster : posters)
        poster.join();
    const auto lines = Lines(FinishAndRead());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kPerThread));
    int next[kThreads] = {};
    const std::string prefix = Cp936(L"提示:");
    for (const auto& line : lines) {
        const std::string text = line.substr(13 + prefix.size(), line.size() - 15 - prefix.size());
        const int t = std::stoi(text.substr(0, text.find('/')));
        ASSERT_EQ(std::stoi(text.substr(text.find('/') + 1)), next[t]);
        ++next[t];
    }
}

TEST_F(CellLogTest, LongLinesAreWrittenWhole) {
    log_->OpenLog(0);
    const std::wstring longText(3000, L'长');
    log_->PostLine(0, LevelError, longText);
    log_->PostLine(0, LevelRaw, std::wstring(700, L'r'));
    const std::string bytes = FinishAndRead();
    EXPECT_EQ(bytes.substr(13), Cp936(L"错误:" + longText + L"\r\n") + std::string(700, 'r'));
}

TEST_F(CellLogTest, FilesAreCompleteOnDiskWhileTheLogRuns) {
    log_->OpenLog(0);
    log_->PostLine(0, LevelInfo, L"visible");
    const std::wstring name = log_->FileNameOf(0);
    std::string bytes;
    for (int i = 0; i < 200 && bytes.empty(); ++i) {
        std::this_thread::sleep_for(10ms);
        bytes = ReadFileBytes(name);
    }
    EXPECT_EQ(bytes.substr(13), Cp936(L"提示:visible\r\n"));
}

TEST(FolderRemoval, RemovesExactlyTheEnginesOldLogFolder) {
    const std::wstring folder = ExecutableFolder();
    const std::wstring old = folder + L"\\MTK_Log", sibling = folder + L"\\MTK_Log2";
    CreateDirectoryW(old.c_str(), nullptr);
    CreateDirectoryW((old + L"\\sub").c_str(), nullptr);
    CreateDirectoryW(sibling.c_str(), nullptr);
    ASSERT_TRUE(testing::WriteFileBytes(old + L"\\sub\\trace.txt", "x"));
    ASSERT_TRUE(testing::WriteFileBytes(sibling + L"\\keep.txt", "keep"));
    { CellLog log; }
    for (int i = 0; i < 300 && testing::FolderExists(old); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(testing::FolderExists(old));
    EXPECT_EQ(ReadFileBytes(sibling + L"\\keep.txt"), "keep");
    std::string command;
    ASSERT_TRUE(OemFromWideExact(L"rd /s/q \"" + old + L"\"\r\n", command));
    EXPECT_EQ(ReadFileBytes(folder + L"\\DeleteTree.bat"), command);
    testing::RemoveTree(sibling);
}

TEST(LogFormat, LinesAndNames) {
    const LogTime time{2016, 2, 26, 14, 5, 9, 42};
    EXPECT_EQ(FormatLogLine(LevelInfo, L"t", time), L"14:05:09:042\t提示:t\r\n");
    EXPECT_EQ(FormatLogLine(LevelWarning, L"", time), L"14:05:09:042\t警告:\r\n");
    EXPECT_EQ(FormatLogLine(LevelError, L"e", time), L"14:05:09:042\t错误:e\r\n");
    EXPECT_EQ(FormatLogLine(LevelRaw, L"r", time), L"r");
    EXPECT_EQ(FormatLogLine(7, L"r", time), L"r");
    EXPECT_EQ(LogFileName(L"D:\\Tools", 0, time), L"D:\\Tools\\TextLog\\CELL0 2016-02-26 14_05_09.log");
    EXPECT_EQ(LogFileName(L"D:\\a b", 7, {2099, 12, 31, 23, 59, 58, 999}),
              L"D:\\a b\\TextLog\\CELL7 2099-12-31 23_59_58.log");
}

TEST(LogFormat, DeleteTreeCommandNamesExactlyTheFolder) {
    EXPECT_EQ(DeleteTreeCommand(L"D:\\Tools\\MTK_Log"), L"rd /s/q \"D:\\Tools\\MTK_Log\"\r\n");
    EXPECT_EQ(DeleteTreeCommand(L"C:\\a b&c^d(1)\\MTK_Log"), L"rd /s/q \"C:\\a b&c^d(1)\\MTK_Log\"\r\n");
    EXPECT_EQ(DeleteTreeCommand(L"C:\\100%\\%PATH%\\MTK_Log"),
              L"rd /s/q \"C:\\100%%\\%%PATH%%\\MTK_Log\"\r\n");
}

} // namespace
} // namespace tarnvel
