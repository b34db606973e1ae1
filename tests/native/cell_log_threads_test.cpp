// The cell log's writer against many posting threads while other threads open and close the
// cells, with the files, clock and debugger output in memory. Run under ThreadSanitizer it also
// shows any unguarded field and any sink call outside the log's serialisation.
#include "log/cell_log.h"

#include "support/memory_log_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tarnvel {
namespace {

constexpr int kPosters = 6;
constexpr int kLinesPerPoster = 8000;
constexpr int kTogglers = 2; // each owns kLogCells / kTogglers cells
const std::wstring kFolder = L"D:\\Tools";

struct Opening {
    unsigned cell;
    std::wstring file; // as FileNameOf told right after OpenLog
    std::string marker;
};

struct StressRun {
    std::vector<Opening> openings;
    int doubleOpens = 0;
    long long elapsedMs = 0;
};

// Posters write "p<poster> c<cell> n<seq>" to random cells (and some to cells that do not
// exist); each toggler opens one of its cells, posts a marker "m<toggler> c<cell> k<n>", now
// and then opens it again, and closes it.
StressRun Stress(CellLog& log, unsigned seed) {
    StressRun run;
    std::atomic<int> postersLeft{kPosters};
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < kPosters; ++p) {
        threads.emplace_back([&log, &postersLeft, p, seed] {
            std::mt19937 random(seed * 131 + static_cast<unsigned>(p));
            for (int n = 0; n < kLinesPerPoster; ++n) {
                const unsigned cell = random() % kLogCells;
                log.PostLine(cell, LevelInfo,
                             L"p" + std::to_wstring(p) + L" c" + std::to_wstring(cell) + L" n" +
                                 std::to_wstring(n));
                if (random() % 64 == 0)
                    log.PostLine(kLogCells + random() % 3, LevelInfo, L"x nowhere");
                // Pauses spread the posting over many of the writer's passes.
                if (random() % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 400));
            }
            --postersLeft;
        });
    }
    std::vector<Opening> openings[kTogglers];
    int doubleOpens[kTogglers] = {};
    for (int t = 0; t < kTogglers; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 random(seed * 7919 + static_cast<unsigned>(t));
            const unsigned perToggler = kLogCells / kTogglers;
            for (int k = 0; postersLeft > 0; ++k) {
                const unsigned cell = t * perToggler + random() % perToggler;
                log.OpenLog(cell);
                Opening opening{cell, log.FileNameOf(cell), ""};
                opening.marker =
                    "m" + std::to_string(t) + " c" + std::to_string(cell) + " k" + std::to_string(k);
                log.PostLine(cell, LevelInfo, std::wstring(opening.marker.begin(), opening.marker.end()));
                if (random() % 4 == 0) {
                    log.OpenLog(cell);
                    ++doubleOpens[t];
                }
                if (random() % 2 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
                log.CloseLog(cell);
                openings[t].push_back(std::move(opening));
            }
        });
    }
    threads.emplace_back([&log, &postersLeft] {
        std::size_t seen = 0;
        while (postersLeft > 0) {
            seen = std::max(seen, log.QueuedLines());
            for (unsigned cell = 0; cell < kLogCells; ++cell)
                log.FileNameOf(cell);
            std::this_thread::yield();
        }
        std::printf("[ figure ] most lines queued at one look: %zu\n", seen);
    });
    for (auto& thread : threads)
        thread.join();
    run.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    for (int t = 0; t < kTogglers; ++t) {
        run.openings.insert(run.openings.end(), openings[t].begin(), openings[t].end());
        run.doubleOpens += doubleOpens[t];
    }
    return run;
}

// The text of a line as posted: what follows the level word, without the line end.
std::string PayloadOf(const std::wstring& line) {
    const std::size_t word = line.find(L':', 13);
    std::string text;
    if (word == std::wstring::npos)
        return text;
    for (std::size_t i = word + 1; i < line.size() && line[i] != L'\r'; ++i)
        text += static_cast<char>(line[i]);
    return text;
}

struct Parsed {
    int poster = -1; // -1: a marker or a warning
    unsigned cell = 0;
    int seq = 0;
};

Parsed Parse(const std::string& payload) {
    Parsed parsed;
    if (payload.size() > 1 && payload[0] == 'p') {
        std::sscanf(payload.c_str(), "p%d c%u n%d", &parsed.poster, &parsed.cell, &parsed.seq);
    }
    return parsed;
}

// The payloads of a file's lines, in order ("??:" is the level word in the sink's bytes).
std::vector<std::string> FileLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", at);
        const std::string line = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? bytes.size() : end + 2;
        if (line.empty())
            continue; // the warning's own line end
        if (line.size() < 16 || line[12] != '\t' || line.compare(13, 3, "??:") != 0) {
            ADD_FAILURE() << "malformed line in a file: " << line;
            continue;
        }
        lines.push_back(line.substr(16));
    }
    return lines;
}

unsigned CellOfFile(const std::wstring& file) {
    const std::size_t at = file.find(L"\\CELL");
    return at == std::wstring::npos ? 99 : static_cast<unsigned>(file[at + 5] - L'0');
}

// Every line posted reached the debugger output exactly once, each poster's lines to a cell in
// the order posted, and nothing posted to a cell that does not exist.
void ExpectEveryLineOnceAtTheDebugger(const testing::MemoryLogSink& sink, const StressRun& run) {
    std::map<std::pair<int, unsigned>, int> next;
    std::set<std::string> markers;
    int warnings = 0;
    std::size_t posterLines = 0;
    for (const std::wstring& line : sink.Debugger()) {
        const std::string payload = PayloadOf(line);
        const Parsed parsed = Parse(payload);
        if (parsed.poster >= 0) {
            int& expected = next[{parsed.poster, parsed.cell}];
            EXPECT_GE(parsed.seq, expected) << payload;
            expected = parsed.seq + 1;
            ++posterLines;
        } else if (payload.rfind("m", 0) == 0) {
            EXPECT_TRUE(markers.insert(payload).second) << "twice: " << payload;
        } else if (line.find(L"日志正在记录") != std::wstring::npos) {
            ++warnings;
        } else {
            ADD_FAILURE() << "unexpected line at the debugger: " << payload;
        }
    }
    EXPECT_EQ(posterLines, static_cast<std::size_t>(kPosters * kLinesPerPoster));
    EXPECT_EQ(markers.size(), run.openings.size());
    EXPECT_EQ(warnings, run.doubleOpens);
}

TEST(CellLogThreads, PostersWriterAndOpenCloseLoseNoLineAndMixNoFiles) {
    auto sink = std::make_shared<testing::MemoryLogSink>(true);
    auto log = std::make_unique<CellLog>(kFolder, sink);
    const StressRun run = Stress(*log, 1);
    log.reset(); // writes out every queued line

    ExpectEveryLineOnceAtTheDebugger(*sink, run);
    // Each opening made a file of its own, and the marker posted while it was open is in it.
    EXPECT_EQ(sink->Creates(), static_cast<long long>(run.openings.size()));
    std::set<std::wstring> names;
    for (const Opening& opening : run.openings) {
        EXPECT_EQ(CellOfFile(opening.file), opening.cell) << opening.marker;
        EXPECT_TRUE(names.insert(opening.file).second) << "name given twice";
        const auto file = sink->Files().find(opening.file);
        ASSERT_NE(file, sink->Files().end()) << opening.marker;
        const auto lines = FileLines(file->second);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), opening.marker), 1) << opening.marker;
    }
    // A file holds lines of its own cell only, each poster's in order; no line is in two files.
    std::set<std::string> inFiles;
    std::size_t written = 0;
    for (const auto& [name, bytes] : sink->Files()) {
        EXPECT_TRUE(names.count(name)) << "a file no opening named";
        std::map<int, int> next;
        for (const std::string& payload : FileLines(bytes)) {
            if (payload.rfind("?", 0) == 0)
                continue; // the warning of an opening of an open cell
            EXPECT_TRUE(inFiles.insert(payload).second) << "in two files: " << payload;
            const Parsed parsed = Parse(payload);
            if (parsed.poster < 0)
                continue;
            EXPECT_EQ(parsed.cell, CellOfFile(name)) << payload;
            int& expected = next[parsed.poster];
            EXPECT_GE(parsed.seq, expected) << payload;
            expected = parsed.seq + 1;
            ++written;
        }
    }
    std::printf("[ figure ] %d posters x %d lines, %zu openings, %zu lines in files, %lld ms\n", kPosters,
                kLinesPerPoster, run.openings.size(), written, run.elapsedMs);
}

TEST(CellLogThreads, ReopeningWithinOneSecondKeepsEveryRunsLines) {
    auto sink = std::make_shared<testing::MemoryLogSink>(false);
    auto log = std::make_unique<CellLog>(kFolder, sink);
    const StressRun run = Stress(*log, 2);
    log.reset();

    ExpectEveryLineOnceAtTheDebugger(*sink, run);
    // One name per cell, kept across openings: no run's lines are thrown away by the next.
    EXPECT_LE(sink->Files().size(), static_cast<std::size_t>(kLogCells));
    std::map<std::wstring, std::multiset<std::string>> linesOf;
    for (const auto& [name, bytes] : sink->Files()) {
        const auto lines = FileLines(bytes);
        linesOf[name].insert(lines.begin(), lines.end());
    }
    for (const Opening& opening : run.openings)
        EXPECT_EQ(linesOf[opening.file].count(opening.marker), 1u) << opening.marker;
    for (const auto& [name, bytes] : sink->Files()) {
        for (const std::string& payload : FileLines(bytes)) {
            const Parsed parsed = Parse(payload);
            if (parsed.poster >= 0)
                EXPECT_EQ(parsed.cell, CellOfFile(name)) << payload;
        }
    }
    std::printf("[ figure ] same-second names: %zu openings, %zu files, %lld ms\n", run.openings.size(),
                sink->Files().size(), run.elapsedMs);
}

// The writer sleeps until a line comes: a line posted while the writer ends its pass, lingers or
// goes to sleep must still wake it. Each line is posted alone, at a random point of the writer's
// linger, and must be taken with nothing else to wake the writer; a lost wake-up leaves it
// queued for good.
TEST(CellLogThreads, ALinePostedAsTheWriterGoesToSleepIsTaken) {
    constexpr int kLines = 2000;
    auto sink = std::make_shared<testing::MemoryLogSink>(true);
    std::mt19937 random(3);
    {
        CellLog log(kFolder, sink);
        log.OpenLog(0);
        for (int n = 0; n < kLines; ++n) {
            if (random() % 2 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 50));
            else if (random() % 2 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 7000));
            log.PostLine(n % 2 == 0 ? 0u : 1u, LevelInfo, L"alone " + std::to_wstring(n));
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (log.QueuedLines() > 0 && std::chrono::steady_clock::now() < limit)
                std::this_thread::yield();
            ASSERT_EQ(log.QueuedLines(), 0u) << "line " << n << " was never taken";
        }
    }
    EXPECT_EQ(sink->Debugger().size(), static_cast<std::size_t>(kLines));
}

// Destruction against a full queue: the writer finishes, every line reaches the debugger.
TEST(CellLogThreads, DestructionRightAfterABurstWritesEveryLine) {
    for (int round = 0; round < 20; ++round) {
        auto sink = std::make_shared<testing::MemoryLogSink>(true);
        {
            CellLog log(kFolder, sink);
            log.OpenLog(static_cast<unsigned>(round) % kLogCells);
            std::vector<std::thread> posters;
            for (int p = 0; p < 3; ++p) {
                posters.emplace_back([&log, p] {
                    for (int n = 0; n < 200; ++n)
                        log.PostLine(static_cast<unsigned>(n) % kLogCells, LevelRaw,
                                     std::to_wstring(p) + L"/" + std::to_wstring(n) + L";");
                });
            }
            for (auto& poster : posters)
                poster.join();
        }
        EXPECT_EQ(sink->Debugger().size(), 600u) << "round " << round;
    }
}

} // namespace
} // namespace tarnvel
