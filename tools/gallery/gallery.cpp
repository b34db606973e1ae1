// The control gallery: every skinned control in each of its states over the backgrounds the
// program uses (the main window's picture, the step indicator's white, the status view's system
// menu colour), with a shadowed main window specimen. Tests take screenshots of it; people look
// at it. Runs until it is closed.
#include "gallery/gallery_ids.h"

#include "controls/bitmap_edit.h"
#include "controls/custom_button.h"
#include "controls/document_view.h"
#include "controls/drawing.h"
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

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tarnvel::gallery {

namespace {

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kCaptionNormal = RGB(0x32, 0x32, 0x32);
constexpr COLORREF kCaptionActive = RGB(0x00, 0x00, 0x00);
constexpr UINT kLeftFormat = 0x8804;
constexpr UINT kRightFormat = 0x8806;
constexpr UINT kReadyMessage = WM_APP + 1;

HFONT MakeFont(int height, int width, int weight, bool underline, const wchar_t* face = L"微软雅黑") {
    return CreateFontW(height, width, 0, 0, weight, FALSE, underline, FALSE, CHINESEBIG5_CHARSET,
                       OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, 0, 0, face);
}

// A window that hosts specimens: paints its background double-buffered and reflects its
// children's notifications. Buttons listed in forcedHover are drawn as if the pointer were over
// them, so that one screenshot shows every state.
class GalleryHost final : public WindowBase {
public:
    enum class Look { Picture, Colour, MenuColour };

    GalleryHost(Look look, COLORREF colour, HBITMAP picture) noexcept
        : WindowBase(&GalleryHost::Class), look_(look), colour_(colour), picture_(picture) {}
    ~GalleryHost() override { Destroy(); }

    static const WindowClass& Class() {
        static const WindowClass cls =
            RegisterOwnClass(kHostClass, CS_DBLCLKS, nullptr, LoadCursorW(nullptr, IDC_ARROW));
        return cls;
    }

    std::set<HWND> forcedHover;
    bool quitOnDestroy = false;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        LRESULT result = 0;
        if (HandleDoubleBufferedPaint(Handle(), message, wParam, result, [this](HDC dc) { DrawContent(dc); }))
            return result;
        switch (message) {
        case WM_CLOSE:
            DestroyWindow(Handle());
            return 0;
        case WM_DESTROY:
            if (quitOnDestroy)
                PostQuitMessage(0);
            break;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header && header->code == static_cast<UINT>(NM_CUSTOMDRAW) &&
                forcedHover.count(header->hwndFrom)) {
                NMCUSTOMDRAW draw = *reinterpret_cast<const NMCUSTOMDRAW*>(lParam);
                draw.uItemState |= CDIS_HOT;
                return SendMessageW(header->hwndFrom, WM_NOTIFY + kReflectedMessageBase, wParam,
                                    reinterpret_cast<LPARAM>(&draw));
            }
            break;
        }
        default:
            break;
        }
        if (ReflectNotification(Handle(), message, wParam, lParam, result))
            return result;
        return DefaultProc(message, wParam, lParam);
    }

private:
    void DrawContent(HDC dc) {
        RECT client{};
        GetClientRect(Handle(), &client);
        switch (look_) {
        case Look::Picture: {
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            const SIZE size = BitmapSize(picture_);
            DrawNineGrid(dc, client, picture_, RECT{0, 0, size.cx, size.cy}, 255, Margins{1, 1, 1, 1});
            break;
        }
        case Look::Colour: {
            UniqueBrush brush(CreateSolidBrush(colour_));
            FillRect(dc, &client, brush.Get());
            break;
        }
        case Look::MenuColour:
            FillRect(dc, &client, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
            break;
        }
    }

    Look look_;
    COLORREF colour_;
    HBITMAP picture_; // not owned: the gallery's
};

class Gallery {
public:
    bool Create();

private:
    GalleryHost& AddHost(HWND parent, const RECT& rect, int id, GalleryHost::Look look, COLORREF colour = 0,
                         HBITMAP picture = nullptr, DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                         const wchar_t* title = L"");
    CThemedLabelCtrl& AddLabel(HWND parent, const RECT& rect, int id, HFONT font, COLORREF colour,
                               UINT format, const wchar_t* text, DWORD extraStyle = 0);
    CStripeProgress& AddBar(HWND parent, const RECT& rect, int id, int track, int fill, const BarSkin& skin,
                            int percent);
    CCustomButton& AddButton(GalleryHost& host, const RECT& rect, int id, const wchar_t* caption,
                             HBITMAP strip, HFONT font, bool textColours, int state);
    CThemedImageCtrl& AddImage(HWND parent, int x, int y, int id, HBITMAP picture);
    CBitmapEdit& AddPathBox(HWND parent, int x, int y, int id, const wchar_t* text);

    void BuildMainWindow();
    void BuildPanels();

    std::vector<UniqueFont> fonts_;
    HFONT f12_ = nullptr, f12u_ = nullptr, f14_ = nullptr, f14u_ = nullptr, f16_ = nullptr, f24b_ = nullptr;
    HFONT title16b_ = nullptr, version12b_ = nullptr, arial12_ = nullptr;

    UniqueBitmap background_ = LoadPngPicture(kPictureMainBackground);
    UniqueBitmap closeStrip_ = LoadPngPicture(kPictureCloseButton);
    UniqueBitmap backStrip_ = LoadPngPicture(kPictureBackButton);
    UniqueBitmap nextStrip_ = LoadPngPicture(kPictureNextButton);
    UniqueBitmap browseStrip_ = LoadPngPicture(kPictureBrowseButton);
    UniqueBitmap pictures_[5] = {LoadPngPicture(kPicturePhoneDownload), LoadPngPicture(kPicturePhoneUpgrade),
                                 LoadPngPicture(kPictureSuccessFace), LoadPngPicture(kPictureLogoBadge),
                                 UniqueBitmap()};

    std::vector<std::unique_ptr<WindowBase>> windows_; // destroyed children first, hosts last
    GalleryHost* frame_ = nullptr;
    GalleryHost* main_ = nullptr;
    CThemedShadowWnd shadow_;
    CThemedLabelCtrl* workerLabel_ = nullptr;

public:
    HWND Frame() const { return frame_ ? frame_->Handle() : nullptr; }
    CThemedLabelCtrl* WorkerLabel() const { return workerLabel_; }
    ~Gallery() {
        shadow_.Destroy();
        // Children before their hosts: the vector holds hosts before the controls made in them.
        while (!windows_.empty())
            windows_.pop_back();
    }
};

GalleryHost& Gallery::AddHost(HWND parent, const RECT& rect, int id, GalleryHost::Look look, COLORREF colour,
                              HBITMAP picture, DWORD style, const wchar_t* title) {
    auto host = std::make_unique<GalleryHost>(look, colour, picture);
    host->Create(parent, rect, title, style, 0, static_cast<UINT_PTR>(id));
    GalleryHost& result = *host;
    windows_.push_back(std::move(host));
    return result;
}

CThemedLabelCtrl& Gallery::AddLabel(HWND parent, const RECT& rect, int id, HFONT font, COLORREF colour,
                                    UINT format, const wchar_t* text, DWORD extraStyle) {
    auto label = std::make_unique<CThemedLabelCtrl>();
    label->Create(parent, rect, L"", WS_CHILD | WS_VISIBLE | extraStyle, 0, static_cast<UINT_PTR>(id));
    SendMessageW(label->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    label->textFormat = format;
    SetLabelColour(*label, colour);
    label->SetText(text);
    CThemedLabelCtrl& result = *label;
    windows_.push_back(std::move(label));
    return result;
}

CStripeProgress& Gallery::AddBar(HWND parent, const RECT& rect, int id, int track, int fill,
                                 const BarSkin& skin, int percent) {
    auto bar = std::make_unique<CStripeProgress>();
    bar->trackImage.Load(track);
    bar->fillImage.Load(fill);
    bar->stripeImage.Load(fill);
    bar->backgroundSource = parent;
    bar->Create(parent, rect, L"", WS_CHILD | WS_VISIBLE, 0, static_cast<UINT_PTR>(id));
    bar->skin = skin;
    bar->SetPercent(percent);
    CStripeProgress& result = *bar;
    windows_.push_back(std::move(bar));
    return result;
}

CCustomButton& Gallery::AddButton(GalleryHost& host, const RECT& rect, int id, const wchar_t* caption,
                                  HBITMAP strip, HFONT font, bool textColours, int state) {
    auto button = std::make_unique<CCustomButton>();
    button->Create(host.Handle(), rect, caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0,
                   static_cast<UINT_PTR>(id));
    button->backgroundSource = host.Handle();
    button->strip = strip;
    button->margins = Margins{1, 1, 1, 1};
    button->frameCount = 3;
    button->frameNormal = 0;
    button->frameHover = 1;
    button->framePressed = 2;
    button->frameDisabled = 2;
    if (textColours) {
        button->textColourNormal = kCaptionNormal;
        button->textColourPressed = kCaptionActive;
        button->textColourHover = kCaptionActive;
    }
    if (font)
        SendMessageW(button->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    switch (state) {
    case kStateHover:
        host.forcedHover.insert(button->Handle());
        break;
    case kStatePressed:
        SendMessageW(button->Handle(), BM_SETSTATE, TRUE, 0);
        break;
    case kStateDisabled:
        EnableWindow(button->Handle(), FALSE);
        break;
    default:
        break;
    }
    InvalidateRect(button->Handle(), nullptr, TRUE);
    CCustomButton& result = *button;
    windows_.push_back(std::move(button));
    return result;
}

CThemedImageCtrl& Gallery::AddImage(HWND parent, int x, int y, int id, HBITMAP picture) {
    auto image = std::make_unique<CThemedImageCtrl>();
    image->Create(parent, RECT{x, y, x + 1, y + 1}, L"", WS_CHILD | WS_VISIBLE, 0, static_cast<UINT_PTR>(id));
    ShowPictureIn(*image, picture);
    CThemedImageCtrl& result = *image;
    windows_.push_back(std::move(image));
    return result;
}

CBitmapEdit& Gallery::AddPathBox(HWND parent, int x, int y, int id, const wchar_t* text) {
    auto box = std::make_unique<CBitmapEdit>();
    box->backgroundSource = parent;
    box->editId = static_cast<UINT>(id + kPathEditOffset);
    box->Create(parent, RECT{x, y, x + 1, y + 1}, L"", WS_CHILD | WS_VISIBLE, 0, static_cast<UINT_PTR>(id));
    box->SetPictures(LoadPngBitmap(kPicturePathBox), LoadPngBitmap(kPicturePathBoxFocused));
    SetClientSize(box->Handle(), 345, 30, true);
    SendMessageW(box->Edit(), WM_SETFONT, reinterpret_cast<WPARAM>(f14_), TRUE);
    box->textColour = RGB(0, 0, 0);
    box->textMargins = Margins{5, 6, 5, 6};
    SetWindowTextW(box->Edit(), text);
    CBitmapEdit& result = *box;
    windows_.push_back(std::move(box));
    return result;
}

void Gallery::BuildMainWindow() {
    const DWORD style = WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    main_ =
        &AddHost(frame_->Handle(), RECT{kMainLeft, kMainTop, kMainLeft + kMainWidth, kMainTop + kMainHeight},
                 0, GalleryHost::Look::Picture, 0, background_.Get(), style, kMainTitle);
    HWND main = main_->Handle();
    shadow_.CreateFor(main);
    shadow_.shadowSize = 15;
    shadow_.inset = 5;
    shadow_.placementMode = 4;

    AddImage(main, 17, 12, 2021, pictures_[3].Get());
    AddLabel(main, RECT{60, 24, 500, 40}, 1006, title16b_, RGB(0xFF, 0, 0), kLeftFormat, L"Zemo手机升级助手");
    AddLabel(main, RECT{60, 42, 500, 55}, 1006, version12b_, RGB(0, 0, 0), kLeftFormat, L"V2.6_160226");
    AddButton(*main_, RECT{418, 0, 478, 60}, kCloseHover, L"", closeStrip_.Get(), nullptr, false,
              kStateHover);
    AddButton(*main_, RECT{478, 0, 538, 60}, kClosePressed, L"", closeStrip_.Get(), nullptr, false,
              kStatePressed);
    AddButton(*main_, RECT{538, 0, 598, 60}, kCloseDisabled, L"", closeStrip_.Get(), nullptr, false,
              kStateDisabled);
    AddButton(*main_, RECT{658, 0, 718, 60}, 2, L"", closeStrip_.Get(), nullptr, false, kStateNormal);

    GalleryHost& steps =
        AddHost(main, RECT{2, 60, 718, 103}, kStepIndicator, GalleryHost::Look::Colour, kWhite);
    AddLabel(steps.Handle(), RECT{23, 20, 100, 40}, 2022, arial12_, RGB(0, 0x64, 0x64), kLeftFormat,
             L"选择ROM");
    AddLabel(steps.Handle(), RECT{330, 20, 540, 40}, 2024, arial12_, RGB(0, 0x64, 0), kLeftFormat, L"升级");
    AddLabel(steps.Handle(), RECT{670, 20, 720, 40}, 2025, arial12_, RGB(0, 0, 0), kLeftFormat, L"完成");
    AddBar(steps.Handle(), RECT{20, 40, 698, 43}, 2004, kPictureStepTrack, kPictureStepFill, kStepBarSkin, 8);

    // The page container shows the left end of its wide content, as the main window does.
    auto container = std::make_unique<CDocumentView>(
        [] { return std::make_unique<GalleryHost>(GalleryHost::Look::MenuColour, 0, nullptr); });
    container->contentRect = RECT{0, 0, 2880, 334};
    container->Create(main, RECT{2, 104, 718, 438}, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                      WS_EX_WINDOWEDGE, kPageArea);
    GalleryHost& page = *container->ContentAs<GalleryHost>();
    windows_.push_back(std::move(container));
    HWND p = page.Handle();
    AddImage(p, 80, 60, 2014, pictures_[0].Get());
    AddLabel(p, RECT{270, 48, 720, 140}, 1008, f24b_, RGB(0xFF, 0, 0), kLeftFormat,
             L"Zemo社区，升级一步到位");
    AddLabel(p, RECT{270, 92, 720, 400}, 1010, f14_, RGB(0, 0, 0), kLeftFormat,
             L"ZEMO社区，进入对应机型板块，置顶帖包含ROM包");
    AddLabel(p, RECT{270, 111, 720, 400}, 1009, f14_, RGB(0, 0, 0), kLeftFormat, L"社区链接：");
    CThemedLabelCtrl& link = AddLabel(p, RECT{480, 111, 650, 130}, 1011, f14u_, RGB(0, 0, 0xFF), kLeftFormat,
                                      L"点此进入Zemo官方社区 >>", SS_NOTIFY);
    link.SetLink(true, L"https://bbs.zemo.example/");
    AddLabel(p, RECT{270, 175, 720, 240}, 1006, f24b_, RGB(0xC4, 0x50, 0x33), kLeftFormat, L"请选择ROM");
    AddPathBox(p, 270, 219, 2002, L"");
    AddButton(page, RECT{614, 219, 660, 249}, 2011, L"浏览", browseStrip_.Get(), f14_, true, kStateNormal);
    AddLabel(p, RECT{270, 300, 550, 400}, 1012, f16_, RGB(0, 0, 0), kLeftFormat,
             L"选择完ROM包之后，需要对升级包进行校验");

    AddButton(*main_, RECT{30, 450, 170, 492}, kBackHover, L"上一步", backStrip_.Get(), nullptr, true,
              kStateHover);
    AddButton(*main_, RECT{190, 450, 330, 492}, kNextDisabled, L"ROM包校验", nextStrip_.Get(), nullptr, true,
              kStateDisabled);
    AddButton(*main_, RECT{350, 450, 490, 492}, 1003, L"上一步", backStrip_.Get(), nullptr, true,
              kStateNormal);
    AddButton(*main_, RECT{530, 450, 670, 492}, 1004, L"ROM包校验", nextStrip_.Get(), nullptr, true,
              kStateNormal);
}

void Gallery::BuildPanels() {
    HWND frame = frame_->Handle();
    using Look = GalleryHost::Look;

    GalleryHost& bars = AddHost(frame, RECT{800, 20, 1240, 320}, kPanelBars, Look::MenuColour);
    for (int i = 0; i < 6; ++i) {
        const int y = 20 + 45 * i;
        AddBar(bars.Handle(), RECT{20, y, 410, y + 23}, kBarFirst + i, kPictureBarTrack, kPictureBarFill,
               kStatusBarSkin, kBarPercents[i]);
        AddLabel(bars.Handle(), RECT{20, y - 16, 410, y}, 0, f12_, RGB(0, 0, 0), kRightFormat,
                 (std::to_wstring(kBarPercents[i]) + L"%").c_str());
    }

    GalleryHost& steps = AddHost(frame, RECT{800, 340, 1520, 500}, kPanelStepBars, Look::Colour, kWhite);
    for (int i = 0; i < 4; ++i) {
        const int y = 30 + 35 * i;
        AddLabel(steps.Handle(), RECT{20, y - 18, 698, y - 2}, 0, arial12_, RGB(0, 0x64, 0x64), kLeftFormat,
                 (std::to_wstring(kStepBarPercents[i]) + L"%").c_str());
        AddBar(steps.Handle(), RECT{20, y, 698, y + 3}, kStepBarFirst + i, kPictureStepTrack,
               kPictureStepFill, kStepBarSkin, kStepBarPercents[i]);
    }

    GalleryHost& buttons = AddHost(frame, RECT{1260, 20, 1900, 320}, kPanelButtons, Look::MenuColour);
    for (int state = 0; state < 4; ++state) {
        const int x = 20 + 150 * state;
        AddButton(buttons, RECT{x, 20, x + 140, 62}, kButtonFirst + state, L"上一步", backStrip_.Get(),
                  nullptr, true, state);
        AddButton(buttons, RECT{x, 75, x + 140, 117}, kButtonFirst + 10 + state, L"ROM包校验",
                  nextStrip_.Get(), nullptr, true, state);
        AddButton(buttons, RECT{x, 130, x + 46, 160}, kButtonFirst + 20 + state, L"浏览", browseStrip_.Get(),
                  f14_, true, state);
        AddButton(buttons, RECT{x, 170, x + 60, 230}, kButtonFirst + 30 + state, L"", closeStrip_.Get(),
                  nullptr, false, state);
    }
    AddButton(buttons, RECT{20, 245, 160, 287}, kLiveButton, L"指针", backStrip_.Get(), nullptr, true,
              kStateNormal);

    GalleryHost& labels = AddHost(frame, RECT{800, 520, 1340, 800}, kPanelLabels, Look::MenuColour);
    HWND l = labels.Handle();
    AddLabel(l, RECT{20, 20, 220, 40}, kLabelEllipsis, f14_, RGB(0, 0, 0), kLeftFormat,
             L"这一行文字太长，放不下时应当以省略号结束，后面的字都看不见");
    AddLabel(l, RECT{20, 50, 300, 100}, kLabelTwoLines, f14_, RGB(0, 0, 0), kLeftFormat,
             L"第一行文字\n第二行文字");
    AddLabel(l, RECT{20, 110, 300, 130}, kLabelRight, f12_, RGB(0, 0, 0), kRightFormat, L"37%");
    CThemedLabelCtrl& link = AddLabel(l, RECT{20, 140, 300, 160}, kLabelLink, f12u_, RGB(0, 0, 0xFF),
                                      kLeftFormat, L"点此查询如何连接你的手机 >>", SS_NOTIFY);
    link.SetLink(true, L"https://bbs.zemo.example/");
    workerLabel_ = &AddLabel(l, RECT{20, 170, 520, 190}, kLabelWorker, f12_, RGB(0x64, 0x64, 0x64),
                             kLeftFormat, L"等待数据校验...");
    AddLabel(l, RECT{20, 200, 520, 240}, kLabelSlogan, f24b_, RGB(0xC4, 0x50, 0x33), kLeftFormat,
             L"数据校验");

    GalleryHost& images = AddHost(frame, RECT{1360, 520, 1900, 800}, kPanelImages, Look::MenuColour);
    AddImage(images.Handle(), 20, 20, kImageFirst, pictures_[0].Get());
    AddImage(images.Handle(), 150, 20, kImageFirst + 1, pictures_[1].Get());
    AddImage(images.Handle(), 280, 20, kImageFirst + 2, pictures_[2].Get());
    AddImage(images.Handle(), 410, 20, kImageFirst + 3, pictures_[3].Get());
    AddImage(images.Handle(), 460, 20, kImageFirst + 4, nullptr);

    GalleryHost& boxes = AddHost(frame, RECT{800, 820, 1520, 1000}, kPanelPathBoxes, Look::MenuColour);
    AddPathBox(boxes.Handle(), 20, 20, kPathBoxText, L"D:\\ROM\\Zemo_Z1_V2.6_160226_full_package.rzb");
    CBitmapEdit& focused = AddPathBox(boxes.Handle(), 20, 70, kPathBoxFocused, L"C:\\升级包\\焦点.rzb");
    AddPathBox(boxes.Handle(), 20, 120, kPathBoxEmpty, L"");
    AddButton(boxes, RECT{364, 20, 410, 50}, kPathBoxBrowse, L"浏览", browseStrip_.Get(), f14_, true,
              kStateNormal);
    SetFocus(focused.Edit());

    GalleryHost& white = AddHost(frame, RECT{1540, 820, 1900, 1000}, kPanelWhite, Look::Colour, kWhite);
    AddImage(white.Handle(), 20, 20, kWhiteImageFirst, pictures_[2].Get());
    AddImage(white.Handle(), 160, 20, kWhiteImageFirst + 1, pictures_[3].Get());
}

bool Gallery::Create() {
    f12_ = fonts_.emplace_back(MakeFont(12, 6, 400, false)).Get();
    f12u_ = fonts_.emplace_back(MakeFont(12, 6, 400, true)).Get();
    f14_ = fonts_.emplace_back(MakeFont(14, 7, 400, false)).Get();
    f14u_ = fonts_.emplace_back(MakeFont(14, 7, 400, true)).Get();
    f16_ = fonts_.emplace_back(MakeFont(16, 8, 400, false)).Get();
    f24b_ = fonts_.emplace_back(MakeFont(24, 12, 700, false)).Get();
    title16b_ = fonts_.emplace_back(MakeFont(16, 8, 700, false)).Get();
    version12b_ = fonts_.emplace_back(MakeFont(12, 6, 700, false)).Get();
    arial12_ = fonts_.emplace_back(MakeFont(12, 6, 400, false, L"Arial")).Get();

    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    frame_ = &AddHost(nullptr, screen, 0, GalleryHost::Look::Colour, kFrameColour, nullptr,
                      WS_POPUP | WS_CLIPCHILDREN, kFrameTitle);
    if (!frame_->Handle())
        return false;
    frame_->quitOnDestroy = true;
    BuildPanels();
    BuildMainWindow();
    ShowWindow(frame_->Handle(), SW_SHOW);
    ShowWindow(main_->Handle(), SW_SHOW);
    UpdateWindow(main_->Handle());
    return true;
}

} // namespace

} // namespace tarnvel::gallery

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace tarnvel::gallery;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    tarnvel::EnsureGdiplusStarted();

    int exitCode = 1;
    {
        Gallery gallery;
        if (gallery.Create()) {
            // A worker thread replaces a label's text many times while the window paints it.
            std::thread worker([label = gallery.WorkerLabel()] {
                for (int i = 0; i < 2000; ++i)
                    label->SetText(i % 2 ? L"后台线程正在改写这一行文字……" : L"短文字");
                label->SetText(L"后台线程最后写入的文字");
            });
            worker.join();
            PostMessageW(gallery.Frame(), kReadyMessage, 0, 0);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                if (msg.message == kReadyMessage) {
                    // Everything is painted once the queue has emptied after creation.
                    SetWindowTextW(gallery.Frame(), kReadyTitle);
                    continue;
                }
                if (!IsDialogMessageW(gallery.Frame(), &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            exitCode = static_cast<int>(msg.wParam);
        }
    }
    return exitCode;
}
