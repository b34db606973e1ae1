#include "wizard/package_check.h"

namespace tarnvel {

PackagePathCheck CheckPackagePath(const std::wstring& path, const FileProbe& probe) {
    if (path.empty())
        return PackagePathCheck::Empty;
    return probe.Probe(path) == FileState::Readable ? PackagePathCheck::Usable : PackagePathCheck::Unusable;
}

} // namespace tarnvel
