// What the step indicator shows for each step. Plain C++.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tarnvel {

struct StepLook {
    int barPercent;
    std::array<std::uint32_t, 3> labelColours; // 0x00BBGGRR, first to third label
};

// The look right after creation, before the first slide has ended: it differs from step 0.
StepLook InitialStepLook();

// Steps 0 to 2; any other value changes nothing.
std::optional<StepLook> StepLookOf(int step);

} // namespace tarnvel
