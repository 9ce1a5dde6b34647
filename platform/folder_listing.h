#pragma once
// Depth-first walk of a folder tree through handles, shared by the settings-file cleanup and the
// folder removal.
//
// Every folder below the starting point is listed through its own handle, and every entry is
// opened relative to its folder's handle and checked before anything acts on it: no call below
// the starting point takes a path. So a process that swaps a listed entry for a link while the
// walk runs can't lead it, or what it deletes, outside the tree.
//
// The walk keeps one open folder per level on a heap-allocated stack instead of recursing: a user
// can plant a tree thousands of levels deep, which would exhaust the stack of a recursive walk.

#include <windows.h>

#include <functional>
#include <string>

#include "platform/handle_files.h"
#include "platform/unique_any.h"

// A folder held open by the walk.
struct OpenFolder {
    unique_file handle;
    std::wstring path;       // the path it is reported by
    std::wstring finalPath;  // what its handle resolves to; kept only where entries are checked by it
};

// One listed entry of an open folder.
struct FolderEntry {
    std::wstring path;  // full path: the folder, a backslash, the name
    ListedEntry listed;
    const OpenFolder* parent = nullptr;

    const std::wstring& name() const { return listed.name; }
    bool isFolder() const { return (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool isReadOnly() const { return (listed.attributes & FILE_ATTRIBUTE_READONLY) != 0; }
    // A symbolic link, junction or mount point, as far as the listing shows: never walked into.
    bool isLink() const { return IsLink(listed.attributes, listed.reparseTag); }
};

// An entry opened and checked.
struct OpenedEntry {
    unique_file handle;
    DWORD attributes = 0;  // the handle's, not the listing's
    bool isLink = false;   // the handle holds a link itself (possible only where the system opens links)
    std::wstring finalPath;
};

// Opens a listed entry relative to its folder's handle and requires of the handle that it holds
// the entry the listing showed: the listing's file id, no link where the listing showed none,
// and, where the system follows links even when asked not to, the folder's final path plus a
// backslash plus the entry's name as its own final path. Refused when a check fails.
OpenResult OpenListedEntry(const FolderEntry& entry, ACCESS_MASK access, ULONG share, bool folder, OpenedEntry& opened);

// The same for an entry of `parent` known by name only, without a listing: no file id to compare.
OpenResult OpenNamedEntry(const OpenFolder& parent, const std::wstring& name, ACCESS_MASK access, ULONG share,
                          bool folder, OpenedEntry& opened);

// Opens the folder base\relative (relative: one or more names, or empty for base itself). Only
// base is opened by path; each name below it is opened relative to the one above and checked as
// listed entries are, apart from the file id. A link among the names above the last makes the
// folder Missing, as it is not there without following the link; the last name may be a link,
// which `opened.isLink` (or, where links are followed, Refused) then tells.
OpenResult OpenFolderBelow(const std::wstring& base, const std::wstring& relative, ACCESS_MASK access,
                           OpenedEntry& opened);

// How the listing of one folder ended.
enum class ListingEnd {
    NotOpened,  // the folder could not be opened (missing, no access) or failed its checks
    Finished,   // every entry was delivered
    Failed,     // fetching an entry failed for another reason than the end of the listing
};

class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;

    enum class Next { Descend, Skip, Stop };

    // What a folder the walk descends into is opened for, beyond listing it.
    virtual ACCESS_MASK folderAccess() const { return 0; }
    // An entry with the directory bit. Descend walks it completely before the entries after it.
    virtual Next onFolder(const FolderEntry& entry) = 0;
    // Any other entry. Returning false stops the whole walk.
    virtual bool onFile(const FolderEntry& entry) = 0;
    // The listing of `folder` has ended; its handle (invalid when NotOpened) is still open.
    // Returning false stops the whole walk.
    virtual bool onFolderEnd(const OpenFolder& folder, ListingEnd end) = 0;
};

// Walks the open folder `root` and everything below it, in listing order, "." and ".." left out.
// A folder's handle is closed after onFolderEnd for it, and on every way out. Returns false when
// a visitor call stopped the walk.
bool WalkFolderTree(OpenFolder root, FolderVisitor& visitor);

// Test seam: called with each listed entry just before it is opened.
void SetBeforeOpenHook(std::function<void(const FolderEntry&)> hook);
