// File helpers for the download and log tests: scratch folders, whole-file reads and writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::testing {

// A new empty folder below "<executable folder>\scratch", removed again by the destructor.
class ScratchFolder {
public:
    explicit ScratchFolder(std::wstring_view tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring operator/(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }

private:
    std::wstring path_;
};

bool WriteFileBytes(const std::wstring& path, std::string_view bytes);
// The whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// Names (not paths) of the files in a folder, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& folder);
void RemoveTree(const std::wstring& path);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);

// Lines of a text file's bytes, split at each CR LF (which is dropped); a last piece without
// CR LF is a line too.
std::vector<std::string> SplitLines(const std::string& bytes);

// Text as the cell log writes it (code page 936 on every machine, from UTF-16).
std::string Cp936(std::wstring_view text);

} // namespace tarnvel::testing
