#include "controls/skinned_control.h"

#include "controls/drawing.h"
#include "controls/paint_helpers.h"

#include <oleacc.h>

#include <algorithm>
#include <memory>

namespace tarnvel {

namespace {

struct ComRelease {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};

// The standard object of a control with another role: oleacc has no proxy for some classes (a
// link's, for one), so their role is told over the proxy of the class they are built on.
class RoleOverride final : public IAccessible {
public:
    RoleOverride(IAccessible* inner, long role) noexcept : inner_(inner), role_(role) { inner_->AddRef(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        // The proxy's other faces (its window, its children's enumeration) serve as they are.
        return inner_->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role)
            return E_INVALIDARG;
        if (child.vt != VT_I4 || child.lVal != CHILDID_SELF)
            return inner_->get_accRole(child, role);
        VariantInit(role);
        role->vt = VT_I4;
        role->lVal = role_;
        return S_OK;
    }

    // Everything else is the proxy's.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return inner_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
        return inner_->Invoke(id, iid, locale, flags, params, result, exception, argument);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return inner_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        return inner_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return inner_->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return inner_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return inner_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return inner_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return inner_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return inner_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return inner_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return inner_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return inner_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return inner_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return inner_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        return inner_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return inner_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return inner_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return inner_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return inner_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return inner_->put_accValue(child, value);
    }

private:
    ~RoleOverride() { inner_->Release(); }

    IAccessible* inner_; // one reference, ours
    long role_;
    LONG references_ = 1;
};

} // namespace

SkinnedControl::~SkinnedControl() {
    Destroy();
}

LRESULT SkinnedControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOVE:
    case WM_SIZE:
        NoteMoveOrSize(lParam);
        return 1;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintOrPrint(Handle(), message, wParam, [this](HDC dc, const RECT&) { Paint(dc); });
        return 0;
    case WM_GETOBJECT:
        return AnswerGetObject(wParam, lParam);
    case WM_SETTEXT: {
        // Here the window text is only the name: the platform Static would draw it at once itself.
        const LRESULT stored = DefWindowProcW(Handle(), message, wParam, lParam);
        if (stored)
            NotifyChange(EVENT_OBJECT_NAMECHANGE);
        return stored;
    }
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

void SkinnedControl::Paint(HDC) {}

const wchar_t* SkinnedControl::AccessibleClass() const {
    return nullptr;
}

long SkinnedControl::AccessibleRole() const {
    return 0;
}

void SkinnedControl::DropBackground() {
    backgroundBrush_.Reset();
}

void SkinnedControl::NoteMoveOrSize(LPARAM lParam) {
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(lastMoveOrSize_)) {
        lastMoveOrSize_ = lParam;
        DropBackground();
    }
}

void SkinnedControl::FillBackground(HDC dc, const RECT& rect) {
    if (!backgroundBrush_)
        backgroundBrush_.Reset(CaptureBackgroundBrush(Handle(), backgroundSource));
    if (backgroundBrush_)
        FillRect(dc, &rect, backgroundBrush_.Get());
}

void SkinnedControl::NoteUiState(WPARAM wParam) noexcept {
    if ((HIWORD(wParam) & UISF_HIDEFOCUS) == 0)
        return;
    if (LOWORD(wParam) == UIS_SET)
        focusCuesHidden_ = true;
    else if (LOWORD(wParam) == UIS_CLEAR)
        focusCuesHidden_ = false;
}

bool SkinnedControl::ShowsFocusCue() const {
    const HWND hwnd = Handle();
    return hwnd && GetFocus() == hwnd && !focusCuesHidden_;
}

LRESULT SkinnedControl::AnswerGetObject(WPARAM wParam, LPARAM lParam) {
    // The object id travels in the low 32 bits only.
    const wchar_t* className = AccessibleClass();
    if (!className || static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT))
        return DefaultProc(WM_GETOBJECT, wParam, lParam);
    void* created = nullptr;
    if (FAILED(
            CreateStdAccessibleProxyW(Handle(), className, OBJID_CLIENT, __uuidof(IAccessible), &created)) ||
        !created)
        return 0;
    std::unique_ptr<IAccessible, ComRelease> accessible(static_cast<IAccessible*>(created));
    if (const long role = AccessibleRole())
        accessible.reset(new RoleOverride(accessible.get(), role));
    // LresultFromObject takes its own reference; ours goes at the end of the scope.
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, accessible.get());
    return result;
}

void SkinnedControl::NotifyChange(DWORD event) const {
    if (HWND hwnd = Handle())
        NotifyWinEvent(event, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

LRESULT SkinnedControl::AnswerTextQuery(std::wstring_view text, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH)
        return static_cast<LRESULT>(text.size());
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    if (!buffer || wParam == 0)
        return 0;
    const size_t copied = std::min(text.size(), static_cast<size_t>(wParam) - 1);
    std::copy_n(text.data(), copied, buffer);
    buffer[copied] = L'\0';
    return static_cast<LRESULT>(copied);
}

} // namespace tarnvel
