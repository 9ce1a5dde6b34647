#include "files/folder_removal.h"

#include <windows.h>

#include "platform/folder_listing.h"
#include "platform/long_path.h"
#include "report/operations_logger.h"

namespace {

constexpr int kCsidlAppData = 0x1A;
constexpr int kCsidlProgramFilesX86 = 0x2A;
constexpr int kCsidlProgramFiles = 0x26;
constexpr int kCsidlLocalAppData = 0x1C;
constexpr int kCsidlPersonal = 0x05;

struct ProductFolder {
    int csidl;
    const wchar_t* name;
};

// Row 7 repeats row 2: it tries the roaming folder again when the first attempt left it standing.
constexpr ProductFolder kProductFolders[] = {
    {kCsidlAppData, L"Tallowbrisk by marlpit"},
    {kCsidlAppData, L"Tallowbrisk"},
    {kCsidlProgramFilesX86, L"Tallowbrisk by marlpit"},
    {kCsidlProgramFilesX86, L"Tallowbrisk"},
    {kCsidlProgramFiles, L"Tallowbrisk by marlpit"},
    {kCsidlProgramFiles, L"Tallowbrisk"},
    {kCsidlAppData, L"Tallowbrisk"},
    {kCsidlLocalAppData, L"Tallowbrisk"},
    {kCsidlAppData, L"Local\\Tallowbrisk"},
    {kCsidlPersonal, L"Tallowbrisk"},
};

class TreeDeletion : public FolderVisitor {
public:
    explicit TreeDeletion(FileActions& actions) : actions_(actions) {}

    Next onFolder(const FolderEntry& entry) override {
        if (actions_.isGone(entry.path)) {
            return Next::Skip;
        }
        if (entry.isLink()) {
            return actions_.removeLink(entry.path) ? Next::Skip : Next::Stop;
        }
        return Next::Descend;
    }

    bool onFile(const FolderEntry& entry) override {
        if (actions_.isGone(entry.path)) {
            return true;
        }
        // A link's attributes are not touched: changing them could reach the link's target.
        if (entry.isReadOnly() && !entry.isLink()) {
            actions_.clearReadOnly(entry.path);
        }
        return actions_.deleteFile(entry.path);
    }

    bool onFolderEnd(const std::wstring& folder, ListingEnd end) override {
        return end == ListingEnd::Finished && actions_.removeFolder(folder);
    }

private:
    FileActions& actions_;
};

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(ExtendedPath(path).c_str()); }

}  // namespace

int RemoveProductFolders(OperationsLogger* logger, SpecialFolderLookup lookUp, FileActions& actions) {
    std::wstring base;
    bool found = false;
    int current = -1;
    for (const ProductFolder& row : kProductFolders) {
        if (row.csidl != current) {
            current = row.csidl;
            found = lookUp(row.csidl, base);
        }
        // A special folder that cannot be looked up is passed over, never replaced by a path
        // relative to the current drive.
        if (found) {
            RemoveFolderIfPresent(base, row.name, logger, actions);
        }
    }
    return 1;
}

int RemoveFolderIfPresent(const std::wstring& base, const wchar_t* name, OperationsLogger* logger,
                          FileActions& actions) {
    std::wstring path = base;
    if (name) {
        path += L'\\';
        path += name;
    }
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) || actions.isGone(path)) {
        return 0;
    }
    const int outcome = DeleteFolderTree(path, actions);
    if (logger) {
        logger->log(L"remove folder: ", path.c_str(), outcome);
    }
    return outcome;
}

int DeleteFolderTree(const std::wstring& path, FileActions& actions) {
    const DWORD attributes = Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // The folder is itself a link: removing the link removes the leftover, and nothing it
        // points to is touched.
        return actions.removeLink(path) ? 1 : 0;
    }
    TreeDeletion deletion(actions);
    return WalkFolderTree(path, deletion) ? 1 : 0;
}
