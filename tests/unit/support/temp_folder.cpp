#include "tests/unit/support/temp_folder.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>

#include "files/folder_removal.h"

namespace fs = std::filesystem;

namespace {
bool RunUnixShell(std::string script);
std::string QuotedUnixPath(const std::wstring& path);

// The program's own folder removal copes with read-only files and paths beyond MAX_PATH, but
// under Wine it leaves links (Unix symlinks) in place, and so the folders holding them: those
// go with the Unix tool, which removes links without following them.
void RemoveTree(const std::wstring& path) {
    if (!DeleteFolderTree(path) && Exists(path) && !QuotedUnixPath(path).empty()) {
        RunUnixShell("rm -rf " + QuotedUnixPath(path));
    }
}
}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ =
        std::wstring(temp) + L"tbc_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(counter++);
    RemoveTree(path_);
    fs::create_directories(path_);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> DescribeTree(const std::wstring& root) {
    std::vector<std::wstring> entries;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(root))) {
        const std::wstring path = entry.path().wstring();
        entries.push_back(path + L" " + std::to_wstring(GetFileAttributesW(path.c_str())));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string Utf16Le(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

namespace {

using WineUnixName = char*(CDECL*)(const wchar_t*);

// The Unix path of a Windows path, in single quotes for the shell; empty outside Wine.
std::string QuotedUnixPath(const std::wstring& path) {
    static const auto unixName = reinterpret_cast<WineUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) {
        return std::string();
    }
    std::string quoted = std::string("'") + name + "'";
    HeapFree(GetProcessHeap(), 0, name);
    return quoted;
}

// Runs `script` with the Unix shell and waits until it has touched its marker file: Wine gives
// no handle to a Unix process to wait on.
bool RunUnixShell(std::string script) {
    TempFolder scratch;
    const std::wstring marker = scratch / L"done";
    script += " && touch " + QuotedUnixPath(marker);
    std::wstring command = L"/bin/sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    for (int wait = 0; wait < 1000; ++wait) {
        if (Exists(marker)) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

bool LinkLogFolder(const std::wstring& windows, const std::wstring& target, bool logsIsLink) {
    if (logsIsLink) return MakeLink(windows + L"\\Logs", target);
    CreateDirectoryW((windows + L"\\Logs").c_str(), nullptr);
    return MakeLink(windows + L"\\Logs\\TallowBriskCleaner", target);
}

bool MakeLink(const std::wstring& link, const std::wstring& target) {
    const std::string from = QuotedUnixPath(link);
    const std::string to = QuotedUnixPath(target);
    if (from.empty() || to.empty()) {
        const DWORD kind = (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
        return CreateSymbolicLinkW(link.c_str(), target.c_str(), kind | 2 /* unprivileged */) != 0;
    }
    return RunUnixShell("ln -s " + to + " " + from);
}

bool SwapForLink(const std::wstring& path, const std::wstring& keep, const std::wstring& target) {
    const std::string from = QuotedUnixPath(path);
    if (from.empty()) {
        return MoveFileW(path.c_str(), keep.c_str()) && MakeLink(path, target);
    }
    return RunUnixShell("mv " + from + " " + QuotedUnixPath(keep) + " && ln -s " + QuotedUnixPath(target) + " " + from);
}
