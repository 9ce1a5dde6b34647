#pragma once
// The users who have a profile on this machine, and where each one's folders are.

#include <string>
#include <vector>

#include "platform/registry_api.h"

// One profile of ProfileList. `folder` is empty when its ProfileImagePath can't be read.
struct UserProfile {
    std::wstring sid;
    std::wstring folder;
};

// The subkeys of HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList that are user
// SIDs (IsUserSid), with their profile folders expanded. The system's own accounts, and
// leftovers such as "<SID>.bak", are not users.
std::vector<UserProfile> ListUserProfiles(RegistryApi& registry);

// The name ProfileList gives the key of `sid`, for the log.
std::wstring ProfileListKeyName(const std::wstring& sid);

// A person's account: local and domain users ("S-1-5-21-" and numbers) and Microsoft Entra ID
// users of a cloud-joined device ("S-1-12-1-" and numbers). The system, service and other
// well-known accounts are not.
bool IsUserSid(const std::wstring& name);

// True for the system account's SID (S-1-5-18) and the Administrators group's (S-1-5-32-544):
// the owners that only administrators can give an object.
bool IsSystemOrAdministrators(PSID sid);

// The hive file of the profile in `profile`: NTUSER.DAT, or NTUSER.MAN, the hive of a
// mandatory profile, when there is no NTUSER.DAT.
std::wstring UserHiveFile(const std::wstring& profile);

// A user's own folders, from the User Shell Folders values in the user's hive.
struct UserFolders {
    std::wstring roaming;    // AppData
    std::wstring local;      // Local AppData
    std::wstring documents;  // Personal
};

// Reads the user's folders from `hive` (the user's HKCU; null: a user without one, whose
// folders are all the defaults). A missing value gives the folder's
// default below `profile`; a value that names a folder through anything but %USERPROFILE%,
// which stands for `profile`, or that is not a local path on a drive letter, gives an empty
// folder (passed over), and its value goes to `refused`: the other variables would be this
// process's, not the user's, and a network or device path would be opened with the machine's
// credentials, where the user chose.
UserFolders ReadUserFolders(RegistryApi& registry, HKEY hive, const std::wstring& profile,
                            std::vector<std::wstring>* refused = nullptr);
std::wstring UserFolderFromValue(const std::wstring& value, const std::wstring& profile);

// True for "X:\..." alone: a local absolute path on a drive letter, with no forward slash and no
// further colon. Not UNC ("\\host\share"), "\\?\" or "\\.\" paths (devices, volume GUIDs, "\\?\UNC"),
// nor relative ones.
bool IsLocalDrivePath(const std::wstring& path);

// The string SID of the user this process runs as ("S-1-5-18" for the system account), or
// empty when the token can't be read.
std::wstring ProcessUserSid();
constexpr wchar_t kSystemAccountSid[] = L"S-1-5-18";
// The same user's account name, "DOMAIN\name" as Windows names it (in its own language: "NT
// AUTHORITY\SYSTEM" on an English system), or empty when it can't be looked up.
std::wstring ProcessUserName();
