// The package path's probe on the real file system.
#include "wizard/package_check.h"

#include "platform/unique_handle.h"

#include <windows.h>

namespace tarnvel {

namespace {

class SystemProbe final : public FileProbe {
public:
    FileState Probe(const std::wstring& path) const override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH)
                return FileState::Missing;
            return FileState::Unreadable;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return FileState::Folder;
        // Others may read or write it meanwhile, as the engine lets them; only a holder that shares
        // nothing, or missing rights, keep the engine from reading it.
        const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file ? FileState::Readable : FileState::Unreadable;
    }
};

} // namespace

const FileProbe& SystemFileProbe() {
    static const SystemProbe probe;
    return probe;
}

} // namespace tarnvel
