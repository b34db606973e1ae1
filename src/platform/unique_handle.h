// One owning handle for the system's objects: it closes what it holds once, moves, and never
// copies. The traits say what "none" is and how to close; the GDI objects use it too.
#pragma once

#include <windows.h>

#include <utility>

namespace tarnvel {

template <typename Traits> class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return Traits::IsValid(handle_); }

    // Takes `handle`; the one held before is closed unless it is the same one.
    void Reset(Handle handle = Traits::Empty()) noexcept {
        if (Traits::IsValid(handle_) && handle_ != handle)
            Traits::Close(handle_);
        handle_ = handle;
    }
    [[nodiscard]] Handle Release() noexcept { return std::exchange(handle_, Traits::Empty()); }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    // CreateFile fails with INVALID_HANDLE_VALUE, most other creators with null: both hold nothing.
    static bool IsValid(Handle handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
    static void Close(Handle handle) noexcept { FreeLibrary(handle); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;

} // namespace tarnvel
