// Whether the path in the path box names a package the engine can read, decided before anything
// starts. The file system is behind FileProbe, so that the flow's decision is tested without it.
#pragma once

#include <string>

namespace tarnvel {

enum class FileState { Readable, Missing, Folder, Unreadable };

class FileProbe {
public:
    virtual FileState Probe(const std::wstring& path) const = 0;

protected:
    ~FileProbe() = default;
};

enum class PackagePathCheck { Empty, Unusable, Usable };

PackagePathCheck CheckPackagePath(const std::wstring& path, const FileProbe& probe);

// The real file system (package_probe.cpp, in the window library).
const FileProbe& SystemFileProbe();

} // namespace tarnvel
