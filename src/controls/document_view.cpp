#include "controls/document_view.h"

#include "controls/paint_helpers.h"

namespace tarnvel {

CDocumentView::CDocumentView(ContentFactory factory) noexcept
    : WindowBase(&CDocumentView::Class), factory_(std::move(factory)) {}

CDocumentView::~CDocumentView() {
    // The content's window goes with the container's; the content object after it.
    Destroy();
    content_.reset();
}

const WindowClass& CDocumentView::Class() {
    static const WindowClass cls = RegisterOwnClass(
        L"CDocumentView", CS_DBLCLKS, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)),
        LoadCursorW(nullptr, IDC_ARROW));
    return cls;
}

LRESULT CDocumentView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        if (factory_ && !content_) {
            content_ = factory_();
            if (content_)
                content_->Create(Handle(), contentRect, L"", kContentStyle, kContentExStyle, 0);
        }
        return 1;
    }
    LRESULT result = 0;
    if (ReflectNotification(Handle(), message, wParam, lParam, result))
        return result;
    return DefaultProc(message, wParam, lParam);
}

} // namespace tarnvel
