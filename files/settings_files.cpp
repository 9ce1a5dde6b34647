#include "files/settings_files.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/folder_listing.h"
#include "platform/long_path.h"
#include "platform/unique_any.h"
#include "report/operations_logger.h"

namespace {

constexpr int kCsidlLocalAppData = 0x1C;
constexpr wchar_t kSettingsFolder[] = L"\\Microsoft_Corporation";
constexpr wchar_t kSettingsFileName[] = L"user.config";
constexpr wchar_t kMarker[] = L"<Tallowbrisk4Outlook.Properties.Settings>";
constexpr char kMarker8[] = "<Tallowbrisk4Outlook.Properties.Settings>";
constexpr DWORD kMaxSettingsFileSize = 0x40000;
// Zero bytes behind the content, so that it ends in a terminator both as 8-bit and as
// 16-bit text, whether its length is odd or even.
constexpr DWORD kTerminatorBytes = 16;

class SettingsScan : public FolderVisitor {
public:
    SettingsScan(OperationsLogger* logger, FileActions& actions) : logger_(logger), actions_(actions) {}

    Next onFolder(const FolderEntry& entry) override {
        // A link or junction leads somewhere else: only the tree itself is cleaned.
        return entry.isLink() || actions_.isGone(entry.path) ? Next::Skip : Next::Descend;
    }

    bool onFile(const FolderEntry& entry) override {
        if (entry.isLink() || actions_.isGone(entry.path)) {
            // Clearing attributes through a file link would change its target, outside the tree.
            return true;
        }
        if (entry.isReadOnly()) {
            actions_.clearReadOnly(entry.path);
        }
        if (lstrcmpW(entry.name.c_str(), kSettingsFileName) == 0) {
            RemoveSettingsFileIfMarked(entry.path, logger_, actions_);
        }
        return true;
    }

    bool onFolderEnd(const std::wstring&, ListingEnd) override { return true; }

private:
    OperationsLogger* logger_;
    FileActions& actions_;
};

// Reads the whole file into `content`, followed by the zero terminator bytes. The file is
// opened without sharing, so a settings file that another process holds open is passed over.
bool ReadSettingsFile(const std::wstring& path, std::vector<wchar_t>& content) {
    unique_file file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE || size > kMaxSettingsFileSize) {
        return false;
    }
    content.assign((size + kTerminatorBytes) / sizeof(wchar_t) + 1, L'\0');
    DWORD read = 0;
    return ReadFile(file.get(), content.data(), size, &read, nullptr) && read == size;
}

bool HoldsMarker(const std::vector<wchar_t>& content) {
    // UTF-16LE, with or without its byte order mark: the text lies at even offsets.
    if (wcsstr(content.data(), kMarker)) {
        return true;
    }
    // UTF-8 and any other 8-bit text, up to its first zero byte.
    return strstr(reinterpret_cast<const char*>(content.data()), kMarker8) != nullptr;
}

}  // namespace

void CleanSettingsFiles(OperationsLogger* logger, SpecialFolderLookup lookUp, FileActions& actions) {
    std::wstring folder;
    if (!lookUp(kCsidlLocalAppData, folder)) {
        return;  // never a walk from the root of the current drive
    }
    folder += kSettingsFolder;
    const DWORD attributes = GetFileAttributesW(ExtendedPath(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return;  // the tree itself is a link to somewhere else
    }
    ScanForSettingsFiles(folder, logger, actions);
}

void ScanForSettingsFiles(const std::wstring& folder, OperationsLogger* logger, FileActions& actions) {
    SettingsScan scan(logger, actions);
    WalkFolderTree(folder, scan);
}

int RemoveSettingsFileIfMarked(const std::wstring& path, OperationsLogger* logger, FileActions& actions) {
    std::vector<wchar_t> content;
    if (!ReadSettingsFile(path, content) || !HoldsMarker(content)) {
        return 0;
    }
    const int deleted = actions.deleteFile(path) ? 1 : 0;
    if (logger) {
        logger->log(L"remove file: ", path.c_str(), deleted);
    }
    return deleted;
}
