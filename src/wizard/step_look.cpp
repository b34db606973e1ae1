#include "wizard/step_look.h"

#include "wizard/wizard_ids.h"

namespace tarnvel {

StepLook InitialStepLook() {
    return {8, {colours::kTeal, colours::kDarkGreen, colours::kBlack}};
}

std::optional<StepLook> StepLookOf(int step) {
    switch (step) {
    case 0:
        return StepLook{9, {colours::kTeal, colours::kBlack, colours::kBlack}};
    case 1:
        return StepLook{50, {colours::kTeal, colours::kTeal, colours::kBlack}};
    case 2:
        return StepLook{100, {colours::kTeal, colours::kTeal, colours::kTeal}};
    default:
        return std::nullopt;
    }
}

} // namespace tarnvel
