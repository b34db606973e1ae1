#include "platform/shell_open.h"

#include <windows.h>

#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <memory>

namespace tarnvel {

namespace {

struct ComRelease {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};
template <typename T> using ComPtr = std::unique_ptr<T, ComRelease>;

template <typename T> ComPtr<T> Query(IUnknown* object) {
    T* found = nullptr;
    if (object == nullptr || FAILED(object->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&found))))
        return nullptr;
    return ComPtr<T>(found);
}

// A BSTR owned for the length of one call.
struct OwnedBstr {
    explicit OwnedBstr(const std::wstring& text)
        : value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~OwnedBstr() { SysFreeString(value); }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    BSTR value;
};

// The desktop's shell, as the automation object its own folder view hands out.
ComPtr<IShellDispatch2> DesktopShell() {
    IShellWindows* rawWindows = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(&rawWindows))))
        return nullptr;
    const ComPtr<IShellWindows> windows(rawWindows);
    VARIANT empty{};
    VariantInit(&empty);
    long desktopWindow = 0;
    IDispatch* rawDesktop = nullptr;
    if (windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, &rawDesktop) !=
            S_OK ||
        rawDesktop == nullptr)
        return nullptr;
    const ComPtr<IDispatch> desktop(rawDesktop);
    const auto services = Query<IServiceProvider>(desktop.get());
    if (!services)
        return nullptr;
    IShellBrowser* rawBrowser = nullptr;
    if (FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                      reinterpret_cast<void**>(&rawBrowser))))
        return nullptr;
    const ComPtr<IShellBrowser> browser(rawBrowser);
    IShellView* rawView = nullptr;
    if (FAILED(browser->QueryActiveShellView(&rawView)) || rawView == nullptr)
        return nullptr;
    const ComPtr<IShellView> view(rawView);
    IDispatch* rawBackground = nullptr;
    if (FAILED(
            view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&rawBackground))))
        return nullptr;
    const ComPtr<IDispatch> background(rawBackground);
    const auto folderView = Query<IShellFolderViewDual>(background.get());
    if (!folderView)
        return nullptr;
    IDispatch* rawApplication = nullptr;
    if (FAILED(folderView->get_Application(&rawApplication)) || rawApplication == nullptr)
        return nullptr;
    const ComPtr<IDispatch> application(rawApplication);
    return Query<IShellDispatch2>(application.get());
}

} // namespace

bool OpenThroughDesktopShell(const std::wstring& target, const std::wstring& parameters) {
    const auto shell = DesktopShell();
    if (!shell)
        return false;
    const OwnedBstr file(target);
    const OwnedBstr arguments(parameters);
    const OwnedBstr verb(L"open");
    VARIANT args{}, folder{}, operation{}, show{};
    VariantInit(&args);
    VariantInit(&folder);
    VariantInit(&operation);
    VariantInit(&show);
    args.vt = VT_BSTR;
    args.bstrVal = arguments.value;
    operation.vt = VT_BSTR;
    operation.bstrVal = verb.value;
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    return SUCCEEDED(shell->ShellExecute(file.value, args, folder, operation, show));
}

void OpenForUser(const std::wstring& target, const std::wstring& parameters) {
    if (OpenThroughDesktopShell(target, parameters))
        return;
    ShellExecuteW(nullptr, L"open", target.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                  nullptr, SW_SHOWNORMAL);
}

} // namespace tarnvel
