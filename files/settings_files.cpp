#include "files/settings_files.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/folder_listing.h"
#include "report/operations_logger.h"

namespace {

constexpr wchar_t kSettingsFolder[] = L"Microsoft_Corporation";
constexpr wchar_t kSettingsFileName[] = L"user.config";
constexpr wchar_t kMarker[] = L"<Tallowbrisk4Outlook.Properties.Settings>";
constexpr char kMarker8[] = "<Tallowbrisk4Outlook.Properties.Settings>";
constexpr DWORD kMaxSettingsFileSize = 0x40000;
// Zero bytes behind the content, so that it ends in a terminator both as 8-bit and as
// 16-bit text, whether its length is odd or even.
constexpr DWORD kTerminatorBytes = 16;

// Reads the whole file through its handle into `content`, followed by the zero terminator bytes.
bool ReadSettingsFile(HANDLE file, std::vector<wchar_t>& content) {
    const DWORD size = GetFileSize(file, nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE || size > kMaxSettingsFileSize) {
        return false;
    }
    content.assign((size + kTerminatorBytes) / sizeof(wchar_t) + 1, L'\0');
    DWORD read = 0;
    return ReadFile(file, content.data(), size, &read, nullptr) && read == size;
}

bool HoldsMarker(const std::vector<wchar_t>& content) {
    // UTF-16LE, with or without its byte order mark: the text lies at even offsets.
    if (wcsstr(content.data(), kMarker)) {
        return true;
    }
    // UTF-8 and any other 8-bit text, up to its first zero byte.
    return strstr(reinterpret_cast<const char*>(content.data()), kMarker8) != nullptr;
}

// Examines the settings file open as `opened` and deletes it through the same handle, so that
// what was examined is what is deleted.
int RemoveIfMarked(OpenResult result, const OpenedEntry& opened, const std::wstring& path, OperationsLogger* logger,
                   RemovalSteps& steps) {
    std::vector<wchar_t> content;
    if (result != OpenResult::Opened || opened.isLink || steps.isGone(opened.handle.get()) ||
        !ReadSettingsFile(opened.handle.get(), content) || !HoldsMarker(content)) {
        return 0;
    }
    const int deleted = steps.remove(opened.handle.get()) ? 1 : 0;
    if (logger) {
        logger->log(L"remove file: ", path.c_str(), deleted);
    }
    return deleted;
}

// Opened for reading without sharing, so that a settings file that another process holds open
// is passed over, and for deletion through the same handle.
constexpr ACCESS_MASK kSettingsFileAccess = GENERIC_READ | DELETE;

class SettingsScan : public FolderVisitor {
public:
    SettingsScan(OperationsLogger* logger, RemovalSteps& steps) : logger_(logger), steps_(steps) {}

    Next onFolder(const FolderEntry& entry) override {
        // A link or junction leads somewhere else: only the tree itself is cleaned.
        return entry.isLink() ? Next::Skip : Next::Descend;
    }

    bool onFile(const FolderEntry& entry) override {
        if (entry.isLink()) {
            return true;  // not examined, its attributes not touched
        }
        if (entry.isReadOnly()) {
            OpenedEntry opened;
            if (OpenListedEntry(entry, FILE_WRITE_ATTRIBUTES, kShareAll, false, opened) == OpenResult::Opened &&
                !opened.isLink && (opened.attributes & FILE_ATTRIBUTE_READONLY)) {
                steps_.clearReadOnly(opened.handle.get(), opened.attributes);
            }
        }
        if (lstrcmpW(entry.name().c_str(), kSettingsFileName) == 0) {
            OpenedEntry opened;
            const OpenResult result = OpenListedEntry(entry, kSettingsFileAccess, 0, false, opened);
            RemoveIfMarked(result, opened, entry.path, logger_, steps_);
        }
        return true;
    }

    bool onFolderEnd(const OpenFolder&, ListingEnd) override { return true; }

private:
    static constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    OperationsLogger* logger_;
    RemovalSteps& steps_;
};

}  // namespace

void CleanSettingsFiles(OperationsLogger* logger, SpecialFolderLookup lookUp, RemovalSteps& steps) {
    std::wstring folder;
    if (!lookUp(kCsidlLocalAppData, folder)) {
        return;  // never a walk from the root of the current drive
    }
    // The tree is opened below the local application data folder, so a tree that is itself a
    // link to somewhere else is refused (or seen as a link) and not walked.
    OpenedEntry opened;
    if (OpenFolderBelow(folder, kSettingsFolder, 0, opened) == OpenResult::Opened && !opened.isLink) {
        SettingsScan scan(logger, steps);
        WalkFolderTree(
            OpenFolder{std::move(opened.handle), folder + L'\\' + kSettingsFolder, std::move(opened.finalPath)}, scan);
    }
}

void ScanForSettingsFiles(const std::wstring& folder, OperationsLogger* logger, RemovalSteps& steps) {
    OpenedEntry opened;
    if (OpenFolderBelow(folder, L"", 0, opened) == OpenResult::Opened && !opened.isLink) {
        SettingsScan scan(logger, steps);
        WalkFolderTree(OpenFolder{std::move(opened.handle), folder, std::move(opened.finalPath)}, scan);
    }
}

int RemoveSettingsFileIfMarked(const std::wstring& path, OperationsLogger* logger, RemovalSteps& steps) {
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        return 0;
    }
    // The folder is opened by path, the file by name through the folder's handle and checked.
    OpenedEntry folder;
    if (OpenFolderBelow(path.substr(0, slash), L"", 0, folder) != OpenResult::Opened || folder.isLink) {
        return 0;
    }
    const OpenFolder parent{std::move(folder.handle), path.substr(0, slash), std::move(folder.finalPath)};
    OpenedEntry opened;
    const OpenResult result = OpenNamedEntry(parent, path.substr(slash + 1), kSettingsFileAccess, 0, false, opened);
    return RemoveIfMarked(result, opened, path, logger, steps);
}
