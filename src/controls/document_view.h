// CDocumentView: the page container through which the main window shows its wide content window.
// The container creates the content at its own creation and destroys it with itself; the content
// object comes from a factory the owner supplies, so the container knows nothing of what it shows.
#pragma once

#include "controls/window_base.h"

#include <functional>
#include <memory>

namespace tarnvel {

class CDocumentView final : public WindowBase {
public:
    // Makes the (not yet created) content object; called once, at the container's creation.
    using ContentFactory = std::function<std::unique_ptr<WindowBase>()>;

    // The content's styles.
    static constexpr DWORD kContentStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
    // The content holds the pages' controls: the dialog manager looks into it for tab stops.
    static constexpr DWORD kContentExStyle = WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

    explicit CDocumentView(ContentFactory factory) noexcept;
    ~CDocumentView() override;

    static const WindowClass& Class(); // a class of its own

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Where the content is created, in the container's client area; set before Create. The content's
    // children are laid out at its creation and take copies of its background, so it is made at its
    // final size.
    RECT contentRect{};

    // The content object, or null before creation or when the factory made none.
    WindowBase* Content() const noexcept { return content_.get(); }
    template <typename T> T* ContentAs() const noexcept { return static_cast<T*>(content_.get()); }

private:
    ContentFactory factory_;
    std::unique_ptr<WindowBase> content_;
};

} // namespace tarnvel
