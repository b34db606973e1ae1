#include "download/package_header.h"

#include "download/package_format.h"
#include "text/code_page.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

namespace tarnvel {

namespace {

class ScopedFile {
public:
    explicit ScopedFile(HANDLE handle) : handle_(handle) {}
    ~ScopedFile() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Reads from offset 0; true only when exactly `bytes.size()` bytes arrived.
    bool ReadFromStart(std::span<std::uint8_t> bytes) const {
        if (SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
            return false;
        std::size_t total = 0;
        while (total < bytes.size()) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(bytes.size() - total);
            if (!ReadFile(handle_, bytes.data() + total, want, &got, nullptr) || got == 0)
                return false;
            total += got;
        }
        return true;
    }

private:
    HANDLE handle_; // owned
};

// Steps shared by both readers: open the file and recognise its header.
struct OpenedPackage {
    std::unique_ptr<ScopedFile> file;
    std::uint8_t header[kPackageHeaderSize] = {};
    PackageLayout layout{};
};

bool OpenPackage(std::wstring_view path, OpenedPackage& package) {
    // An embedded NUL would make the system open a shorter name: another file.
    if (path.empty() || path.find(L'\0') != std::wstring_view::npos)
        return false;
    const std::wstring name(path);
    package.file = std::make_unique<ScopedFile>(CreateFileW(
        name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!package.file->IsOpen() || !package.file->ReadFromStart(package.header))
        return false;
    const auto layout = LayoutOfHeader(package.header);
    if (!layout)
        return false;
    package.layout = *layout;
    return true;
}

} // namespace

bool ReadPackageModel(std::wstring_view path, std::wstring& model) {
    OpenedPackage package;
    if (!OpenPackage(path, package))
        return false;
    model = WideFromThreadAnsi(PackageModelBytes(package.layout, package.header));
    return true;
}

bool ReadPackageVersion(std::wstring_view path, std::wstring& version) {
    OpenedPackage package;
    if (!OpenPackage(path, package))
        return false;
    std::vector<std::uint8_t> block;
    try {
        block.resize(package.layout.blockLength);
    } catch (const std::bad_alloc&) {
        return true;
    }
    if (!package.file->ReadFromStart(block))
        return true;
    version = WideFromThreadAnsi(PackageVersionBytes(package.layout, block));
    return true;
}

} // namespace tarnvel
