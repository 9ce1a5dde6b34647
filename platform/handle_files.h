#pragma once
// File operations on open handles: opening an entry relative to its folder's handle, listing a
// folder through its handle, and asking a handle what it really holds. Working on handles
// leaves no gap between examining an entry and acting on it in which another process could
// swap the entry for a link.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_any.h"

// What an open gave, in the terms the cleaners act on.
enum class OpenResult {
    Opened,
    Missing,    // no such entry (any more)
    NotFolder,  // a folder was asked for and the entry is a file
    Refused,    // opened, but the handle holds something else than was asked for (a link)
    Failed,     // anything else: no access, held open by another process...
};

// Opens the folder at `path` (a link at `path` itself is followed). Only the cleaners' starting
// points are opened by path; everything below them is opened through a handle.
OpenResult OpenFolderByPath(const std::wstring& path, ACCESS_MASK access, unique_file& folder);

// Opens the entry `name` of the folder open as `parent`, relative to that handle (a name, never
// a path). A link is opened itself, not followed, where the system allows it (Windows does;
// Wine follows Unix symlinks regardless). `access` gets SYNCHRONIZE and FILE_READ_ATTRIBUTES
// added. `folder` asks for a folder; otherwise any entry is opened. `throughFilter` opens a
// reparse point that is data (a cloud placeholder, a deduplicated or compressed file) through
// the driver that owns it, so that its content reads as the file's; a link found instead is
// then followed, and the caller's checks must tell.
OpenResult OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, bool folder,
                        unique_file& entry, bool throughFilter = false);

// One entry of a folder listing. For a reparse point, reparseTag is the tag the listing gave.
struct ListedEntry {
    std::wstring name;
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    LONGLONG fileId = 0;
};

// Reads a folder's entries through its handle, many at a time.
class FolderListing {
public:
    explicit FolderListing(HANDLE folder) : folder_(folder) {}

    // Delivers the next entry ("." and ".." included). False at the end of the listing, with
    // `finished` telling the end apart from an error.
    bool next(ListedEntry& entry, bool& finished);

private:
    HANDLE folder_;
    std::vector<LONGLONG> buffer_;  // LONGLONG: the records hold 8-byte fields
    size_t offset_ = 0;
    size_t filled_ = 0;
    bool started_ = false;
};

// A reparse point is a link when its tag says it names another file: symbolic links, junctions,
// mount points. Cloud placeholders, deduplicated and compressed files carry other tags and are
// data. A tag that can't be read (Wine gives 0) counts as a link.
inline bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

// What an open handle holds.
bool QueryAttributes(HANDLE file, DWORD& attributes, DWORD& reparseTag);
bool QueryFileId(HANDLE file, LONGLONG& fileId);
// The path of what the handle really opened: the target's path when a link was followed.
bool QueryFinalPath(HANDLE file, std::wstring& path);

// Writes the attribute bits through the handle (0 is written as FILE_ATTRIBUTE_NORMAL).
bool SetAttributes(HANDLE file, DWORD attributes);
// Marks the opened entry for deletion; it goes when its last handle is closed. A folder must be
// empty. The handle needs DELETE access.
bool MarkForDeletion(HANDLE entry);

// False where opening with FILE_OPEN_REPARSE_POINT still follows links (Wine): there only the
// final path shows that a handle reached outside its folder.
bool SystemOpensLinksThemselves();

// True when `path` names a folder (or a link to one), by its attributes; long paths allowed.
bool IsFolder(const std::wstring& path);
