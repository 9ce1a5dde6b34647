// Benchmarks the folder removal on a product folder of 2,000 sub-folders of 3 files each,
// against a plain path-based walk of the same tree (FindFirstFileW, DeleteFileW,
// RemoveDirectoryW: what the removal did before it worked on handles). The two run in turns on
// fresh trees, in alternating order, several rounds; the medians and the best times are
// reported, since other work on the machine only ever adds time.
//   folder_bench.exe [ROUNDS] [FOLDERS]   (defaults: 9, 2000)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "files/folder_removal.h"

namespace {

void MakeTree(const std::wstring& root, int folders) {
    CreateDirectoryW(root.c_str(), nullptr);
    for (int i = 0; i < folders; ++i) {
        const std::wstring folder = root + L"\\folder" + std::to_wstring(i);
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int j = 0; j < 3; ++j) {
            HANDLE file = CreateFileW((folder + L"\\file" + std::to_wstring(j) + L".dat").c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, 0, nullptr);
            DWORD written = 0;
            WriteFile(file, "data", 4, &written, nullptr);
            CloseHandle(file);
        }
    }
}

// The reference: checks by path and acts by path.
bool DeleteByPath(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (listing == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        if (!wcscmp(data.cFileName, L".") || !wcscmp(data.cFileName, L"..")) continue;
        const std::wstring path = folder + L"\\" + data.cFileName;
        ok = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? DeleteByPath(path) : DeleteFileW(path.c_str()) != 0;
    } while (ok && FindNextFileW(listing, &data));
    FindClose(listing);
    return ok && RemoveDirectoryW(folder.c_str());
}

template <typename Fn>
double Seconds(Fn fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds = argc > 1 ? _wtoi(argv[1]) : 9;
    const int folders = argc > 2 ? _wtoi(argv[2]) : 2000;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"folder_bench";
    std::vector<double> byPath, byHandle, ratios;
    for (int round = 1; round <= rounds; ++round) {
        // Each round runs both, in alternating order, on fresh trees.
        double path = 0, handle = 0;
        for (int turn = 0; turn < 2; ++turn) {
            MakeTree(root, folders);
            if ((round + turn) % 2) {
                path = Seconds([&] { DeleteByPath(root); });
            } else {
                handle = Seconds([&] {
                    if (!DeleteFolderTree(root)) std::printf("the removal failed\n");
                });
            }
        }
        byPath.push_back(path);
        byHandle.push_back(handle);
        ratios.push_back(handle / path);
        std::printf("round %d: by path %.2f s, by handle %.2f s, ratio %.2f\n", round, path, handle, handle / path);
    }
    std::printf(
        "%d folders of 3 files, %d rounds: by path median %.2f s (best %.2f), by handle median %.2f s "
        "(best %.2f); ratio median %.2f, of the best times %.2f\n",
        folders, rounds, Median(byPath), *std::min_element(byPath.begin(), byPath.end()), Median(byHandle),
        *std::min_element(byHandle.begin(), byHandle.end()), Median(ratios),
        *std::min_element(byHandle.begin(), byHandle.end()) / *std::min_element(byPath.begin(), byPath.end()));
    return 0;
}
