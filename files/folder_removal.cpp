#include "files/folder_removal.h"

#include <windows.h>

#include "platform/folder_listing.h"
#include "report/operations_logger.h"

namespace {


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

// Deletes each entry through its own handle, opened relative to its folder's handle and checked
// (platform/folder_listing.h). An entry that fails its checks is not touched and stops the
// deletion, so the product folder stays and its record says "fail".
class TreeDeletion : public FolderVisitor {
public:
    explicit TreeDeletion(RemovalSteps& steps) : steps_(steps) {}

    ACCESS_MASK folderAccess() const override { return DELETE; }

    Next onFolder(const FolderEntry& entry) override {
        if (entry.isLink()) {
            return removeEntry(entry) ? Next::Skip : Next::Stop;
        }
        return Next::Descend;
    }

    bool onFile(const FolderEntry& entry) override { return removeEntry(entry); }

    bool onFolderEnd(const OpenFolder& folder, ListingEnd end) override {
        return end == ListingEnd::Finished && steps_.remove(folder.handle.get());
    }

private:
    // A file, or a link removed as a link: where the system opens links themselves the handle
    // holds the link, and deleting through it deletes the link. Where it doesn't (Wine), the
    // checks refuse the handle, which holds the link's target, and the link stays.
    bool removeEntry(const FolderEntry& entry) {
        OpenedEntry opened;
        switch (OpenListedEntry(entry, DELETE | FILE_WRITE_ATTRIBUTES, kEntryShare, false, opened)) {
            case OpenResult::Opened:
                break;
            case OpenResult::Missing:
                return true;  // gone already
            default:
                return false;
        }
        if (steps_.isGone(opened.handle.get())) {
            return true;
        }
        // A link's attributes are not touched: on some systems that would reach its target.
        if (!opened.isLink && (opened.attributes & FILE_ATTRIBUTE_READONLY)) {
            steps_.clearReadOnly(opened.handle.get(), opened.attributes);
        }
        return steps_.remove(opened.handle.get());
    }

    // No FILE_SHARE_DELETE: nobody renames the entry away between the checks and the deletion.
    static constexpr ULONG kEntryShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    RemovalSteps& steps_;
};

// Removes base\relative (or base itself when relative is empty). -1 when there is no such folder.
int RemoveFolderBelow(const std::wstring& base, const std::wstring& relative, RemovalSteps& steps) {
    OpenedEntry opened;
    switch (OpenFolderBelow(base, relative, DELETE, opened)) {
        case OpenResult::Opened:
            break;
        case OpenResult::Missing:
        case OpenResult::NotFolder:
            return -1;
        case OpenResult::Refused:
        case OpenResult::Failed:
            return 0;
    }
    if (steps.isGone(opened.handle.get())) {
        return -1;  // an earlier row of this run removed it already
    }
    if (opened.isLink) {
        // The product folder is itself a link (opened as one, so the system removes the link):
        // removing the link removes the leftover, and nothing it points to is touched.
        return steps.remove(opened.handle.get()) ? 1 : 0;
    }
    std::wstring path = relative.empty() ? base : base + L'\\' + relative;
    TreeDeletion deletion(steps);
    return WalkFolderTree(OpenFolder{std::move(opened.handle), std::move(path), std::move(opened.finalPath)}, deletion)
               ? 1
               : 0;
}

}  // namespace

int RemoveProductFolders(OperationsLogger* logger, SpecialFolderLookup lookUp, RemovalSteps& steps) {
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
            RemoveFolderIfPresent(base, row.name, logger, steps);
        }
    }
    return 1;
}

int RemoveFolderIfPresent(const std::wstring& base, const wchar_t* name, OperationsLogger* logger,
                          RemovalSteps& steps) {
    const int outcome = RemoveFolderBelow(base, name ? name : L"", steps);
    if (outcome < 0) {
        return 0;  // absent, or not a folder: nothing to report
    }
    if (logger) {
        const std::wstring path = name ? base + L'\\' + name : base;
        logger->log(L"remove folder: ", path.c_str(), outcome);
    }
    return outcome;
}

int DeleteFolderTree(const std::wstring& path, RemovalSteps& steps) {
    return RemoveFolderBelow(path, L"", steps) > 0 ? 1 : 0;
}
