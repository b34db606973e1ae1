#include "scenario.h"

#include <charconv>
#include <climits>
#include <cstddef>
#include <optional>
#include <utility>

namespace tarnvel::sim {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ParseInt(std::string_view text, int& value) {
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

bool ParseOutcome(std::string_view text, Outcome& outcome) {
    if (text == "pass")
        outcome = Outcome::Pass;
    else if (text == "fail")
        outcome = Outcome::Fail;
    else if (text == "unplug")
        outcome = Outcome::Unplug;
    else if (text == "never")
        outcome = Outcome::Never;
    else if (text == "hang")
        outcome = Outcome::Hang;
    else if (text == "lock")
        outcome = Outcome::Lock;
    else if (text == "crash")
        outcome = Outcome::Crash;
    else if (text == "overflow")
        outcome = Outcome::Overflow;
    else
        return false;
    return true;
}

// A key whose value is a whole number, and the least number it takes.
template <typename Settings> struct NumberKey {
    std::string_view key;
    int Settings::*field;
    int least = INT_MIN;
};

constexpr NumberKey<CellScenario> kCellNumbers[] = {
    {"arrival_ms", &CellScenario::arrivalMs}, {"speed_kbps", &CellScenario::speedKbps},
    {"fail_at", &CellScenario::failAt},       {"unplug_at", &CellScenario::unplugAt},
    {"hang_at", &CellScenario::hangAt},       {"crash_at", &CellScenario::crashAt},
};

constexpr NumberKey<Scenario> kNumbers[] = {
    {"verify_ms", &Scenario::verifyMs},      {"verify_cell", &Scenario::verifyCell},
    {"init_result", &Scenario::initResult},  {"chunk_kb", &Scenario::chunkKb, 1},
    {"storm_rate", &Scenario::stormRate},    {"storm_threads", &Scenario::stormThreads, 1},
    {"after_stop", &Scenario::afterStop, 0},
};

// Nothing when the key is not in the table; otherwise whether its value was good. A number below
// the least is kept all the same, and reported.
template <typename Settings, std::size_t N>
std::optional<bool> SetNumber(const NumberKey<Settings> (&keys)[N], Settings& settings, std::string_view key,
                              std::string_view value) {
    for (const auto& number : keys) {
        if (number.key == key) {
            int& field = settings.*number.field;
            return ParseInt(value, field) && field >= number.least;
        }
    }
    return std::nullopt;
}

// Keys that belong to a phone; without a "cellN." prefix they set every cell.
bool SetCellKey(CellScenario& cell, std::string_view key, std::string_view value) {
    if (const auto good = SetNumber(kCellNumbers, cell, key, value))
        return *good;
    if (key == "outcome")
        return ParseOutcome(value, cell.outcome);
    if (key == "storage") {
        cell.storage = std::string(value);
        return true;
    }
    return false;
}

bool SetKey(Scenario& scenario, std::string_view key, std::string_view value) {
    if (key.substr(0, 4) == "cell" && key.size() > 6 && key[5] == '.') {
        const int index = key[4] - '0';
        if (index < 0 || index >= kMaxCells)
            return false;
        return SetCellKey(scenario.cell[index], key.substr(6), value);
    }
    if (key == "storage") // the plain key names cell 0's phone only: two phones need two files
        return SetCellKey(scenario.cell[0], key, value);
    bool any = false;
    for (auto& cell : scenario.cell) {
        if (SetCellKey(cell, key, value))
            any = true;
    }
    if (any)
        return true;
    if (key == "verify") {
        scenario.verifyPasses = value == "pass";
        return value == "pass" || value == "fail";
    }
    if (const auto good = SetNumber(kNumbers, scenario, key, value))
        return *good;
    if (key == "cells") {
        int cells = 0;
        if (!ParseInt(value, cells) || cells < 1 || cells > kMaxCells)
            return false;
        scenario.cells = cells;
        return true;
    }
    for (const auto& [name, field] :
         {std::pair{"malformed", &Scenario::malformed}, std::pair{"stop_hangs", &Scenario::stopHangs},
          std::pair{"release_hangs", &Scenario::releaseHangs},
          std::pair{"storm_stamp", &Scenario::stormStamp}, std::pair{"own_filter", &Scenario::ownFilter}}) {
        if (key == name) {
            scenario.*field = value == "1";
            return value == "0" || value == "1";
        }
    }
    if (key == "trace") {
        scenario.trace = std::string(value);
        return true;
    }
    return false;
}

} // namespace

Scenario ParseScenario(std::string_view text, bool semicolonsSeparate, std::vector<std::string>* errors) {
    Scenario scenario;
    while (!text.empty()) {
        const auto end = text.find_first_of(semicolonsSeparate ? ";\n" : "\n");
        std::string_view entry = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (entry.empty() || entry.front() == '#')
            continue;
        const auto equals = entry.find('=');
        const std::string_view key = Trim(entry.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : Trim(entry.substr(equals + 1));
        if ((equals == std::string_view::npos || !SetKey(scenario, key, value)) && errors != nullptr)
            errors->push_back(std::string(entry));
    }
    return scenario;
}

} // namespace tarnvel::sim
