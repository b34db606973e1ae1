#include "download/package_header.h"

#include "download/package_format.h"
#include "platform/unique_handle.h"
#include "text/code_page.h"

#include <windows.h>

#include <cstdint>
#include <new>
#include <span>
#include <vector>

namespace tarnvel {

namespace {

// Reads from offset 0; true only when exactly `bytes.size()` bytes arrived.
bool ReadFromStart(HANDLE file, std::span<std::uint8_t> bytes) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    std::size_t total = 0;
    while (total < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(bytes.size() - total);
        if (!ReadFile(file, bytes.data() + total, want, &got, nullptr) || got == 0)
            return false;
        total += got;
    }
    return true;
}

// Steps shared by both readers: open the file and recognise its header.
struct OpenedPackage {
    UniqueHandle file;
    std::uint8_t header[kPackageHeaderSize] = {};
    PackageLayout layout{};
};

bool OpenPackage(std::wstring_view path, OpenedPackage& package) {
    // An embedded NUL would make the system open a shorter name: another file.
    if (path.empty() || path.find(L'\0') != std::wstring_view::npos)
        return false;
    const std::wstring name(path);
    package.file.Reset(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!package.file || !ReadFromStart(package.file.Get(), package.header))
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
    model = WideFromCodePage936(PackageModelBytes(package.layout, package.header));
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
    if (!ReadFromStart(package.file.Get(), block))
        return true;
    version = WideFromCodePage936(PackageVersionBytes(package.layout, block));
    return true;
}

} // namespace tarnvel
