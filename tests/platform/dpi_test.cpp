// The dpi lookup, with this system's functions and without them.
#include "platform/dpi.h"

#include <gtest/gtest.h>

namespace tarnvel {
namespace {

struct TopWindow {
    HWND hwnd =
        CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ~TopWindow() { DestroyWindow(hwnd); }
};

TEST(Dpi, WithoutThePerMonitorFunctionsAWindowHasTheSystemsDpi) {
    TopWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    const DpiFunctions missing = DpiFunctions::Missing();
    EXPECT_FALSE(missing.PerMonitor());
    EXPECT_EQ(missing.ForWindow(window.hwnd), SystemDpi());
    EXPECT_GT(SystemDpi(), 0);
}

TEST(Dpi, TheSystemsFunctionsAnswerForAWindow) {
    TopWindow window;
    const DpiFunctions system = DpiFunctions::FromSystem();
    const int dpi = system.ForWindow(window.hwnd);
    EXPECT_GE(dpi, 96);
    EXPECT_EQ(system.ForWindow(nullptr), SystemDpi());
}

} // namespace
} // namespace tarnvel
