#pragma once
// A uniquely named folder below %TEMP% for one test, removed with all its contents afterwards.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

// Writes `bytes` to `path`, making the folders above it.
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// Every path below `root` with its attribute bits, in name order: what a run that must change
// nothing compares before and after.
std::vector<std::wstring> DescribeTree(const std::wstring& root);

// Text encodings used to seed settings files.
std::string Utf16Le(const std::wstring& text);
std::string Utf8(const std::wstring& text);

// Links. Under Wine, links are Unix symlinks, which no Windows call makes (its
// CreateSymbolicLinkW does nothing): the helpers run the Unix tools through Wine, which starts
// Unix programs as it starts Windows ones, and wait for them to finish.
//
// Makes `link` a symbolic link to `target`.
bool MakeLink(const std::wstring& link, const std::wstring& target);
// Makes the log folder below the stand-in Windows folder `windows` lead to `target`: "Logs"
// itself a link (`logsIsLink`), or "Logs\TallowBriskCleaner" one.
bool LinkLogFolder(const std::wstring& windows, const std::wstring& target, bool logsIsLink);
// Puts a link to `target` in the place of the file or folder at `path`, moving what was there
// to `keep`. Under Wine this also works while the program holds `path` open.
bool SwapForLink(const std::wstring& path, const std::wstring& keep, const std::wstring& target);
