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
// SIDs ("S-1-5-21-" and numbers), with their profile folders expanded. The system's own
// accounts, and leftovers such as "<SID>.bak", are not users.
std::vector<UserProfile> ListUserProfiles(RegistryApi& registry);

// The name ProfileList gives the key of `sid`, for the log.
std::wstring ProfileListKeyName(const std::wstring& sid);

bool IsUserSid(const std::wstring& name);

// A user's own folders, from the User Shell Folders values in the user's hive.
struct UserFolders {
    std::wstring roaming;    // AppData
    std::wstring local;      // Local AppData
    std::wstring documents;  // Personal
};

// Reads the user's folders from `hive` (the user's HKCU). A missing value gives the folder's
// default below `profile`; a value that names a folder through anything but %USERPROFILE%,
// which stands for `profile`, or that is not an absolute path, gives an empty folder (not
// known, passed over), since the other variables would be this process's, not the user's.
UserFolders ReadUserFolders(RegistryApi& registry, HKEY hive, const std::wstring& profile);
std::wstring UserFolderFromValue(const std::wstring& value, const std::wstring& profile);

// The string SID of the user this process runs as ("S-1-5-18" for the system account), or
// empty when the token can't be read.
std::wstring ProcessUserSid();
constexpr wchar_t kSystemAccountSid[] = L"S-1-5-18";
