#include "platform/handle_files.h"

#include <winternl.h>

#include "platform/long_path.h"

namespace {

// ntdll's file calls, looked up at run time: the program imports from no DLL beyond kernel32,
// user32 and their kin.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryObjectFn = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
using NtQueryInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);

constexpr NTSTATUS kObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kObjectPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr FILE_INFORMATION_CLASS kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
constexpr DWORD kListingBufferBytes = 64 * 1024;

HMODULE Ntdll() { return GetModuleHandleW(L"ntdll.dll"); }

template <typename Fn>
Fn NtdllFunction(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Ntdll(), name)));
}

OpenResult ResultOfOpen(NTSTATUS status) {
    if (status == kObjectNameNotFound || status == kObjectPathNotFound) {
        return OpenResult::Missing;
    }
    return status == kNotADirectory ? OpenResult::NotFolder : OpenResult::Failed;
}

}  // namespace

OpenResult OpenFolderByPath(const std::wstring& path, ACCESS_MASK access, unique_file& folder) {
    folder.reset(CreateFileW(ExtendedPath(path).c_str(), access | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenResult::Missing
                                                                              : OpenResult::Failed;
    }
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!QueryAttributes(folder.get(), attributes, tag) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        folder.reset();
        return OpenResult::NotFolder;
    }
    return OpenResult::Opened;
}

OpenResult OpenRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, bool folder,
                        unique_file& entry, bool throughFilter) {
    static const auto createFile = NtdllFunction<NtCreateFileFn>("NtCreateFile");
    entry.reset();
    if (!createFile || name.empty() || name.size() * sizeof(wchar_t) > 0xFFFE) {
        return OpenResult::Failed;
    }
    UNICODE_STRING relativeName;
    relativeName.Buffer = const_cast<PWSTR>(name.c_str());
    relativeName.Length = relativeName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &relativeName, OBJ_CASE_INSENSITIVE, parent, nullptr);
    IO_STATUS_BLOCK io{};
    // FILE_OPEN_FOR_BACKUP_INTENT lets an administrator's open pass the folder's own ACL where
    // the backup privilege is held, as FILE_FLAG_BACKUP_SEMANTICS does for CreateFileW.
    const ULONG options = FILE_SYNCHRONOUS_IO_NONALERT | (throughFilter ? 0 : FILE_OPEN_REPARSE_POINT) |
                          FILE_OPEN_FOR_BACKUP_INTENT | (folder ? FILE_DIRECTORY_FILE : 0);
    HANDLE opened = INVALID_HANDLE_VALUE;
    const NTSTATUS status = createFile(&opened, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io, nullptr,
                                       0, share, FILE_OPEN, options, nullptr, 0);
    if (status < 0) {
        return ResultOfOpen(status);
    }
    entry.reset(opened);
    return OpenResult::Opened;
}

bool FolderListing::next(ListedEntry& entry, bool& finished) {
    finished = false;
    if (offset_ >= filled_) {
        buffer_.resize(kListingBufferBytes / sizeof(LONGLONG));
        const FILE_INFO_BY_HANDLE_CLASS kind = started_ ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo;
        started_ = true;
        if (!GetFileInformationByHandleEx(folder_, kind, buffer_.data(), kListingBufferBytes)) {
            finished = GetLastError() == ERROR_NO_MORE_FILES;
            return false;
        }
        offset_ = 0;
        filled_ = kListingBufferBytes;
    }
    const auto* record =
        reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const BYTE*>(buffer_.data()) + offset_);
    entry.name.assign(record->FileName, record->FileNameLength / sizeof(wchar_t));
    entry.attributes = record->FileAttributes;
    // For a reparse point the listing puts the tag where the extended attributes' size would be.
    entry.reparseTag = (record->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? record->EaSize : 0;
    entry.fileId = record->FileId.QuadPart;
    offset_ = record->NextEntryOffset ? offset_ + record->NextEntryOffset : filled_;
    return true;
}

bool QueryAttributes(HANDLE file, DWORD& attributes, DWORD& reparseTag) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info)) {
        return false;
    }
    attributes = info.FileAttributes;
    reparseTag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
    return true;
}

bool QueryFileId(HANDLE file, LONGLONG& fileId) {
    static const auto queryFile = NtdllFunction<NtQueryInformationFileFn>("NtQueryInformationFile");
    LARGE_INTEGER id{};
    IO_STATUS_BLOCK io{};
    if (!queryFile || queryFile(file, &io, &id, sizeof id, kFileInternalInformation) < 0) {
        return false;
    }
    fileId = id.QuadPart;
    return true;
}

bool QueryFinalPath(HANDLE file, std::wstring& path) {
    // The object's own name, in the system's form (\Device\HarddiskVolume3\... on Windows,
    // \??\C:\... on Wine): what GetFinalPathNameByHandleW starts from, without its conversion
    // to a drive letter, which parent and child don't need to be compared. Wine's
    // GetFinalPathNameByHandleW also fails for names longer than MAX_PATH.
    static const auto queryObject = NtdllFunction<NtQueryObjectFn>("NtQueryObject");
    path.clear();
    if (!queryObject) {
        return false;
    }
    std::vector<LONGLONG> buffer((sizeof(OBJECT_NAME_INFORMATION) + (MAX_PATH + 1) * sizeof(wchar_t)) /
                                 sizeof(LONGLONG));
    for (;;) {
        const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(LONGLONG));
        ULONG needed = 0;
        const NTSTATUS status = queryObject(file, ObjectNameInformation, buffer.data(), size, &needed);
        if (status >= 0) {
            const auto* info = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
            path.assign(info->Name.Buffer, info->Name.Length / sizeof(wchar_t));
            return !path.empty();
        }
        if (needed <= size || needed > 0x20000) {
            return false;
        }
        buffer.resize(needed / sizeof(LONGLONG) + 1);
    }
}

bool SetAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO info{};  // zero times: leave them as they are
    info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info) != 0;
}

bool MarkForDeletion(HANDLE entry) {
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    return SetFileInformationByHandle(entry, FileDispositionInfo, &info, sizeof info) != 0;
}

bool SystemOpensLinksThemselves() {
    static const bool opensLinks = GetProcAddress(Ntdll(), "wine_get_version") == nullptr;
    return opensLinks;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
