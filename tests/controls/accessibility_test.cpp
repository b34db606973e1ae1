// What a screen reader gets from the skinned controls: the accessible object of each, its name,
// role and value, and the events that tell of a change; asked in this process, as oleacc asks.
// Wine's oleacc has no CreateStdAccessibleProxyW (a stub that ends the process): under Wine the
// program's delay-loaded import of it is resolved to a stand-in that notes the class asked for and
// hands out Wine's plain client object, so names go through oleacc and the roles are checked as
// classes.
#include "test_windows.h"

#include "controls/custom_button.h"
#include "controls/stripe_progress.h"
#include "controls/themed_image.h"
#include "controls/themed_label.h"

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <delayimp.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tarnvel {
namespace {

using testing::Canvas;
using testing::Pump;
using testing::PumpUntil;
using testing::TestHost;

constexpr COLORREF kHostColour = RGB(0x12, 0x34, 0x56);

struct ComRelease {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};
using AccessiblePtr = std::unique_ptr<IAccessible, ComRelease>;

AccessiblePtr ClientObjectOf(HWND hwnd) {
    void* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          &object)))
        return nullptr;
    return AccessiblePtr(static_cast<IAccessible*>(object));
}

VARIANT Self() {
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

// A BSTR property read through one of IAccessible's getters, empty when it has none.
template <typename Getter> std::wstring Text(IAccessible& object, Getter getter) {
    BSTR text = nullptr;
    const HRESULT result = (object.*getter)(Self(), &text);
    std::wstring copy = SUCCEEDED(result) && text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return copy;
}

std::wstring NameOf(IAccessible& object) {
    return Text(object, &IAccessible::get_accName);
}

long RoleOf(IAccessible& object) {
    VARIANT role{};
    if (FAILED(object.get_accRole(Self(), &role)))
        return -1;
    const long value = role.vt == VT_I4 ? role.lVal : -1;
    VariantClear(&role);
    return value;
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::vector<std::wstring> proxyClasses; // the classes the stand-in was asked for, test thread only

HRESULT WINAPI StandInProxy(HWND hwnd, LPCWSTR className, LONG objectId, REFIID riid, void** object) {
    proxyClasses.emplace_back(className ? className : L"");
    return CreateStdAccessibleObject(hwnd, objectId, riid, object);
}

// Hands the program the stand-in when it first looks oleacc's CreateStdAccessibleProxyW up: the
// program takes oleacc through a delay-load library, and the loader asks this hook first. The
// look-up happens once, so the stand-in stays for the rest of the process.
PfnDliHook previousHook = nullptr;

FARPROC WINAPI StandInOnLookUp(unsigned notification, PDelayLoadInfo info) {
    if (notification == dliNotePreGetProcAddress && info != nullptr && info->dlp.fImportByName &&
        std::strcmp(info->dlp.szProcName, "CreateStdAccessibleProxyW") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&StandInProxy));
    return previousHook ? previousHook(notification, info) : nullptr;
}

void UseTheStandInProxy() {
    if (__pfnDliNotifyHook2 == &StandInOnLookUp)
        return;
    previousHook = __pfnDliNotifyHook2;
    __pfnDliNotifyHook2 = &StandInOnLookUp;
}

// What the window shows on screen, read back from its own device context.
std::vector<COLORREF> ScreenPixels(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    Canvas canvas(client.right, client.bottom);
    HDC window = GetDC(hwnd);
    BitBlt(canvas.Dc(), 0, 0, client.right, client.bottom, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < client.right; ++x)
            pixels.push_back(canvas.At(x, y));
    return pixels;
}

// The events raised in this process while one lives, as an out-of-context hook gets them: posted
// to this thread and taken while it pumps.
class EventRecorder {
public:
    EventRecorder() {
        current_ = this;
        hook_ = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                &EventRecorder::Take, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    }
    ~EventRecorder() {
        if (hook_)
            UnhookWinEvent(hook_);
        current_ = nullptr;
    }
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    bool Hooked() const { return hook_ != nullptr; }
    int Count(DWORD event, HWND hwnd) const {
        int count = 0;
        for (const Seen& seen : seen_)
            if (seen.event == event && seen.hwnd == hwnd && seen.object == OBJID_CLIENT &&
                seen.child == CHILDID_SELF)
                ++count;
        return count;
    }

private:
    struct Seen {
        DWORD event;
        HWND hwnd;
        LONG object;
        LONG child;
    };
    static void CALLBACK Take(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
        if (current_)
            current_->seen_.push_back(Seen{event, hwnd, object, child});
    }

    static inline EventRecorder* current_ = nullptr;
    HWINEVENTHOOK hook_ = nullptr;
    std::vector<Seen> seen_;
};

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        if (UnderWine()) {
            proxyClasses.clear();
            UseTheStandInProxy();
            standIn_ = true;
        }
        host.CreatePopup(50, 50, 500, 300);
        ASSERT_TRUE(host.Handle());
        Pump();
    }
    void TearDown() override {
        host.Destroy();
        if (com_)
            CoUninitialize();
    }

    // The client object of hwnd has the name (unless null) and, as the control of class className,
    // the role.
    void ExpectObject(HWND hwnd, const wchar_t* name, long role, const wchar_t* className) {
        const AccessiblePtr object = ClientObjectOf(hwnd);
        ASSERT_TRUE(object);
        if (name) {
            EXPECT_EQ(NameOf(*object), name);
        }
        if (standIn_) {
            ASSERT_FALSE(proxyClasses.empty());
            EXPECT_EQ(proxyClasses.back(), className);
        } else {
            EXPECT_EQ(RoleOf(*object), role);
        }
    }

    TestHost host{kHostColour};
    bool standIn_ = false; // under Wine only
    bool com_ = false;
};

TEST_F(AccessibilityTest, LabelIsStaticTextNamedByWhatItShows) {
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{10, 10, 300, 30}, L"", WS_CHILD | WS_VISIBLE, 0, 1010);
    label.SetText(L"请选择ROM");
    EXPECT_EQ(GetWindowTextLengthW(label.Handle()), 6);
    wchar_t cut[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(GetWindowTextW(label.Handle(), cut, 4), 3); // what fits, with its terminator
    EXPECT_EQ(std::wstring(cut), L"请选择");

    ExpectObject(label.Handle(), L"请选择ROM", ROLE_SYSTEM_STATICTEXT, WC_STATICW);
}

TEST_F(AccessibilityTest, LinkIsALinkNamedByItsText) {
    CThemedLabelCtrl link;
    link.Create(host.Handle(), RECT{10, 40, 300, 60}, L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 1011);
    link.SetText(L"点此进入Zemo官方社区 >>");
    link.SetLink(true, L"http://bbs.zemo.example/forum.php");

    // oleacc has no proxy for SysLink: the link tells its role over the static text's proxy, also here.
    ExpectObject(link.Handle(), L"点此进入Zemo官方社区 >>", ROLE_SYSTEM_LINK, WC_STATICW);
    const AccessiblePtr object = ClientObjectOf(link.Handle());
    ASSERT_TRUE(object);
    EXPECT_EQ(RoleOf(*object), ROLE_SYSTEM_LINK);
    link.SetLink(false, L"");
    const AccessiblePtr plain = ClientObjectOf(link.Handle());
    ASSERT_TRUE(plain);
    EXPECT_NE(RoleOf(*plain), ROLE_SYSTEM_LINK);
}

TEST_F(AccessibilityTest, PictureButtonIsAPushButtonNamedByItsCaptionThatItDoesNotDraw) {
    CCustomButton close;
    close.captionShown = false;
    close.Create(host.Handle(), RECT{400, 0, 460, 60}, L"关闭", WS_CHILD | WS_VISIBLE, 0, 1001);
    close.backgroundSource = host.Handle();

    ExpectObject(close.Handle(), L"关闭", ROLE_SYSTEM_PUSHBUTTON, WC_BUTTONW);
    // Without a strip only the caption could cover the background.
    const auto printed = testing::PrintClient(close.Handle());
    for (const COLORREF pixel : printed.pixels)
        ASSERT_EQ(pixel, kHostColour);
}

TEST_F(AccessibilityTest, PictureIsNamedByItsDescriptionWhichChangesNoPixel) {
    CThemedImageCtrl picture;
    picture.Create(host.Handle(), RECT{10, 70, 130, 190}, L"手机下载图示", WS_CHILD | WS_VISIBLE, 0, 1003);
    UpdateWindow(host.Handle());
    Pump();
    ExpectObject(picture.Handle(), L"手机下载图示", ROLE_SYSTEM_STATICTEXT, WC_STATICW);
    const AccessiblePtr object = ClientObjectOf(picture.Handle());
    ASSERT_TRUE(object);

    const std::vector<COLORREF> before = ScreenPixels(picture.Handle());
    SetWindowTextW(picture.Handle(), L"升级结果图示");
    EXPECT_EQ(NameOf(*object), L"升级结果图示");
    EXPECT_EQ(ScreenPixels(picture.Handle()), before);
}

TEST_F(AccessibilityTest, BarIsAProgressBarFromZeroToAHundred) {
    CStripeProgress bar;
    bar.backgroundSource = host.Handle();
    bar.Create(host.Handle(), RECT{10, 200, 400, 223}, L"", WS_CHILD | WS_VISIBLE, 0, 2003);
    bar.SetPercent(42);
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0), 42);
    PBRANGE range{-1, -1};
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETRANGE, FALSE, 0), 100);
    bar.SetPercent(130); // fills the bar
    EXPECT_EQ(SendMessageW(bar.Handle(), PBM_GETPOS, 0, 0), 100);

    bar.SetPercent(42);
    ExpectObject(bar.Handle(), nullptr, ROLE_SYSTEM_PROGRESSBAR, PROGRESS_CLASSW); // named by a label, if any
    // The progress bar's proxy reads its value with PBM_GETPOS and PBM_GETRANGE; Wine's plain client
    // object has none.
    if (!standIn_) {
        const AccessiblePtr object = ClientObjectOf(bar.Handle());
        ASSERT_TRUE(object);
        EXPECT_NE(Text(*object, &IAccessible::get_accValue).find(L"42"), std::wstring::npos);
    }
}

TEST_F(AccessibilityTest, NewTextRaisesANameChangeAndNewPercentAValueChange) {
    CThemedLabelCtrl label;
    label.Create(host.Handle(), RECT{10, 10, 300, 30}, L"", WS_CHILD | WS_VISIBLE, 0, 1010);
    label.SetText(L"正在准备数据...");
    CStripeProgress bar;
    bar.backgroundSource = host.Handle();
    bar.Create(host.Handle(), RECT{10, 200, 400, 223}, L"", WS_CHILD | WS_VISIBLE, 0, 2003);
    bar.SetPercent(0);

    EventRecorder events;
    ASSERT_TRUE(events.Hooked());
    label.SetText(L"正在准备数据...");
    bar.SetPercent(0);
    label.SetText(L"数据准备完毕");
    bar.SetPercent(100);
    EXPECT_TRUE(PumpUntil([&] {
        return events.Count(EVENT_OBJECT_NAMECHANGE, label.Handle()) > 0 &&
               events.Count(EVENT_OBJECT_VALUECHANGE, bar.Handle()) > 0;
    }));
    Pump();
    // The same text or percent again is no change.
    EXPECT_EQ(events.Count(EVENT_OBJECT_NAMECHANGE, label.Handle()), 1);
    EXPECT_EQ(events.Count(EVENT_OBJECT_VALUECHANGE, bar.Handle()), 1);
}

} // namespace
} // namespace tarnvel
