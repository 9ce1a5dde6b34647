#include "report/log_folder.h"

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <set>

#include "platform/folder_listing.h"
#include "platform/handle_files.h"
#include "platform/shell_folder.h"
#include "platform/user_profiles.h"

namespace {

constexpr wchar_t kLogs[] = L"\\Logs";
constexpr wchar_t kLogFolder[] = L"\\TallowBriskCleaner";
constexpr wchar_t kLogFilePrefix[] = L"\\Tallowbrisk_cleaner_";

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return sid && IsValidSid(sid) && IsWellKnownSid(sid, type); }

// "Tallowbrisk_cleaner_", as a name in the folder begins.
constexpr wchar_t kNamePrefix[] = L"Tallowbrisk_cleaner_";
constexpr size_t kNamePrefixLength = sizeof kNamePrefix / sizeof kNamePrefix[0] - 1;
// "YYYY_MM_DDThh_mm_ssZ": digits, and these characters at these places.
constexpr wchar_t kStampShape[] = L"0000_00_00T00_00_00Z";
constexpr size_t kStampLength = sizeof kStampShape / sizeof kStampShape[0] - 1;

bool IsStamp(const std::wstring& text) {
    if (text.size() != kStampLength) return false;
    for (size_t i = 0; i < kStampLength; ++i) {
        const bool digit = text[i] >= L'0' && text[i] <= L'9';
        if (kStampShape[i] == L'0' ? !digit : text[i] != kStampShape[i]) return false;
    }
    return true;
}

enum class FileKind { None, Run, Preview };

// What a name in the log folder is, by the program's own pattern exactly (the letter case the
// program writes), with its stamp.
FileKind KindOfName(const std::wstring& name, std::wstring* stamp) {
    if (name.size() <= kNamePrefixLength + kStampLength || name.compare(0, kNamePrefixLength, kNamePrefix) != 0) {
        return FileKind::None;
    }
    *stamp = name.substr(kNamePrefixLength, kStampLength);
    const std::wstring ending = name.substr(kNamePrefixLength + kStampLength);
    if (!IsStamp(*stamp)) return FileKind::None;
    if (ending == L".log" || ending == L".reg" || ending == L".32.reg") return FileKind::Run;
    return ending == L".preview.log" ? FileKind::Preview : FileKind::None;
}

}  // namespace

const std::wstring& RunFileStem::make() {
    if (!made_) {
        made_ = true;
        stem_ = NewLogFileStem(windowsFolder_);
    }
    return stem_;
}

std::vector<std::wstring> NamesBeyondBound(const std::vector<std::wstring>& names, const std::wstring& ownStamp,
                                           size_t keep) {
    // The stamps of each kind, newest first; the newest `keep` of each, and the run's own, stay.
    std::set<std::wstring, std::greater<std::wstring>> stamps[2];
    for (const std::wstring& name : names) {
        std::wstring stamp;
        const FileKind kind = KindOfName(name, &stamp);
        if (kind != FileKind::None) stamps[kind == FileKind::Preview].insert(stamp);
    }
    std::set<std::wstring> kept[2];
    for (int kind = 0; kind < 2; ++kind) {
        size_t count = 0;
        for (const std::wstring& stamp : stamps[kind]) {
            if (count++ == keep) break;
            kept[kind].insert(stamp);
        }
    }
    std::vector<std::wstring> beyond;
    for (const std::wstring& name : names) {
        std::wstring stamp;
        const FileKind kind = KindOfName(name, &stamp);
        if (kind != FileKind::None && stamp != ownStamp && !kept[kind == FileKind::Preview].count(stamp)) {
            beyond.push_back(name);
        }
    }
    return beyond;
}

size_t PruneLogFolder(const std::wstring& windowsFolder, const std::wstring& ownStem, size_t keep) {
    const std::wstring path = LogFolderPath(windowsFolder);
    if (path.empty() || LogFolderRefused(windowsFolder)) {
        return 0;
    }
    // The folder by name below "Logs", checked as any entry below a starting point is.
    OpenedEntry opened;
    if (OpenFolderBelow(path, std::wstring(), 0, opened) != OpenResult::Opened || opened.isLink) {
        return 0;
    }
    OpenFolder folder{std::move(opened.handle), path, opened.finalPath};
    std::vector<FolderEntry> entries;
    std::vector<std::wstring> names;
    FolderListing listing(folder.handle.get());
    ListedEntry listed;
    bool finished = false;
    while (listing.next(listed, finished)) {
        // Files alone: a folder or a link of such a name is not the program's.
        if ((listed.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
            names.push_back(listed.name);
            entries.push_back(FolderEntry{path + L'\\' + listed.name, listed, &folder});
        }
    }
    if (!finished) {
        return 0;  // a listing cut short would make old runs look like the newest
    }
    const size_t slash = ownStem.find_last_of(L'\\');
    const std::wstring ownName = slash == std::wstring::npos ? ownStem : ownStem.substr(slash + 1);
    const std::wstring ownStamp =
        ownName.size() > kNamePrefixLength ? ownName.substr(kNamePrefixLength) : std::wstring();
    const std::vector<std::wstring> beyond = NamesBeyondBound(names, ownStamp, keep);
    size_t deleted = 0;
    for (const FolderEntry& entry : entries) {
        if (std::find(beyond.begin(), beyond.end(), entry.name()) == beyond.end()) continue;
        OpenedEntry file;
        if (OpenListedEntry(entry, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false, file) ==
                OpenResult::Opened &&
            !file.isLink && !(file.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            MarkForDeletion(file.handle.get())) {
            ++deleted;
        }
    }
    return deleted;
}

std::wstring LogFolderPath(const std::wstring& windowsFolder) {
    std::wstring path = windowsFolder;
    if (path.empty() && !LookUpSpecialFolder(kCsidlWindows, path)) {
        return std::wstring();
    }
    return path + kLogs + kLogFolder;
}

bool RefusedAsLogFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY));
}

bool LogFolderRefused(const std::wstring& windowsFolder) {
    const std::wstring folder = LogFolderPath(windowsFolder);
    if (folder.empty()) return false;
    const std::wstring logs = folder.substr(0, folder.size() - (sizeof kLogFolder / sizeof kLogFolder[0] - 1));
    // GetFileAttributesW looks at a link itself, not at where it leads.
    return RefusedAsLogFolder(GetFileAttributesW(logs.c_str())) || RefusedAsLogFolder(GetFileAttributesW(folder.c_str()));
}

bool IsLogFolderSecurity(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !(control & SE_DACL_PROTECTED) || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !IsSystemOrAdministrators(owner) || !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
        !present || !dacl) {
        return false;
    }
    ACL_SIZE_INFORMATION size{};
    if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) return false;
    bool system = false;
    bool administrators = false;
    constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    for (DWORD index = 0; index < size.AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(dacl, index, &entry)) return false;
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;  // denials too: the list is remade plain
        const ACCESS_ALLOWED_ACE* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        if (!IsSystemOrAdministrators(sid)) return false;  // anyone else granted anything
        const bool full = (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS || (ace->Mask & GENERIC_ALL);
        if (full && (header->AceFlags & kInherited) == kInherited && !(header->AceFlags & INHERIT_ONLY_ACE)) {
            (IsWellKnown(sid, WinLocalSystemSid) ? system : administrators) = true;
        }
    }
    return system && administrators;
}

bool SecureLogFolder(const std::wstring& path) {
    // Opened as what the name itself is: a link is not followed, and is refused.
    unique_file folder(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!folder || !GetFileInformationByHandle(folder.get(), &information) ||
        RefusedAsLogFolder(information.dwFileAttributes)) {
        return false;
    }
    unique_local<PSECURITY_DESCRIPTOR> found;
    if (GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, nullptr, nullptr, found.put()) == ERROR_SUCCESS &&
        IsLogFolderSecurity(found.get())) {
        return true;
    }
    // Found otherwise (made by someone else beforehand, say): mended, and owned by the
    // administrators, so that its maker can't open it up again.
    unique_local<PSECURITY_DESCRIPTOR> wanted;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW((std::wstring(L"O:BA") + kLogFolderSecurity).c_str(),
                                                              SDDL_REVISION_1, wanted.put(), nullptr)) {
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(wanted.get(), &owner, &defaulted);
    GetSecurityDescriptorDacl(wanted.get(), &present, &dacl, &defaulted);
    return SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                           owner, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

std::wstring NewLogFileStem(const std::wstring& windowsFolder) {
    std::wstring path = LogFolderPath(windowsFolder);
    if (path.empty() || LogFolderRefused(windowsFolder)) {
        return std::wstring();
    }
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Made with its access list, so that it is never open to others, not even for a moment.
        unique_local<PSECURITY_DESCRIPTOR> security;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogFolderSecurity, SDDL_REVISION_1, security.put(),
                                                             nullptr);
        SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
        CreateDirectoryW(path.c_str(), security ? &attributes : nullptr);
    }
    if (!SecureLogFolder(path)) {
        return std::wstring();
    }
    wchar_t stamp[64] = {};
    FormatLogTimeStamp(stamp);
    path += kLogFilePrefix;
    path += stamp;
    return path;
}

bool FormatLogTimeStamp(wchar_t* dest) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    // The round trip through FILETIME normalises the fields.
    FILETIME fileTime{};
    SystemTimeToFileTime(&now, &fileTime);
    FileTimeToSystemTime(&fileTime, &now);

    wchar_t text[128] = {};
    const int length = swprintf(text, 128, L"%04d_%02d_%02dT%02d_%02d_%02dZ", now.wYear, now.wMonth, now.wDay,
                                now.wHour, now.wMinute, now.wSecond);
    if (length < 0 || length + 1 > 64) {
        return false;
    }
    wmemcpy(dest, text, length + 1);
    return true;
}

unique_file OpenForAppending(const std::wstring& path, const std::wstring& header) {
    unique_file file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) {
        return file;
    }
    LARGE_INTEGER size{};
    if ((!GetFileSizeEx(file.get(), &size) || size.QuadPart == 0) && !WriteWhole(file.get(), header)) {
        file.reset();
    }
    return file;
}

bool AppendWhole(HANDLE file, const std::wstring& path, const std::wstring& text) {
    LARGE_INTEGER before{};
    const bool sized = GetFileSizeEx(file, &before);
    if (WriteWhole(file, text)) {
        return true;
    }
    LARGE_INTEGER after{};
    if (sized && GetFileSizeEx(file, &after) && after.QuadPart > before.QuadPart) {
        unique_file cut(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (cut && SetFilePointerEx(cut.get(), before, nullptr, FILE_BEGIN)) {
            SetEndOfFile(cut.get());
        }
    }
    return false;
}

bool WriteWhole(HANDLE file, const std::wstring& text) {
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file, text.data(), size, &written, nullptr) && written == size;
}
