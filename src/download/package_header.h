// Reads the model name and the version text out of an RZB package's first bytes.
#pragma once

#include <string>
#include <string_view>

namespace tarnvel {

// True when the file is a package; `model` then receives its model name.
bool ReadPackageModel(std::wstring_view path, std::wstring& model);

// True when the file is a package; `version` receives its version text when the version block
// could be read, and is left unchanged otherwise.
bool ReadPackageVersion(std::wstring_view path, std::wstring& version);

} // namespace tarnvel
