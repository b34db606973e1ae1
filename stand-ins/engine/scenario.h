// What the simulated engine is to do: parsed from "key=value" lines (or ';'-separated pairs).
// Plain code; the engine finds the text (README.md says where).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::sim {

inline constexpr int kMaxCells = 8;

enum class Outcome { Pass, Fail, Unplug, Never, Hang, Lock, Crash, Overflow };

struct CellScenario {
    int arrivalMs = 500;  // from DownloadRun to the phone's arrival
    int speedKbps = 8192; // copy speed in KiB per second; 0 = as fast as possible
    Outcome outcome = Outcome::Pass;
    int failAt = 50;     // percent at which a "fail" download fails
    int unplugAt = 50;   // percent at which an "unplug" phone is pulled
    int hangAt = 30;     // percent at which a "hang" download stalls for good
    int crashAt = 30;    // percent at which a "crash" or "overflow" download crashes the process
    std::string storage; // UTF-8 path of the phone's storage file; empty = default
};

struct Scenario {
    bool verifyPasses = true; // "verify=fail" fails even a sound package
    int verifyMs = 200;       // how long verification takes
    int verifyCell = 0;       // the cell UCheckdataStatus reports
    int initResult = 1;       // what InitDownloadObj returns
    int cells = 1;            // phones served at once
    CellScenario cell[kMaxCells];
    int chunkKb = 64;  // bytes copied between two progress reports
    int stormRate = 0; // extra events per second while cell 0 downloads
    int stormThreads = 4;
    bool stormStamp = false;   // storm messages carry their send time; the callbacks' holds are traced
    bool malformed = false;    // odd records at the start of cell 0's download
    bool stopHangs = false;    // DownloadStop never returns
    bool releaseHangs = false; // ReleaseDownloadObj never returns
    bool ownFilter = false;    // InitDownloadObj puts in a crash filter that ends the process quietly
    int afterStop = 0;         // messages sent after DownloadStop has returned
    std::string trace;         // UTF-8 path of a file that records each entry point call
};

// Entries are lines; with `semicolonsSeparate` (a scenario given inline in the environment) a
// ';' ends an entry too. Unknown keys and bad values go to `errors` and are otherwise ignored.
Scenario ParseScenario(std::string_view text, bool semicolonsSeparate,
                       std::vector<std::string>* errors = nullptr);

} // namespace tarnvel::sim
