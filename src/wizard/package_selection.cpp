// Package selection: the open-file dialog, the path box and the ROM version line.
#include "wizard/download_view.h"

#include "download/package_header.h"
#include "wizard/wizard_texts.h"

#include <commdlg.h>

namespace tarnvel {

namespace {

// The hook makes the dialog the Explorer-style one of the platform's own, whatever the system
// offers otherwise; it handles no message itself.
UINT_PTR CALLBACK OpenDialogHook(HWND, UINT, WPARAM, LPARAM) noexcept {
    return 0;
}

constexpr DWORD kOpenFlags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_EXPLORER | OFN_ENABLESIZING; // 0x880024

} // namespace

LRESULT CTarnvelAssistantDownloadView::OnBrowsePackage() {
    wchar_t file[256] = {};
    wchar_t title[256] = {};
    OPENFILENAMEW params{};
    // Every system the program runs on is past version 4.90, so the full structure is the one to give.
    params.lStructSize = sizeof(params);
    params.hwndOwner = GetActiveWindow();
    params.hInstance = GetModuleHandleW(nullptr);
    params.lpstrFilter = texts::kPackageFilter;
    params.nFilterIndex = 0;
    params.lpstrFile = file;
    params.nMaxFile = 255;
    params.lpstrFileTitle = title;
    params.nMaxFileTitle = 256;
    params.Flags = kOpenFlags;
    params.lpstrDefExt = texts::kPackageExtension;
    params.lpfnHook = &OpenDialogHook;
    if (!GetOpenFileNameW(&params))
        return 0; // cancelled, too long a name, or no dialog: nothing changes

    TakePackage(file);
    return 0;
}

void CTarnvelAssistantDownloadView::TakePackage(const std::wstring& path) {
    SetWindowTextW(pathBox_.Edit(), path.c_str());
    std::wstring version;
    ReadPackageVersion(path, version);
    logic_.ShowRomVersion(version);
    logic_.ClearPathNotice();
}

} // namespace tarnvel
