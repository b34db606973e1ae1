// The names under which the harness prints the controller's events: the fault runs, the tests'
// event recorder and the scripts given to the harness wait for these names.
#pragma once

#include "download/download_events.h"

#include <cstddef>
#include <iterator>
#include <utility>

namespace tarnvel {

inline constexpr std::pair<DownloadEventKind, const char*> kHookNames[] = {
    {DownloadEventKind::VerifyPassed, "OnVerifyPassed"},
    {DownloadEventKind::VerifyFailed, "OnVerifyFailed"},
    {DownloadEventKind::UpgradeBegin, "OnUpgradeBegin"},
    {DownloadEventKind::UpgradeStarted, "OnUpgradeStarted"},
    {DownloadEventKind::Progress, "OnProgress"},
    {DownloadEventKind::UpgradeSucceeded, "OnUpgradeSucceeded"},
    {DownloadEventKind::UpgradeFailed, "OnUpgradeFailed"},
};
// A kind added to the events without a name here stops the build.
static_assert(std::size(kHookNames) == static_cast<std::size_t>(DownloadEventKind::CloseAllowedChanged));

// Null for the change of the close answer, which has no name.
inline const char* HookName(DownloadEventKind kind) {
    for (const auto& [named, name] : kHookNames)
        if (named == kind)
            return name;
    return nullptr;
}

} // namespace tarnvel
