// The skinned controls in real windows of this process: pictures, routing, painting, threads,
// and the GDI and USER objects they hold.
#include "gui_counters.h"
#include "test_windows.h"

#include "controls/bitmap_edit.h"
#include "controls/custom_button.h"
#include "controls/document_view.h"
#include "controls/drawing.h"
#include "controls/geometry.h"
#include "controls/image_loader.h"
#include "controls/paint_helpers.h"
#include "controls/shadow_wnd.h"
#include "controls/stripe_progress.h"
#include "controls/themed_image.h"
#include "controls/themed_label.h"
#include "resources/picture_ids.h"
#include "wizard/skin.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>

namespace tarnvel {
namespace {

using testing::Canvas;
using testing::Near;
using testing::PrintClient;
using testing::Pump;
using testing::PumpUntil;
using testing::Recorder;
using testing::TestHost;
using testing::TopDownBitmapInfo;

constexpr COLORREF kHostColour = RGB(0x12, 0x34, 0x56);
constexpr COLORREF kOtherColour = RGB(0x65, 0x43, 0x21);
constexpr COLORREF kBarBlue = RGB(0x22, 0x7C, 0xF6);
constexpr COLORREF kTrackGrey = RGB(0xF5, 0xF5, 0xF5);
constexpr COLORREF kBadgeBlue = RGB(0x23, 0x7D, 0xED);

std::vector<std::uint32_t> BitmapPixels(HBITMAP bitmap, SIZE size) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(size.cx * size.cy));
    BITMAPINFO info = TopDownBitmapInfo(size.cx, size.cy);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(size.cy), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return pixels;
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.CreatePopup(50, 50, 800, 400);
        ASSERT_TRUE(host.Handle());
        Pump();
    }

    TestHost host{kHostColour};
};

// --- pictures ------------------------------------------------------------------------------------

TEST(Pictures, EveryPictureLoadsAtItsSizeBothWays) {
    const struct {
        int id;
        int width;
        int height;
    } table[] = {{217, 180, 60},  {219, 120, 240}, {220, 720, 500}, {221, 653, 3},  {222, 653, 3},
                 {225, 345, 30},  {226, 345, 30},  {227, 208, 12},  {228, 208, 12}, {229, 120, 240},
                 {230, 120, 120}, {231, 36, 36},   {243, 420, 42},  {244, 420, 42}, {245, 420, 42}};
    for (const auto& picture : table) {
        UniqueBitmap bitmap = LoadPngPicture(picture.id);
        ASSERT_TRUE(bitmap) << picture.id;
        BITMAP info{};
        GetObjectW(bitmap.Get(), sizeof(info), &info);
        EXPECT_EQ(info.bmWidth, picture.width) << picture.id;
        EXPECT_EQ(info.bmHeight, picture.height) << picture.id;
        EXPECT_EQ(info.bmBitsPixel, 32) << picture.id;
        ImageHolder holder;
        ASSERT_NE(holder.Load(picture.id), nullptr) << picture.id;
        EXPECT_EQ(holder.Width(), picture.width) << picture.id;
        EXPECT_EQ(holder.Height(), picture.height) << picture.id;
    }
}

TEST(Pictures, CloseButtonWithoutAlphaChannelIsOpaque) {
    UniqueBitmap bitmap = LoadPngPicture(kPictureCloseButton);
    ASSERT_TRUE(bitmap);
    for (std::uint32_t pixel : BitmapPixels(bitmap.Get(), SIZE{180, 60}))
        ASSERT_EQ(pixel >> 24, 0xFFu);
}

TEST(Pictures, FaceKeepsPerPixelAlphaPremultiplied) {
    UniqueBitmap bitmap = LoadPngPicture(kPictureSuccessFace);
    ASSERT_TRUE(bitmap);
    const auto pixels = BitmapPixels(bitmap.Get(), SIZE{120, 120});
    const std::uint32_t eye = pixels[46 * 120 + 42];
    const std::uint32_t disc = pixels[20 * 120 + 60];
    const std::uint32_t corner = pixels[0];
    EXPECT_EQ(eye >> 24, 0u);
    EXPECT_EQ(corner, 0u);
    EXPECT_EQ(disc, 0xFF237DEDu);
}

TEST(Pictures, EveryPictureIsDrawnAtEachScaleAtItsScaledSize) {
    for (const int id :
         {kPictureCloseButton, kPicturePhoneDownload, kPictureMainBackground, kPictureStepTrack,
          kPictureStepFill, kPicturePathBoxFocused, kPicturePathBox, kPictureBarTrack, kPictureBarFill,
          kPicturePhoneUpgrade, kPictureSuccessFace, kPictureLogoBadge, kPictureFailureFace,
          kPictureBackButton, kPictureNextButton, kPictureBrowseButton}) {
        const UniqueBitmap base = LoadPngPicture(id);
        ASSERT_TRUE(base) << id;
        const SIZE size = BitmapSize(base.Get());
        for (const int percent : kPictureScales) {
            const int dpi = percent * kLayoutDpi / 100;
            const UniqueBitmap scaled = LoadPngPicture(ScaledPictureId(id, percent));
            ASSERT_TRUE(scaled) << id << " at " << percent;
            const SIZE scaledSize = BitmapSize(scaled.Get());
            EXPECT_EQ(scaledSize.cx, ScaleForDpi(static_cast<int>(size.cx), dpi)) << id << " at " << percent;
            EXPECT_EQ(scaledSize.cy, ScaleForDpi(static_cast<int>(size.cy), dpi)) << id << " at " << percent;
        }
    }
}

TEST(Pictures, ADpiBetweenTheScalesTakesTheNextLargerPictureDrawnDown) {
    // 110 dpi: the 125 % face drawn down to 120 x 110 / 96 = 138 pixels, the disc's blue kept.
    const UniqueBitmap face = LoadPngPictureForDpi(PictureIdsAtScales(kPictureSuccessFace), 110);
    ASSERT_TRUE(face);
    EXPECT_EQ(BitmapSize(face.Get()).cx, 138);
    EXPECT_EQ(BitmapSize(face.Get()).cy, 138);
    const auto pixels = BitmapPixels(face.Get(), SIZE{138, 138});
    EXPECT_EQ(pixels[23 * 138 + 69], 0xFF237DEDu); // the disc, between the eyes' row and the top
    EXPECT_EQ(pixels[0], 0u);                      // the corner, outside the disc
    ImageHolder bar;
    ASSERT_NE(bar.LoadForDpi(PictureIdsAtScales(kPictureBarTrack), 110), nullptr);
    EXPECT_EQ(bar.Width(), ScaleForDpi(208, 110));
}

TEST(Pictures, UnknownPictureGivesNothingAndEmptiesTheHolder) {
    EXPECT_EQ(LoadPngBitmap(218), nullptr);
    EXPECT_EQ(LoadPngBitmap(kPictureBarFill, L"NOTPNG"), nullptr);
    ImageHolder holder;
    ASSERT_NE(holder.Load(kPictureBarTrack), nullptr);
    EXPECT_EQ(holder.Load(999), nullptr);
    EXPECT_FALSE(holder);
    EXPECT_EQ(holder.Width(), 0);
}

TEST(Pictures, EqualPicturesAreIndependentHandles) {
    UniqueBitmap first = LoadPngPicture(kPicturePathBox);
    UniqueBitmap second = LoadPngPicture(kPicturePathBoxFocused);
    UniqueBitmap again = LoadPngPicture(kPicturePathBox);
    ASSERT_TRUE(first && second && again);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_NE(first.Get(), again.Get());
    const auto before = BitmapPixels(second.Get(), SIZE{345, 30});
    EXPECT_EQ(BitmapPixels(first.Get(), SIZE{345, 30}), before);
    first.Reset();
    EXPECT_EQ(BitmapPixels(second.Get(), SIZE{345, 30}), before);
    EXPECT_EQ(BitmapSize(again.Get()).cx, 345);
}

TEST(Pictures, ProgramIconIs32PixelsWithAMask) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_NE(info.hbmMask, nullptr);
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof(colour), &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

// --- window base and reflection ------------------------------------------------------------------

TEST_F(ControlsTest, ExceptionInAHandlerStaysInsideTheWindow) {
    Recorder recorder;
    ASSERT_TRUE(recorder.Create(host.Handle(), RECT{0, 0, 10, 10}, L"", WS_CHILD, 0, 5));
    recorder.throwOnUser = true;
    EXPECT_EQ(SendMessageW(recorder.Handle(), WM_USER, 0, 0), 0);
    EXPECT_EQ(WindowBase::FromHandle(recorder.Handle()), &recorder);
    HWND hwnd = recorder.Handle();
    recorder.Destroy();
    EXPECT_EQ(recorder.Handle(), nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Reflection, FindsTheChildFromWhereEachMessageNamesIt) {
    HWND child = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    EXPECT_EQ(
        FindReflectionTarget(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), reinterpret_cast<LPARAM>(child)).child,
        child);
    EXPECT_FALSE(FindReflectionTarget(WM_COMMAND, MAKEWPARAM(7, 0), 0).Found()); // menu or accelerator
    NMHDR header{child, 7, static_cast<UINT>(NM_CUSTOMDRAW)};
    EXPECT_EQ(FindReflectionTarget(WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header)).child, child);
    EXPECT_EQ(FindReflectionTarget(WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 9), reinterpret_cast<LPARAM>(child))
                  .child,
              child);
    const auto byId = FindReflectionTarget(WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 9), MAKELPARAM(3, 4));
    EXPECT_TRUE(byId.byControlId);
    EXPECT_EQ(byId.controlId, 9);
    DRAWITEMSTRUCT draw{};
    draw.hwndItem = child;
    EXPECT_EQ(FindReflectionTarget(WM_DRAWITEM, 7, reinterpret_cast<LPARAM>(&draw)).child, child);
    EXPECT_FALSE(FindReflectionTarget(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)).Found()); // a menu
    DELETEITEMSTRUCT deleted{};
    deleted.hwndItem = child;
    EXPECT_EQ(FindReflectionTarget(WM_DELETEITEM, 7, reinterpret_cast<LPARAM>(&deleted)).child, child);
    COMPAREITEMSTRUCT compared{};
    compared.hwndItem = child;
    EXPECT_EQ(FindReflectionTarget(WM_COMPAREITEM, 7, reinterpret_cast<LPARAM>(&compared)).child, child);
    MEASUREITEMSTRUCT measure{};
    measure.CtlID = 42;
    EXPECT_EQ(FindReflectionTarget(WM_MEASUREITEM, 42, reinterpret_cast<LPARAM>(&measure)).controlId, 42);
    EXPECT_FALSE(FindReflectionTarget(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)).Found());
    for (UINT message : {UINT{WM_VKEYTOITEM}, UINT{WM_CHARTOITEM}, UINT{WM_HSCROLL}, UINT{WM_VSCROLL},
                         UINT{WM_CTLCOLORMSGBOX}, UINT{WM_CTLCOLOREDIT}, UINT{WM_CTLCOLORSTATIC}})
        EXPECT_EQ(FindReflectionTarget(message, 0, reinterpret_cast<LPARAM>(child)).child, child) << message;
    EXPECT_FALSE(FindReflectionTarget(WM_PAINT, 0, reinterpret_cast<LPARAM>(child)).Found());
    EXPECT_FALSE(FindReflectionTarget(WM_NOTIFY, 0, 0).Found());
}

TEST_F(ControlsTest, HostSendsNotificationsBackWithTheCodeRaised) {
    Recorder child;
    ASSERT_TRUE(child.Create(host.Handle(), RECT{0, 0, 10, 10}, L"", WS_CHILD, 0, 77));
    child.answer = 1234;
    EXPECT_EQ(SendMessageW(host.Handle(), WM_COMMAND, MAKEWPARAM(77, BN_CLICKED),
                           reinterpret_cast<LPARAM>(child.Handle())),
              1234);
    NMHDR header{child.Handle(), 77, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(SendMessageW(host.Handle(), WM_NOTIFY, 77, reinterpret_cast<LPARAM>(&header)), 1234);
    MEASUREITEMSTRUCT measure{};
    measure.CtlID = 77;
    SendMessageW(host.Handle(), WM_MEASUREITEM, 77, reinterpret_cast<LPARAM>(&measure));
    ASSERT_EQ(child.received.size(), 3u);
    EXPECT_EQ(child.received[0].message, WM_COMMAND + 0x2000u);
    EXPECT_EQ(child.received[0].wParam, MAKEWPARAM(77, BN_CLICKED));
    EXPECT_EQ(child.received[1].message, 0x204Eu);
    EXPECT_EQ(child.received[1].lParam, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(child.received[2].message, WM_MEASUREITEM + 0x2000u);
    // A menu command is nobody's child's.
    LRESULT result = 0;
    EXPECT_FALSE(ReflectNotification(host.Handle(), WM_COMMAND, 77, 0, result));
    EXPECT_EQ(child.received.size(), 3u);
}

// --- host painting and window helpers ------------------------------------------------------------

TEST_F(ControlsTest, PaintIntoAContextDrawsTheHostWithoutItsChildren) {
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{10, 10, 200, 40}, L"", WS_CHILD | WS_VISIBLE, 0, 1);
    label.SetText(L"文字");
    const auto printed = PrintClient(host.Handle());
    for (int y = 0; y < printed.height; y += 7)
        for (int x = 0; x < printed.width; x += 7)
            ASSERT_EQ(printed.At(x, y), kHostColour) << x << "," << y;
}

TEST_F(ControlsTest, ClientSizeIsSetWithoutMoving) {
    HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"Static", L"", WS_CHILD | WS_BORDER, 30, 40, 10, 10,
                               host.Handle(), nullptr, nullptr, nullptr);
    ASSERT_TRUE(SetClientSize(box, 345, 30, true));
    RECT client{}, window{};
    GetClientRect(box, &client);
    EXPECT_EQ(client.right, 345);
    EXPECT_EQ(client.bottom, 30);
    ASSERT_TRUE(SetClientSize(box, 100, -1, false));
    GetClientRect(box, &client);
    EXPECT_EQ(client.right, 100);
    EXPECT_EQ(client.bottom, 30);
    GetWindowRect(box, &window);
    MapWindowPoints(nullptr, host.Handle(), reinterpret_cast<POINT*>(&window), 2);
    EXPECT_EQ(window.left, 30);
    EXPECT_EQ(window.top, 40);
    DestroyWindow(box);
    EXPECT_FALSE(SetClientSize(box, 10, 10, true));

    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 1, L"菜单");
    HWND framed = CreateWindowExW(0, L"Static", L"", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, menu,
                                  nullptr, nullptr);
    ASSERT_TRUE(SetClientSize(framed, 200, 100, true));
    GetClientRect(framed, &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
    DestroyWindow(framed);
}

// --- stripe progress bar -------------------------------------------------------------------------

std::unique_ptr<CStripeProgress> MakeBar(HWND parent, const RECT& rect, int percent) {
    auto bar = std::make_unique<CStripeProgress>();
    bar->trackImage.Load(kPictureBarTrack);
    bar->fillImage.Load(kPictureBarFill);
    bar->stripeImage.Load(kPictureBarFill);
    bar->backgroundSource = parent;
    bar->Create(parent, rect, L"", WS_CHILD | WS_VISIBLE, 0, 2003);
    bar->skin = kStatusBarSkin;
    bar->SetPercent(percent);
    return bar;
}

TEST_F(ControlsTest, BarShowsTrackFillAndBackground) {
    auto bar = MakeBar(host.Handle(), RECT{20, 20, 410, 43}, 50);
    EXPECT_EQ(bar->FillWidth(), 195);
    auto printed = PrintClient(bar->Handle());
    EXPECT_TRUE(Near(printed.At(100, 6), kBarBlue)) << std::hex << printed.At(100, 6);
    EXPECT_TRUE(Near(printed.At(193, 6), kBarBlue));
    EXPECT_TRUE(Near(printed.At(300, 6), kTrackGrey));
    EXPECT_EQ(printed.At(100, 15), kHostColour);          // the 12-pixel images leave the bar's lower rows
    EXPECT_TRUE(Near(printed.At(0, 0), kHostColour, 40)); // rounded track end

    bar->SetPercent(0);
    printed = PrintClient(bar->Handle());
    for (int x = 0; x < 390; ++x)
        ASSERT_FALSE(Near(printed.At(x, 6), kBarBlue, 60)) << x;
    bar->SetPercent(-5);
    const auto negative = PrintClient(bar->Handle());
    bar->SetPercent(100);
    const auto full = PrintClient(bar->Handle());
    EXPECT_EQ(negative.pixels, full.pixels);
    EXPECT_TRUE(Near(full.At(380, 6), kBarBlue));
}

TEST_F(ControlsTest, BarWithoutImagesShowsOnlyItsBackground) {
    CStripeProgress bar;
    bar.backgroundSource = host.Handle();
    bar.Create(host.Handle(), RECT{0, 0, 100, 10}, L"", WS_CHILD | WS_VISIBLE, 0, 1);
    bar.SetPercent(60);
    const auto printed = PrintClient(bar.Handle());
    for (COLORREF pixel : printed.pixels)
        ASSERT_EQ(pixel, kHostColour);
}

TEST_F(ControlsTest, MovedBarCopiesItsBackgroundAgain) {
    auto bar = MakeBar(host.Handle(), RECT{20, 20, 410, 43}, 10);
    host.colour = kOtherColour;
    EXPECT_EQ(PrintClient(bar->Handle()).At(200, 18), kHostColour);
    MoveWindow(bar->Handle(), 20, 60, 390, 23, TRUE);
    EXPECT_EQ(PrintClient(bar->Handle()).At(200, 18), kOtherColour);
}

TEST_F(ControlsTest, PercentFromAnotherThreadWhilePainting) {
    auto bar = MakeBar(host.Handle(), RECT{20, 20, 410, 43}, 0);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i <= 300; ++i)
            bar->SetPercent(i % 101);
        bar->SetPercent(50);
        done = true;
    });
    Canvas canvas(390, 23);
    while (!done) {
        SendMessageW(bar->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
        Pump();
    }
    worker.join();
    EXPECT_EQ(bar->Percent(), 50);
    EXPECT_EQ(bar->FillWidth(), 195);
    const auto printed = PrintClient(bar->Handle());
    EXPECT_TRUE(Near(printed.At(190, 6), kBarBlue));
    EXPECT_TRUE(Near(printed.At(200, 6), kTrackGrey));
}

TEST_F(ControlsTest, BarFirstComposedOffItsThreadGetsItsBackgroundAtThePaint) {
    CStripeProgress bar;
    bar.trackImage.Load(kPictureBarTrack);
    bar.backgroundSource = host.Handle();
    bar.Create(host.Handle(), RECT{20, 20, 410, 43}, L"", WS_CHILD | WS_VISIBLE, 0, 1);
    std::thread([&] { bar.SetPercent(0); }).join();
    EXPECT_EQ(PrintClient(bar.Handle()).At(100, 18), kHostColour);
}

// --- custom button -------------------------------------------------------------------------------

class ButtonTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        strip = LoadPngPicture(kPictureBackButton);
        button.Create(host.Handle(), RECT{10, 10, 150, 52}, L"", WS_CHILD | WS_VISIBLE, 0, 1003);
        button.backgroundSource = host.Handle();
        button.strip = strip.Get();
        button.margins = Margins{1, 1, 1, 1};
        button.frameCount = 3;
        button.frameHover = 1;
        button.framePressed = 2;
        button.frameDisabled = 2;
        button.textColourNormal = RGB(0x32, 0x32, 0x32);
        button.textColourHover = RGB(0, 0, 0);
        button.textColourPressed = RGB(0, 0, 0);
    }

    // Sends the button the reflected custom-draw notification of one stage onto canvas.
    LRESULT Draw(Canvas& canvas, DWORD stage, UINT state) {
        NMCUSTOMDRAW draw{};
        draw.hdr = NMHDR{button.Handle(), 1003, static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.dwDrawStage = stage;
        draw.hdc = canvas.Dc();
        draw.rc = RECT{0, 0, 140, 42};
        draw.uItemState = state;
        return SendMessageW(button.Handle(), WM_NOTIFY + kReflectedMessageBase, 1003,
                            reinterpret_cast<LPARAM>(&draw));
    }

    UniqueBitmap strip;
    CCustomButton button;
};

TEST_F(ButtonTest, DrawsTheFrameOfItsStateAndSkipsTheDefaultDrawing) {
    Canvas canvas(140, 42);
    EXPECT_EQ(Draw(canvas, CDDS_PREPAINT, 0), CDRF_SKIPDEFAULT);
    EXPECT_EQ(Draw(canvas, CDDS_PREERASE, 0), CDRF_SKIPDEFAULT);
    EXPECT_TRUE(Near(canvas.At(70, 5), RGB(0xFE, 0xFE, 0xFE), 3)) << std::hex << canvas.At(70, 5);
    EXPECT_EQ(canvas.At(0, 20), RGB(0xCA, 0xCA, 0xCA));
    Draw(canvas, CDDS_PREERASE, CDIS_HOT);
    EXPECT_TRUE(Near(canvas.At(70, 5), RGB(0xF0, 0xF0, 0xF0), 3)) << std::hex << canvas.At(70, 5);
    Draw(canvas, CDDS_PREERASE, CDIS_HOT | CDIS_SELECTED);
    EXPECT_EQ(canvas.At(70, 5), RGB(0xB9, 0xB9, 0xB9));
    Draw(canvas, CDDS_PREERASE, CDIS_DISABLED);
    EXPECT_EQ(canvas.At(70, 5), RGB(0xB9, 0xB9, 0xB9));
    EXPECT_EQ(Draw(canvas, CDDS_POSTPAINT, 0), 0);
    EXPECT_EQ(Draw(canvas, CDDS_POSTERASE, 0), 0);
    EXPECT_EQ(Draw(canvas, CDDS_ITEMPREPAINT, 0), 0);
}

TEST_F(ButtonTest, CaptionColourFollowsPointerAndPressNotDisabling) {
    EXPECT_EQ(button.CaptionColourFor(0), RGB(0x32, 0x32, 0x32));
    EXPECT_EQ(button.CaptionColourFor(CDIS_DISABLED), RGB(0x32, 0x32, 0x32));
    EXPECT_EQ(button.CaptionColourFor(CDIS_DISABLED | CDIS_HOT), RGB(0, 0, 0));
    button.textColourHover = RGB(1, 2, 3);
    EXPECT_EQ(button.CaptionColourFor(CDIS_HOT | CDIS_SELECTED), RGB(0, 0, 0));
    EXPECT_EQ(button.FrameFor(CDIS_HOT | CDIS_SELECTED), 2);
    EXPECT_EQ(button.FrameFor(CDIS_HOT), 1);
}

TEST_F(ButtonTest, HiddenBackgroundSourceDrawsNothingButStillSkipsDefault) {
    ShowWindow(host.Handle(), SW_HIDE);
    Canvas canvas(140, 42);
    EXPECT_EQ(Draw(canvas, CDDS_PREERASE, 0), CDRF_SKIPDEFAULT);
    EXPECT_EQ(canvas.At(70, 20), RGB(0xFF, 0x00, 0xFF));
}

TEST_F(ButtonTest, WithoutStripOrFramesDrawsBackgroundAndCaption) {
    button.strip = nullptr;
    SetWindowTextW(button.Handle(), L"浏览");
    Canvas canvas(140, 42);
    Draw(canvas, CDDS_PREERASE, 0);
    EXPECT_EQ(canvas.At(2, 2), kHostColour);
    button.strip = strip.Get();
    button.frameCount = 0; // not a valid configuration: still nothing to divide by
    Draw(canvas, CDDS_PREERASE, 0);
    EXPECT_EQ(canvas.At(2, 2), kHostColour);
}

TEST_F(ButtonTest, MovedButtonCopiesItsBackgroundAgain) {
    button.strip = nullptr;
    Canvas canvas(140, 42);
    Draw(canvas, CDDS_PREERASE, 0);
    host.colour = kOtherColour;
    Draw(canvas, CDDS_PREERASE, 0);
    EXPECT_EQ(canvas.At(2, 2), kHostColour);
    MoveWindow(button.Handle(), 30, 100, 140, 42, TRUE);
    Draw(canvas, CDDS_PREERASE, 0);
    EXPECT_EQ(canvas.At(2, 2), kOtherColour);
}

TEST_F(ButtonTest, PlatformButtonAsksForItsCustomDrawing) {
    // The common controls 6 button sends the custom-draw notification; the host reflects it.
    const auto printed = PrintClient(button.Handle());
    EXPECT_TRUE(Near(printed.At(70, 5), RGB(0xFE, 0xFE, 0xFE), 3)) << std::hex << printed.At(70, 5);
    EXPECT_EQ(printed.At(0, 20), RGB(0xCA, 0xCA, 0xCA));
}

// --- labels --------------------------------------------------------------------------------------

TEST_F(ControlsTest, LabelTextReplacedFromAWorkerIsNeverTorn) {
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{10, 10, 300, 40}, L"", WS_CHILD | WS_VISIBLE, 0, 2009);
    const std::wstring longText(400, L'长');
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 3000; ++i) {
            label.SetText(i % 2 ? longText : L"短");
            SetLabelColour(label, i % 2 ? RGB(0x64, 0x64, 0x64) : RGB(0, 0, 0));
        }
        label.SetText(L"等待数据校验...");
        done = true;
    });
    Canvas canvas(290, 30);
    int paints = 0;
    while (!done) {
        SendMessageW(label.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
        const std::wstring seen = label.Text();
        ASSERT_TRUE(seen == longText || seen == L"短" || seen == L"等待数据校验..." || seen.empty());
        ++paints;
        Pump();
    }
    worker.join();
    EXPECT_GT(paints, 0);
    EXPECT_EQ(label.Text(), L"等待数据校验...");
}

int InkRows(const testing::Printed& printed, COLORREF background, std::vector<bool>& rows) {
    rows.assign(static_cast<size_t>(printed.height), false);
    int count = 0;
    for (int y = 0; y < printed.height; ++y)
        for (int x = 0; x < printed.width; ++x)
            if (!Near(printed.At(x, y), background, 40)) {
                rows[static_cast<size_t>(y)] = true;
                ++count;
                break;
            }
    return count;
}

TEST_F(ControlsTest, LabelWithALineBreakDrawsTwoLinesFromTheTop) {
    host.colour = RGB(0xFF, 0xFF, 0xFF);
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{10, 10, 300, 100}, L"", WS_CHILD | WS_VISIBLE, 0, 1);
    label.textFormat = 0x8804;
    label.SetText(L"第一行\n第二行");
    std::vector<bool> rows;
    InkRows(PrintClient(label.Handle()), RGB(0xFF, 0xFF, 0xFF), rows);
    int bands = 0;
    int firstInk = -1;
    for (size_t y = 0; y < rows.size(); ++y) {
        if (rows[y] && (y == 0 || !rows[y - 1]))
            ++bands;
        if (rows[y] && firstInk < 0)
            firstInk = static_cast<int>(y);
    }
    EXPECT_EQ(bands, 2);
    EXPECT_GE(firstInk, 0);
    EXPECT_LT(firstInk, 8);
}

TEST_F(ControlsTest, LabelCopiesItsBackgroundAgainWhenResizedNotWhenMoved) {
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{10, 10, 100, 30}, L"", WS_CHILD | WS_VISIBLE, 0, 1);
    EXPECT_EQ(PrintClient(label.Handle()).At(5, 5), kHostColour);
    host.colour = kOtherColour;
    MoveWindow(label.Handle(), 50, 50, 90, 20, TRUE);
    EXPECT_EQ(PrintClient(label.Handle()).At(5, 5), kHostColour);
    MoveWindow(label.Handle(), 50, 50, 91, 20, TRUE);
    EXPECT_EQ(PrintClient(label.Handle()).At(5, 5), kOtherColour);
}

TEST_F(ControlsTest, LinkShowsTheHandAndPlainLabelDoesNot) {
    CThemedLabelCtrl link;
    link.Create(host.Handle(), RECT{10, 10, 200, 30}, L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 1011);
    CThemedLabelCtrl plain;
    plain.Create(host.Handle(), RECT{10, 40, 200, 60}, L"", WS_CHILD | WS_VISIBLE, 0, 1009);
    link.SetLink(true, L"https://bbs.zemo.example/");
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);
    SendMessageW(plain.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(plain.Handle()),
                 MAKELPARAM(HTCLIENT, 0));
    EXPECT_EQ(GetCursor(), arrow);
    SendMessageW(link.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.Handle()),
                 MAKELPARAM(HTCLIENT, 0));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    SetCursor(arrow);
}

TEST_F(ControlsTest, LinkOpensItsAddressOncePerPressOrEnter) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring marker = std::wstring(folder) + L"tarnvel_link_marker.txt";
    const std::wstring script = std::wstring(folder) + L"tarnvel_link_probe.bat";
    DeleteFileW(marker.c_str());
    {
        std::ofstream out(script.c_str());
        out << "@echo opened>>\"" << std::string(marker.begin(), marker.end()) << "\"\r\n";
    }
    CThemedLabelCtrl link;
    link.Create(host.Handle(), RECT{10, 10, 200, 30}, L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 1011);
    link.SetLink(true, script);
    CThemedLabelCtrl plain;
    plain.Create(host.Handle(), RECT{10, 40, 200, 60}, L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 1009);
    EXPECT_EQ(SendMessageW(plain.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(SendMessageW(link.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)), 0);
    auto lines = [&] {
        std::ifstream in(marker.c_str());
        std::string line;
        int count = 0;
        while (std::getline(in, line))
            ++count;
        return count;
    };
    ASSERT_TRUE(PumpUntil([&] { return lines() == 1; }, 20000));
    SendMessageW(link.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_TRUE(PumpUntil([&] { return lines() == 2; }, 20000));
    // Enter opens it as a press does, the repeats of a held key do not; a plain label opens nothing.
    SendMessageW(plain.Handle(), WM_KEYDOWN, VK_RETURN, 1);
    SendMessageW(link.Handle(), WM_KEYDOWN, VK_RETURN, 1);
    SendMessageW(link.Handle(), WM_KEYDOWN, VK_RETURN, 1 | (1 << 30));
    ASSERT_TRUE(PumpUntil([&] { return lines() == 3; }, 20000));
    Sleep(300);
    EXPECT_EQ(lines(), 3);
    DeleteFileW(marker.c_str());
    DeleteFileW(script.c_str());
}

// --- image control -------------------------------------------------------------------------------

TEST_F(ControlsTest, ImageBlendsItsOwnCopyOverTheBackground) {
    UniqueBitmap face = LoadPngPicture(kPictureSuccessFace);
    CThemedImageCtrl image;
    image.Create(host.Handle(), RECT{20, 20, 21, 21}, L"", WS_CHILD | WS_VISIBLE, 0, 2016);
    ShowPictureIn(image, face.Get());
    EXPECT_NE(image.Picture(), face.Get());
    RECT client{};
    GetClientRect(image.Handle(), &client);
    EXPECT_EQ(client.right, 120);
    EXPECT_EQ(client.bottom, 120);
    const auto printed = PrintClient(image.Handle());
    EXPECT_EQ(printed.At(42, 46), kHostColour);
    EXPECT_EQ(printed.At(60, 20), kBadgeBlue);
    EXPECT_EQ(printed.At(1, 1), kHostColour);

    HBITMAP firstCopy = image.Picture();
    UniqueBitmap badge = LoadPngPicture(kPictureLogoBadge);
    image.SetPicture(badge.Get());
    EXPECT_EQ(GetObjectType(firstCopy), 0u);
    image.SetPicture(nullptr);
    for (COLORREF pixel : PrintClient(image.Handle()).pixels)
        ASSERT_EQ(pixel, kHostColour);
}

// --- shadow --------------------------------------------------------------------------------------

class ShadowTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner.Create(nullptr, RECT{100, 100, 820, 600}, L"", WS_POPUP, WS_EX_NOACTIVATE, 0);
        ASSERT_TRUE(shadow->CreateFor(owner.Handle()));
        shadow->shadowSize = 15;
        shadow->inset = 5;
        shadow->placementMode = 4;
        ShowWindow(owner.Handle(), SW_SHOWNOACTIVATE);
        UpdateWindow(owner.Handle());
        Pump();
    }

    RECT ShadowRect() const {
        RECT rect{};
        GetWindowRect(shadow->Handle(), &rect);
        return rect;
    }

    TestHost owner{RGB(0xFF, 0xFF, 0xFF)};
    std::unique_ptr<CThemedShadowWnd> shadow = std::make_unique<CThemedShadowWnd>();
};

TEST_F(ShadowTest, SurroundsTheOwnerAndFollowsIt) {
    RECT rect = ShadowRect();
    EXPECT_EQ(rect.left, 85);
    EXPECT_EQ(rect.top, 92);
    EXPECT_EQ(rect.right - rect.left, 750);
    EXPECT_EQ(rect.bottom - rect.top, 530);
    EXPECT_TRUE(shadow->IsDrawn());
    SetWindowPos(owner.Handle(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    rect = ShadowRect();
    EXPECT_EQ(rect.left, 285);
    EXPECT_EQ(rect.top, 192);
    EXPECT_EQ(GetWindow(owner.Handle(), GW_HWNDNEXT), shadow->Handle()); // right below its owner
}

TEST_F(ShadowTest, IsLayeredClickThroughAndNeverActivated) {
    const LONG_PTR exStyle = GetWindowLongPtrW(shadow->Handle(), GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_TRUE(exStyle & WS_EX_TRANSPARENT);
    EXPECT_TRUE(exStyle & WS_EX_NOACTIVATE);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongPtrW(shadow->Handle(), GWL_STYLE) & WS_CAPTION);
    EXPECT_NE(GetForegroundWindow(), shadow->Handle());
}

TEST_F(ShadowTest, HidesShowsAndGoesWithItsOwner) {
    ShowWindow(owner.Handle(), SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(shadow->Handle()));
    ShowWindow(owner.Handle(), SW_SHOWNOACTIVATE);
    EXPECT_TRUE(IsWindowVisible(shadow->Handle()));
    HWND shadowWindow = shadow->Handle();
    owner.Destroy();
    EXPECT_FALSE(IsWindow(shadowWindow));
    EXPECT_EQ(shadow->Owner(), nullptr);
}

TEST_F(ShadowTest, ShadowGoingFirstUnhooksItsOwner) {
    EXPECT_NE(GetWindowLongPtrW(owner.Handle(), GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(owner.GetWindowProc()));
    shadow.reset();
    EXPECT_EQ(GetWindowLongPtrW(owner.Handle(), GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(owner.GetWindowProc()));
    SetWindowPos(owner.Handle(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump();
    // A second shadow can follow the owner now.
    CThemedShadowWnd second;
    EXPECT_TRUE(second.CreateFor(owner.Handle()));
    CThemedShadowWnd third;
    EXPECT_FALSE(third.CreateFor(owner.Handle()));
}

// --- bitmap edit ---------------------------------------------------------------------------------

class PathBoxTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        box.backgroundSource = host.Handle();
        box.editId = 2002;
        ASSERT_TRUE(box.Create(host.Handle(), RECT{270, 219, 271, 220}, L"", WS_CHILD | WS_VISIBLE, 0, 2002));
        box.SetPictures(LoadPngBitmap(kPicturePathBox), LoadPngBitmap(kPicturePathBoxFocused));
        SetClientSize(box.Handle(), 345, 30, true);
        box.textColour = RGB(0, 0, 0);
        box.textMargins = Margins{5, 6, 5, 6};
        UpdateWindow(box.Handle());
        Pump();
    }

    RECT EditRect() const {
        RECT rect{};
        GetWindowRect(box.Edit(), &rect);
        MapWindowPoints(nullptr, box.Handle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    CBitmapEdit box;
};

TEST_F(PathBoxTest, CoversItsPictureWithTheEditInsideTheMargins) {
    RECT rect{};
    GetWindowRect(box.Handle(), &rect);
    MapWindowPoints(nullptr, host.Handle(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 270);
    EXPECT_EQ(rect.top, 219);
    EXPECT_EQ(rect.right, 615);
    EXPECT_EQ(rect.bottom, 249);
    const RECT edit = EditRect();
    EXPECT_EQ(edit.left, 5);
    EXPECT_EQ(edit.top, 6);
    EXPECT_EQ(edit.right - edit.left, 335);
    EXPECT_EQ(edit.bottom - edit.top, 18);
    EXPECT_EQ(GetDlgCtrlID(box.Edit()), 2002);
    const auto printed = PrintClient(box.Handle());
    EXPECT_EQ(printed.At(0, 15), RGB(0xCA, 0xCA, 0xCA));
    EXPECT_EQ(printed.At(2, 2), RGB(0xFF, 0xFF, 0xFF));
}

TEST_F(PathBoxTest, GetTextReturnsTheWholeText) {
    EXPECT_EQ(box.GetText(), L"");
    std::wstring path = L"D:\\升级包\\";
    for (int i = 0; i < 40; ++i)
        path += L"很长的文件夹名\\";
    path += L"Zemo_Z1.rzb";
    SetWindowTextW(box.Edit(), path.c_str());
    EXPECT_EQ(box.GetText(), path);
}

TEST_F(PathBoxTest, FocusSwitchesThePictureAndKeepsTheSize) {
    SetForegroundWindow(host.Handle());
    SetFocus(box.Edit());
    Pump();
    EXPECT_TRUE(box.IsFocused());
    SetFocus(host.Handle());
    Pump();
    EXPECT_FALSE(box.IsFocused());
    RECT client{};
    GetClientRect(box.Handle(), &client);
    EXPECT_EQ(client.right, 345);
    EXPECT_EQ(client.bottom, 30);
}

TEST_F(ControlsTest, PathBoxOverAHiddenSourceNeitherPaintsNorPlacesItsEdit) {
    TestHost hidden(kOtherColour);
    hidden.Create(host.Handle(), RECT{0, 0, 400, 100}, L"", WS_CHILD, 0, 9);
    CBitmapEdit box;
    box.backgroundSource = hidden.Handle();
    box.Create(host.Handle(), RECT{10, 10, 355, 40}, L"", WS_CHILD | WS_VISIBLE, 0, 2002);
    const auto printed = PrintClient(box.Handle());
    RECT edit{};
    GetWindowRect(box.Edit(), &edit);
    EXPECT_EQ(edit.right - edit.left, 0);
    EXPECT_EQ(printed.At(5, 5), RGB(0xFF, 0x00, 0xFF));
}

// --- page container ------------------------------------------------------------------------------

TEST_F(ControlsTest, ContainerMakesItsContentAtItsCreationAndDestroysIt) {
    int made = 0;
    Recorder* content = nullptr;
    auto view = std::make_unique<CDocumentView>([&]() -> std::unique_ptr<WindowBase> {
        ++made;
        auto recorder = std::make_unique<Recorder>();
        content = recorder.get();
        return recorder;
    });
    view->contentRect = RECT{0, 0, 2880, 334};
    ASSERT_TRUE(view->Create(host.Handle(), RECT{2, 104, 718, 438}, L"", 0x52000000, 0x100, 0));
    ASSERT_EQ(made, 1);
    ASSERT_EQ(view->Content(), content);
    HWND contentWindow = content->Handle();
    ASSERT_TRUE(contentWindow);
    EXPECT_EQ(GetParent(contentWindow), view->Handle());
    RECT rect{};
    GetWindowRect(contentWindow, &rect);
    EXPECT_EQ(rect.right - rect.left, 2880);
    EXPECT_EQ(rect.bottom - rect.top, 334);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(contentWindow, GWL_STYLE)) & 0xFFFF0000u, 0x52000000u);
    EXPECT_EQ(GetDlgCtrlID(contentWindow), 0);
    // The container reflects what its children raise.
    EXPECT_EQ(SendMessageW(view->Handle(), WM_COMMAND, 0, reinterpret_cast<LPARAM>(contentWindow)), 0);
    EXPECT_EQ(content->received.size(), 1u);
    view.reset();
    EXPECT_FALSE(IsWindow(contentWindow));

    CDocumentView empty([] { return std::unique_ptr<WindowBase>(); });
    EXPECT_TRUE(empty.Create(host.Handle(), RECT{0, 0, 10, 10}, L"", WS_CHILD, 0, 0));
    EXPECT_EQ(empty.Content(), nullptr);
}

// --- GDI and USER objects ------------------------------------------------------------------------

void CreateEveryControl(HWND parent, HBITMAP strip, HBITMAP picture, bool showShadow) {
    auto bar = MakeBar(parent, RECT{0, 0, 390, 23}, 37);
    CCustomButton button;
    button.Create(parent, RECT{0, 30, 140, 72}, L"浏览", WS_CHILD | WS_VISIBLE, 0, 2011);
    button.backgroundSource = parent;
    button.strip = strip;
    button.frameCount = 3;
    button.margins = Margins{1, 1, 1, 1};
    CThemedLabelCtrl label;
    label.Create(parent, RECT{0, 80, 200, 100}, L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 1011);
    label.SetText(L"点此进入Zemo官方社区 >>");
    CThemedImageCtrl image;
    image.Create(parent, RECT{0, 100, 1, 101}, L"", WS_CHILD | WS_VISIBLE, 0, 2014);
    ShowPictureIn(image, picture);
    CBitmapEdit box;
    box.backgroundSource = parent;
    box.editId = 2002;
    box.Create(parent, RECT{300, 0, 301, 1}, L"", WS_CHILD | WS_VISIBLE, 0, 2002);
    box.SetPictures(LoadPngBitmap(kPicturePathBox), LoadPngBitmap(kPicturePathBoxFocused));
    SetClientSize(box.Handle(), 345, 30, true);
    CDocumentView view([] { return std::make_unique<Recorder>(); });
    view.Create(parent, RECT{0, 200, 100, 300}, L"", WS_CHILD | WS_VISIBLE, 0, 0);
    TestHost owner(RGB(0xFF, 0xFF, 0xFF));
    owner.Create(nullptr, RECT{500, 500, 700, 600}, L"", WS_POPUP, WS_EX_NOACTIVATE, 0);
    CThemedShadowWnd shadow;
    shadow.CreateFor(owner.Handle());
    // Wine waits two seconds for a window manager when a shown shadow goes: shown only sometimes.
    if (showShadow)
        ShowWindow(owner.Handle(), SW_SHOWNOACTIVATE);
    UpdateWindow(parent);
    for (HWND hwnd : {bar->Handle(), button.Handle(), label.Handle(), image.Handle(), box.Handle()})
        PrintClient(hwnd);
    Pump();
}

TEST_F(ControlsTest, CreatingAndDestroyingEveryControlLeaksNothing) {
    UniqueBitmap strip = LoadPngPicture(kPictureBrowseButton);
    UniqueBitmap picture = LoadPngPicture(kPicturePhoneDownload);
    CreateEveryControl(host.Handle(), strip.Get(), picture.Get(), true); // classes, cursors, fonts, caches
    ASSERT_GT(testing::GdiObjectCount(), 0);
    // The counts are the whole process's: the system's own threads (a shell that an earlier test
    // started, say) may add a few objects at any time. A leak grows them in every block of rounds
    // by at least the block's length; the growth of the quietest block stays far below that.
    constexpr int kRounds = 50;
    int leastGdi = kRounds, leastUser = kRounds;
    for (int block = 0; block < 3; ++block) {
        const int gdi = testing::GdiObjectCount();
        const int user = testing::UserObjectCount();
        for (int i = 0; i < kRounds; ++i)
            CreateEveryControl(host.Handle(), strip.Get(), picture.Get(), i == 0);
        Pump();
        leastGdi = std::min(leastGdi, testing::GdiObjectCount() - gdi);
        leastUser = std::min(leastUser, testing::UserObjectCount() - user);
    }
    EXPECT_LT(leastGdi, kRounds / 2);
    EXPECT_LT(leastUser, kRounds / 2);
}

TEST_F(ControlsTest, PercentsAndBackgroundCopiesLeakNothing) {
    auto bar = MakeBar(host.Handle(), RECT{0, 0, 390, 23}, 0);
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{0, 40, 200, 60}, L"", WS_CHILD | WS_VISIBLE, 0, 1);
    for (int i = 0; i < 10; ++i) {
        bar->SetPercent(i);
        DeleteObject(CaptureBackgroundBrush(label.Handle(), host.Handle()));
        CaptureBackground(bar->Handle(), host.Handle());
        Pump();
    }
    const int gdi = testing::GdiObjectCount();
    for (int i = 0; i < 1000; ++i)
        bar->SetPercent(i % 101);
    Pump();
    EXPECT_LE(testing::GdiObjectCount(), gdi);
    for (int i = 0; i < 1000; ++i) {
        DeleteObject(CaptureBackgroundBrush(label.Handle(), host.Handle()));
        CaptureBackground(bar->Handle(), host.Handle());
    }
    EXPECT_LE(testing::GdiObjectCount(), gdi);
}

} // namespace
} // namespace tarnvel
