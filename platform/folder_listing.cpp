#include "platform/folder_listing.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

std::function<void(const FolderEntry&)>& BeforeOpenHook() {
    static std::function<void(const FolderEntry&)> hook;
    return hook;
}

bool IsDotOrDotDot(const std::wstring& name) { return name == L"." || name == L".."; }

// Folder share mode below the starting point: no FILE_SHARE_DELETE, so that nobody renames or
// moves a folder away while the walk holds it.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The checks every open below the starting point passes. `listed` is null for an entry known by
// name only.
//
// Where FILE_OPEN_REPARSE_POINT opens a link itself (Windows), the handle is the entry of this
// folder, since the name was looked up in the folder the parent's handle holds: a link shows as
// a link in the handle's attributes and tag, and the file id tells whether the listed entry was
// swapped for another. Where a link is followed regardless (Wine), the handle holds the target,
// with the target's attributes and, in the listing too, the target's file id: only the final
// path tells, and it is the one check there that is worth its cost (a final-path query takes
// about as long as the open itself under Wine, the attribute query nearly as long).
OpenResult CheckOpened(const OpenFolder& parent, const std::wstring& name, const ListedEntry* listed,
                       OpenedEntry& opened) {
    if (SystemOpensLinksThemselves()) {
        DWORD tag = 0;
        if (!QueryAttributes(opened.handle.get(), opened.attributes, tag)) {
            return OpenResult::Failed;
        }
        opened.isLink = IsLink(opened.attributes, tag);
    } else {
        if (!QueryFinalPath(opened.handle.get(), opened.finalPath) ||
            !SamePath(opened.finalPath, parent.finalPath + L'\\' + name)) {
            return OpenResult::Refused;
        }
        opened.attributes = listed ? listed->attributes : 0;  // the file id below ties them to the handle
    }
    LONGLONG id = 0;
    if (listed && (!QueryFileId(opened.handle.get(), id) || id != listed->fileId)) {
        return OpenResult::Refused;  // another file took the listed one's place
    }
    return OpenResult::Opened;
}

OpenResult OpenChecked(const OpenFolder& parent, const std::wstring& name, const ListedEntry* listed,
                       ACCESS_MASK access, ULONG share, bool folder, OpenedEntry& opened) {
    opened = OpenedEntry{};
    // A reparse point listed as data is read through its driver (a cloud placeholder is fetched,
    // say). Were it swapped for a link meanwhile, the link would be followed: the file id, or
    // the final path, of what was reached then differs.
    const bool data = listed && (listed->attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      !IsLink(listed->attributes, listed->reparseTag);
    OpenResult result = OpenRelative(parent.handle.get(), name, access, share, folder, opened.handle, data);
    if (result == OpenResult::Opened) {
        result = CheckOpened(parent, name, listed, opened);
    }
    if (result != OpenResult::Opened) {
        opened.handle.reset();  // a refused entry is not touched
    }
    return result;
}

struct Level {
    OpenFolder folder;
    FolderListing listing;

    explicit Level(OpenFolder open) : folder(std::move(open)), listing(folder.handle.get()) {}
};

}  // namespace

OpenResult OpenListedEntry(const FolderEntry& entry, ACCESS_MASK access, ULONG share, bool folder,
                           OpenedEntry& opened) {
    if (const auto& hook = BeforeOpenHook()) {
        hook(entry);
    }
    const OpenResult result = OpenChecked(*entry.parent, entry.name(), &entry.listed, access, share, folder, opened);
    if (result == OpenResult::Opened && entry.isLink() && !opened.isLink) {
        opened.handle.reset();  // listed as a link, yet the handle holds something else
        return OpenResult::Refused;
    }
    return result;
}

OpenResult OpenNamedEntry(const OpenFolder& parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
                          bool folder, OpenedEntry& opened) {
    return OpenChecked(parent, name, nullptr, access, share, folder, opened);
}

OpenResult OpenFolderBelow(const std::wstring& base, const std::wstring& relative, ACCESS_MASK access,
                           OpenedEntry& opened) {
    std::wstring start = base;
    std::wstring rest = relative;
    if (rest.empty()) {
        // The folder itself: open its parent by path and the folder by name below it.
        const size_t slash = start.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash + 1 == start.size()) {
            return OpenResult::Failed;
        }
        rest = start.substr(slash + 1);
        start.resize(slash);
        if (start.size() == 2 && start[1] == L':') {
            start += L'\\';  // a drive's root folder
        }
    }
    OpenFolder parent;
    parent.path = start;
    OpenResult result = OpenFolderByPath(start, 0, parent.handle);
    if (result != OpenResult::Opened) {
        return result;
    }
    if (!SystemOpensLinksThemselves() && !QueryFinalPath(parent.handle.get(), parent.finalPath)) {
        return OpenResult::Failed;
    }
    if (!parent.finalPath.empty() && parent.finalPath.back() == L'\\') {
        parent.finalPath.pop_back();  // the root of a drive
    }
    for (size_t begin = 0;;) {
        const size_t end = rest.find(L'\\', begin);
        const std::wstring name = rest.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
        const bool last = end == std::wstring::npos;
        result =
            OpenNamedEntry(parent, name, last ? access | FILE_LIST_DIRECTORY : FILE_LIST_DIRECTORY,
                           last ? kFolderShare : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, opened);
        if (last) {
            return result;
        }
        // A link on the way down is not followed: there is no such folder below `base` without it.
        if (result == OpenResult::Refused || (result == OpenResult::Opened && opened.isLink)) {
            return OpenResult::Missing;
        }
        if (result != OpenResult::Opened) {
            return result;
        }
        parent.handle = std::move(opened.handle);
        parent.path += L'\\' + name;
        parent.finalPath = std::move(opened.finalPath);
        begin = end + 1;
    }
}

bool WalkFolderTree(OpenFolder root, FolderVisitor& visitor) {
    std::vector<std::unique_ptr<Level>> levels;
    levels.push_back(std::make_unique<Level>(std::move(root)));
    ListedEntry listed;
    while (!levels.empty()) {
        Level& top = *levels.back();
        bool finished = false;
        if (!top.listing.next(listed, finished)) {
            // The level is closed after the visitor has seen it, so that it can act on its handle.
            const std::unique_ptr<Level> done = std::move(levels.back());
            levels.pop_back();
            if (!visitor.onFolderEnd(done->folder, finished ? ListingEnd::Finished : ListingEnd::Failed)) {
                return false;
            }
            continue;
        }
        if (IsDotOrDotDot(listed.name)) {
            continue;
        }
        FolderEntry entry{top.folder.path + L'\\' + listed.name, listed, &top.folder};
        if (!entry.isFolder()) {
            if (!visitor.onFile(entry)) {
                return false;
            }
            continue;
        }
        switch (visitor.onFolder(entry)) {
            case FolderVisitor::Next::Descend: {
                OpenedEntry opened;
                const OpenResult result =
                    OpenListedEntry(entry, FILE_LIST_DIRECTORY | visitor.folderAccess(), kFolderShare, true, opened);
                OpenFolder folder{std::move(opened.handle), std::move(entry.path), std::move(opened.finalPath)};
                if (result == OpenResult::Opened && !opened.isLink) {
                    levels.push_back(std::make_unique<Level>(std::move(folder)));
                } else if (!visitor.onFolderEnd(OpenFolder{unique_file(), folder.path, std::wstring()},
                                                ListingEnd::NotOpened)) {
                    return false;
                }
                break;
            }
            case FolderVisitor::Next::Skip:
                break;
            case FolderVisitor::Next::Stop:
                return false;
        }
    }
    return true;
}

void SetBeforeOpenHook(std::function<void(const FolderEntry&)> hook) { BeforeOpenHook() = std::move(hook); }
