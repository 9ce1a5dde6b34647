#pragma once
// Depth-first walk of a folder tree, shared by the settings-file cleanup and the folder removal.
//
// The walk keeps one open listing per level on a heap-allocated stack instead of recursing:
// a user can plant a tree as deep as the 32,767-character path limit allows (thousands of
// levels), which would exhaust the 1 MB stack of an elevated program that recursed.

#include <windows.h>

#include <string>

struct FolderEntry {
    std::wstring path;  // full path: the folder, a backslash, the name
    std::wstring name;
    DWORD attributes = 0;

    bool isFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool isReadOnly() const { return (attributes & FILE_ATTRIBUTE_READONLY) != 0; }
    // A symbolic link, junction or mount point. Such an entry leads outside the tree and is
    // never walked into.
    bool isLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// How the listing of one folder ended.
enum class ListingEnd {
    NotOpened,  // the listing could not be opened (missing folder, no access)
    Finished,   // every entry was delivered
    Failed,     // fetching an entry failed for another reason than the end of the listing
};

class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;

    enum class Next { Descend, Skip, Stop };

    // An entry with the directory bit. Descend walks it completely before the entries after it.
    virtual Next onFolder(const FolderEntry& entry) = 0;
    // Any other entry. Returning false stops the whole walk.
    virtual bool onFile(const FolderEntry& entry) = 0;
    // The listing of `folder` has been closed. Returning false stops the whole walk.
    virtual bool onFolderEnd(const std::wstring& folder, ListingEnd end) = 0;
};

// Walks `root` (an absolute path without a trailing backslash) and everything below it, in
// listing order, "." and ".." left out. Every listing is closed before onFolderEnd is called
// for its folder, and on every way out. Returns false when a visitor call stopped the walk.
bool WalkFolderTree(const std::wstring& root, FolderVisitor& visitor);

// Clears FILE_ATTRIBUTE_READONLY of a file and keeps all its other attribute bits.
void ClearReadOnly(const std::wstring& path);
