#include "platform/folder_listing.h"

#include <vector>

#include "platform/long_path.h"
#include "platform/unique_any.h"

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

struct Level {
    unique_find listing;
    std::wstring folder;
};

bool OpenListing(const std::wstring& folder, WIN32_FIND_DATAW& data, std::vector<Level>& levels) {
    unique_find listing(FindFirstFileW(ExtendedPath(folder + L"\\*").c_str(), &data));
    if (!listing) {
        return false;
    }
    levels.push_back(Level{std::move(listing), folder});
    return true;
}

}  // namespace

bool WalkFolderTree(const std::wstring& root, FolderVisitor& visitor) {
    std::vector<Level> levels;
    WIN32_FIND_DATAW data{};
    if (!OpenListing(root, data, levels)) {
        return visitor.onFolderEnd(root, ListingEnd::NotOpened);
    }
    // FindFirstFileW has already delivered the first entry of the new level.
    bool haveEntry = true;
    while (!levels.empty()) {
        if (!haveEntry && !FindNextFileW(levels.back().listing.get(), &data)) {
            const ListingEnd end = GetLastError() == ERROR_NO_MORE_FILES ? ListingEnd::Finished : ListingEnd::Failed;
            std::wstring folder = std::move(levels.back().folder);
            levels.pop_back();
            if (!visitor.onFolderEnd(folder, end)) {
                return false;
            }
            continue;
        }
        haveEntry = false;
        if (IsDotOrDotDot(data.cFileName)) {
            continue;
        }
        FolderEntry entry{levels.back().folder + L'\\' + data.cFileName, data.cFileName, data.dwFileAttributes};
        if (!entry.isFolder()) {
            if (!visitor.onFile(entry)) {
                return false;
            }
            continue;
        }
        switch (visitor.onFolder(entry)) {
            case FolderVisitor::Next::Descend:
                if (OpenListing(entry.path, data, levels)) {
                    haveEntry = true;
                } else if (!visitor.onFolderEnd(entry.path, ListingEnd::NotOpened)) {
                    return false;
                }
                break;
            case FolderVisitor::Next::Skip:
                break;
            case FolderVisitor::Next::Stop:
                return false;
        }
    }
    return true;
}

void ClearReadOnly(const std::wstring& path) {
    const std::wstring extended = ExtendedPath(path);
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (GetFileAttributesExW(extended.c_str(), GetFileExInfoStandard, &info)) {
        const DWORD attributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
        // No bits left means "normal", which SetFileAttributesW wants spelled out.
        SetFileAttributesW(extended.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
}
