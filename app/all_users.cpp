#include "app/all_users.h"

#include <windows.h>

#include "app/leftover_hives.h"
#include "files/folder_removal.h"
#include "files/settings_files.h"
#include "platform/handle_files.h"
#include "platform/long_path.h"
#include "report/operations_logger.h"

const wchar_t kCleanUser[] = L"clean user: ";

namespace {

constexpr wchar_t kClassesHiveFile[] = L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
constexpr wchar_t kClassesSuffix[] = L"_Classes";

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(ExtendedPath(path).c_str()); }

}  // namespace

SpecialFolderLookup UserFolderLookup(const UserFolders& folders) {
    return [folders](int csidl, std::wstring& path) {
        path = csidl == kCsidlAppData        ? folders.roaming
               : csidl == kCsidlLocalAppData ? folders.local
               : csidl == kCsidlPersonal     ? folders.documents
                                             : std::wstring();
        return !path.empty();
    };
}

OtherUsers::OtherUsers(RegistryApi& registry, const std::vector<UserProfile>& profiles, const std::wstring& ownSid,
                       OperationsLogger& logger) {
    users_.reserve(profiles.size());
    for (const UserProfile& profile : profiles) {
        if (profile.sid == ownSid) {
            continue;
        }
        if (profile.folder.empty()) {
            logger.log(kCleanUser, ProfileListKeyName(profile.sid).c_str(), 0);
            continue;
        }
        // A profile that was removed but left its key behind holds nothing to clean.
        if (!IsFolder(profile.folder)) {
            continue;
        }
        User user;
        if (!open(registry, profile, user, logger)) {
            continue;  // what it loaded is unloaded here
        }
        hives_.push_back(UserHives{profile.sid, user.hive.get().key, user.classes.get().key});
        // A folder the user redirected to where the machine must not go is passed over, and fails.
        std::vector<std::wstring> refused;
        folders_.push_back(UserFolderLookup(ReadUserFolders(registry, user.hive.get().key, profile.folder, &refused)));
        for (const std::wstring& value : refused) logger.log(kCleanUser, value.c_str(), 0);
        users_.push_back(std::move(user));
    }
}

bool OtherUsers::open(RegistryApi& registry, const UserProfile& profile, User& user, OperationsLogger& logger) {
    // A user who is logged on has both hives loaded under the SID; their files are in use.
    // The hives are only read through these keys: rules open what they need below them.
    if (OpenRegistryKey(registry, HKEY_USERS, profile.sid.c_str(), KEY_READ, user.hive) == ERROR_SUCCESS) {
        OpenRegistryKey(registry, HKEY_USERS, (profile.sid + kClassesSuffix).c_str(), KEY_READ, user.classes);
        return true;
    }
    if (!privilegesTried_) {
        privilegesTried_ = true;
        privileges_ = EnableHivePrivileges();
    }
    // A name no user has, and that no other run of the cleaner uses at the same time.
    const std::wstring name = TemporaryHiveName(GetCurrentProcessId(), profile.sid);
    const std::wstring file = UserHiveFile(profile.folder);
    user.file = file;
    if (!privileges_ || LoadHive(name, file, user.loaded) != ERROR_SUCCESS ||
        OpenRegistryKey(registry, HKEY_USERS, name.c_str(), KEY_READ, user.hive) != ERROR_SUCCESS) {
        logger.log(kCleanUser, file.c_str(), 0);
        return false;
    }
    // A user who has never logged on may have no classes hive yet: nothing to clean there.
    const std::wstring classesFile = profile.folder + kClassesHiveFile;
    if (Attributes(classesFile) == INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    const std::wstring classesName = name + kClassesSuffix;
    user.classesFile = classesFile;
    if (LoadHive(classesName, classesFile, user.loadedClasses) != ERROR_SUCCESS ||
        OpenRegistryKey(registry, HKEY_USERS, classesName.c_str(), KEY_READ, user.classes) != ERROR_SUCCESS) {
        logger.log(kCleanUser, classesFile.c_str(), 0);
        return false;
    }
    return true;
}

void OtherUsers::close(OperationsLogger& logger) {
    hives_.clear();
    folders_.clear();
    for (User& user : users_) {
        user.classes.reset();
        user.hive.reset();
        // A hive left loaded keeps its user from their own profile until the machine restarts.
        if (UnloadHive(user.loadedClasses) != ERROR_SUCCESS) {
            logger.log(kCleanUser, user.classesFile.c_str(), 0);
        }
        if (UnloadHive(user.loaded) != ERROR_SUCCESS) {
            logger.log(kCleanUser, user.file.c_str(), 0);
        }
    }
    users_.clear();
}

std::unique_ptr<OtherUsers> FindOtherUsers(bool allUsers, RegistryApi& registry, OperationsLogger& logger) {
    UnloadLeftoverHives(registry, logger);
    if (!allUsers) {
        return std::make_unique<OtherUsers>();
    }
    return std::make_unique<OtherUsers>(registry, ListUserProfiles(registry), ProcessUserSid(), logger);
}

void CleanFilesOfEveryUser(OperationsLogger& logger, const OtherUsers& others, RemovalSteps& steps) {
    CleanSettingsFiles(&logger, LookUpSpecialFolder, steps);
    for (const SpecialFolderLookup& folders : others.folders()) {
        CleanSettingsFiles(&logger, folders, steps);
    }
    RemoveProductFolders(&logger, LookUpSpecialFolder, steps);
    for (const SpecialFolderLookup& folders : others.folders()) {
        RemoveProductFolders(&logger, folders, steps);
    }
}
