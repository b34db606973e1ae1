// Prints what one SetPercent and one paint of a 390 x 23 status bar cost (median of 1,000 each).
// Figures only: nothing here fails on speed.
#include "test_windows.h"

#include "controls/stripe_progress.h"
#include "resources/picture_ids.h"
#include "wizard/skin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tarnvel {
namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work> double MedianMicroseconds(int runs, Work work) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        QueryPerformanceCounter(&start);
        work(i);
        QueryPerformanceCounter(&end);
        samples.push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart));
    }
    return Median(samples);
}

TEST(BarBenchmark, SetPercentAndPaintOf390By23Bar) {
    testing::TestHost host(GetSysColor(COLOR_MENU));
    host.CreatePopup(100, 100, 500, 100);
    CStripeProgress bar;
    bar.trackImage.Load(kPictureBarTrack);
    bar.fillImage.Load(kPictureBarFill);
    bar.stripeImage.Load(kPictureBarFill);
    bar.backgroundSource = host.Handle();
    ASSERT_TRUE(bar.Create(host.Handle(), RECT{20, 20, 410, 43}, L"", WS_CHILD | WS_VISIBLE, 0, 2004));
    bar.skin = kStatusBarSkin;
    bar.SetPercent(0);
    testing::Pump();

    const double setPercent = MedianMicroseconds(1000, [&](int i) { bar.SetPercent(i % 101); });
    testing::Pump();
    bar.SetPercent(50);
    testing::Pump();
    const double paint = MedianMicroseconds(1000, [&](int) {
        InvalidateRect(bar.Handle(), nullptr, FALSE);
        UpdateWindow(bar.Handle()); // WM_PAINT, handled at once
    });
    testing::Canvas canvas(390, 23);
    const double printClient = MedianMicroseconds(1000, [&](int) {
        SendMessageW(bar.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    });
    std::printf("390 x 23 bar, median of 1000: SetPercent %.1f us, paint (WM_PAINT) %.1f us, "
                "paint into a context %.1f us\n",
                setPercent, paint, printClient);
    EXPECT_EQ(bar.FillWidth(), 195);
}

} // namespace
} // namespace tarnvel
