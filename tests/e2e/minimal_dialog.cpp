// The idle benchmark's yardstick: the least a Win32 dialog can be (a template in memory, a text
// and an OK button, the system's own dialog loop). What it uses while nobody touches it is Wine's
// own floor, measured beside the assistant in the same run.
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

constexpr wchar_t kTitle[] = L"tarnvel idle yardstick";

// Appends a zero-terminated UTF-16 string, as a dialog template stores it.
void AppendText(std::vector<WORD>& out, const wchar_t* text) {
    do
        out.push_back(static_cast<WORD>(*text));
    while (*text++ != L'\0');
}

void AlignToDword(std::vector<WORD>& out) {
    if (out.size() % 2 != 0)
        out.push_back(0);
}

void AppendItem(std::vector<WORD>& out, DWORD style, short x, short y, short cx, short cy, WORD id,
                WORD atom, const wchar_t* text) {
    AlignToDword(out);
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    const std::size_t at = out.size();
    out.resize(at + sizeof(item) / sizeof(WORD));
    std::memcpy(&out[at], &item, sizeof(item));
    out.push_back(0xFFFF); // the class by its predefined atom
    out.push_back(atom);
    AppendText(out, text);
    out.push_back(0); // no creation data
}

std::vector<WORD> DialogTemplate() {
    std::vector<WORD> out;
    DLGTEMPLATE dialog{};
    dialog.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    dialog.cdit = 2;
    dialog.cx = 160;
    dialog.cy = 60;
    out.resize(sizeof(dialog) / sizeof(WORD));
    std::memcpy(out.data(), &dialog, sizeof(dialog));
    out.push_back(0); // no menu
    out.push_back(0); // the standard dialog class
    AppendText(out, kTitle);
    out.push_back(9); // point size of the font
    AppendText(out, L"MS Shell Dlg");
    AppendItem(out, SS_LEFT, 8, 8, 144, 12, 0xFFFF, 0x0082, L"Idle.");
    AppendItem(out, BS_DEFPUSHBUTTON | WS_TABSTOP, 56, 36, 48, 14, IDOK, 0x0080, L"OK");
    return out;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const std::vector<WORD> dialog = DialogTemplate();
    return static_cast<int>(DialogBoxIndirectParamW(instance, reinterpret_cast<const DLGTEMPLATE*>(dialog.data()),
                                                    nullptr, &DialogProc, 0));
}
