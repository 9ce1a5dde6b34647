#include "files/file_actions.h"

#include <windows.h>

#include "platform/folder_listing.h"
#include "platform/long_path.h"
#include "platform/unique_any.h"

namespace {

// File names compare without regard to case, as NTFS and Wine compare them.
std::wstring Folded(const std::wstring& path) {
    std::wstring folded = path;
    if (!folded.empty()) {
        CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    }
    return folded;
}

// Whether `path` could be opened for `access` right now, sharing everything with other
// openers: an open like the one DeleteFileW, RemoveDirectoryW and SetFileAttributesW make
// inside. It fails, like them, for a file that another process holds open without sharing
// deletion, and for lack of rights. The open changes nothing.
bool CanOpen(const std::wstring& path, DWORD access) {
    unique_file probe(CreateFileW(ExtendedPath(path).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return static_cast<bool>(probe);
}

}  // namespace

bool FileActions::isGone(const std::wstring&) { return false; }

void FileActions::clearReadOnly(const std::wstring& path) { ClearReadOnly(path); }

bool FileActions::deleteFile(const std::wstring& path) { return DeleteFileW(ExtendedPath(path).c_str()) != 0; }

bool FileActions::removeFolder(const std::wstring& path) { return RemoveDirectoryW(ExtendedPath(path).c_str()) != 0; }

bool FileActions::removeLink(const std::wstring& path) {
    // RemoveDirectoryW removes a link to a folder on Windows; Wine, which shows Unix symlinks
    // as links, removes them with DeleteFileW.
    const std::wstring extended = ExtendedPath(path);
    return RemoveDirectoryW(extended.c_str()) || DeleteFileW(extended.c_str());
}

FileActions& RealFileActions() {
    static FileActions actions;
    return actions;
}

bool PreviewFileActions::isGone(const std::wstring& path) {
    const std::wstring folded = Folded(path);
    for (size_t end = folded.find(L'\\'); end != std::wstring::npos; end = folded.find(L'\\', end + 1)) {
        if (planned_.count(folded.substr(0, end))) {
            return true;
        }
    }
    return planned_.count(folded) != 0;
}

void PreviewFileActions::plan(const std::wstring& path) { planned_.insert(Folded(path)); }

void PreviewFileActions::clearReadOnly(const std::wstring& path) {
    if (CanOpen(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES)) {
        cleared_.insert(Folded(path));
    }
}

bool PreviewFileActions::deleteFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !cleared_.count(Folded(path))) {
        return false;  // DeleteFileW refuses a file that is still read-only
    }
    if (!CanOpen(path, DELETE)) {
        return false;
    }
    plan(path);
    return true;
}

bool PreviewFileActions::removeFolder(const std::wstring& path) {
    // The folder's entries were all planned away before the walk asks for this.
    if (!CanOpen(path, DELETE)) {
        return false;
    }
    plan(path);
    return true;
}

bool PreviewFileActions::removeLink(const std::wstring& path) {
    if (!CanOpen(path, DELETE)) {
        return false;
    }
    plan(path);
    return true;
}
