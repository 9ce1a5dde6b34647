#include "platform/user_profiles.h"

#include <sddl.h>
#include <windows.h>

#include <cwctype>
#include <vector>

#include "platform/long_path.h"
#include "platform/registry_key.h"
#include "platform/registry_value.h"
#include "platform/text.h"
#include "platform/unique_any.h"

namespace {

constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kUserShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kUserProfile[] = L"%USERPROFILE%";
constexpr DWORD kNameBuffer = 512;
// Profile paths and shell folders are written expandable, and not always with a terminator.
constexpr unsigned kProfileStrings = kPlainString | kExpandableString | kUnterminatedString;

// Machine-wide variables only (ProfileImagePath holds %SystemDrive%); empty on failure.
std::wstring ExpandMachineStrings(const std::wstring& text) {
    DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring expanded(size, L'\0');
    size = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], size);
    if (size == 0 || size > expanded.size()) return std::wstring();
    expanded.resize(size - 1);
    return expanded;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring ReadUserFolder(RegistryApi& registry, HKEY folders, const wchar_t* name, const std::wstring& fallback) {
    std::wstring value;
    if (!folders || !ReadStringValue(registry, folders, name, &value, kProfileStrings)) {
        return fallback;
    }
    return value.empty() ? fallback : value;
}

}  // namespace

bool IsUserSid(const std::wstring& name) {
    for (const std::wstring prefix : {L"S-1-5-21-", L"S-1-12-1-"}) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        for (size_t i = prefix.size(); i < name.size(); ++i) {
            if (!std::iswdigit(name[i]) && !(name[i] == L'-' && name[i - 1] != L'-')) return false;
        }
        return name.back() != L'-';
    }
    return false;
}

bool IsSystemOrAdministrators(PSID sid) {
    return sid && IsValidSid(sid) && (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

std::wstring UserHiveFile(const std::wstring& profile) {
    const std::wstring user = profile + L"\\NTUSER.DAT";
    const std::wstring mandatory = profile + L"\\NTUSER.MAN";
    if (GetFileAttributesW(ExtendedPath(user).c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesW(ExtendedPath(mandatory).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return mandatory;
    }
    return user;
}

bool IsLocalDrivePath(const std::wstring& path) {
    const bool letter = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    return letter && path[1] == L':' && path[2] == L'\\' && path.find_first_of(L"/:", 2) == std::wstring::npos;
}

std::wstring ProfileListKeyName(const std::wstring& sid) {
    return std::wstring(L"HKLM\\") + kProfileList + L'\\' + sid;
}

std::vector<UserProfile> ListUserProfiles(RegistryApi& registry) {
    std::vector<UserProfile> profiles;
    unique_registry_key list;
    if (OpenRegistryKey(registry, HKEY_LOCAL_MACHINE, kProfileList, KEY_READ | KEY_WOW64_64KEY, list) !=
        ERROR_SUCCESS) {
        return profiles;
    }
    RegistryKeyInfo info;
    if (registry.queryInfoKey(list.get().key, &info) != ERROR_SUCCESS) return profiles;
    std::vector<wchar_t> name(kNameBuffer);
    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kNameBuffer;
        if (registry.enumKey(list.get().key, index, name.data(), &length) != ERROR_SUCCESS) continue;
        UserProfile profile{std::wstring(name.data(), length), std::wstring()};
        if (!IsUserSid(profile.sid)) continue;
        unique_registry_key key;
        std::wstring path;
        if (OpenRegistryKey(registry, list.get().key, profile.sid.c_str(), KEY_READ | KEY_WOW64_64KEY, key) ==
                ERROR_SUCCESS &&
            ReadStringValue(registry, key.get().key, L"ProfileImagePath", &path, kProfileStrings)) {
            profile.folder = WithoutTrailingSeparators(ExpandMachineStrings(path));
            if (!IsAbsolutePath(profile.folder + L'\\')) profile.folder.clear();
        }
        profiles.push_back(std::move(profile));
    }
    return profiles;
}

std::wstring UserFolderFromValue(const std::wstring& value, const std::wstring& profile) {
    std::wstring folder = value;
    const size_t length = sizeof kUserProfile / sizeof kUserProfile[0] - 1;
    if (folder.size() >= length && SameText(folder.substr(0, length), kUserProfile)) {
        folder.replace(0, length, profile);
    }
    folder = WithoutTrailingSeparators(folder);
    if (folder.find(L'%') != std::wstring::npos || !IsLocalDrivePath(folder + L'\\')) {
        return std::wstring();
    }
    return folder;
}

UserFolders ReadUserFolders(RegistryApi& registry, HKEY hive, const std::wstring& profile,
                            std::vector<std::wstring>* refused) {
    unique_registry_key folders;
    if (hive) {
        OpenRegistryKey(registry, hive, kUserShellFolders, KEY_READ, folders);
    }
    const HKEY key = folders.get().key;
    const auto folder = [&](const wchar_t* name, const wchar_t* fallback) {
        const std::wstring value = ReadUserFolder(registry, key, name, fallback);
        std::wstring path = UserFolderFromValue(value, profile);
        if (path.empty() && refused) refused->push_back(value);
        return path;
    };
    UserFolders found;
    found.roaming = folder(L"AppData", L"%USERPROFILE%\\AppData\\Roaming");
    found.local = folder(L"Local AppData", L"%USERPROFILE%\\AppData\\Local");
    found.documents = folder(L"Personal", L"%USERPROFILE%\\Documents");
    return found;
}

namespace {

// The TOKEN_USER of this process's token; empty when it can't be read.
std::vector<BYTE> ProcessTokenUser() {
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

}  // namespace

std::wstring ProcessUserSid() {
    std::vector<BYTE> user = ProcessTokenUser();
    unique_local<wchar_t*> text;
    if (user.empty() || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, text.put())) {
        return std::wstring();
    }
    return text.get();
}

std::wstring ProcessUserName() {
    std::vector<BYTE> user = ProcessTokenUser();
    if (user.empty()) return std::wstring();
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    DWORD nameSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use;
    LookupAccountSidW(nullptr, sid, nullptr, &nameSize, nullptr, &domainSize, &use);
    if (nameSize == 0) return std::wstring();
    std::vector<wchar_t> name(nameSize);
    std::vector<wchar_t> domain(domainSize ? domainSize : 1);
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use)) {
        return std::wstring();
    }
    const std::wstring domainText = domain.data();
    return domainText.empty() ? std::wstring(name.data()) : domainText + L'\\' + name.data();
}
