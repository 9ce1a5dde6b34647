#include "tests/unit/support/temp_folder.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>

#include "files/folder_removal.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ =
        std::wstring(temp) + L"tbc_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(counter++);
    DeleteFolderTree(path_);
    fs::create_directories(path_);
}

// The program's own folder removal copes with read-only files and paths beyond MAX_PATH.
TempFolder::~TempFolder() { DeleteFolderTree(path_); }

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
