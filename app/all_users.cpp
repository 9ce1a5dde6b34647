#include "app/all_users.h"

#include <windows.h>

#include <algorithm>

#include "app/leftover_hives.h"
#include "app/registry_steps.h"
#include "files/folder_removal.h"
#include "files/settings_files.h"
#include "installer/cached_package.h"
#include "platform/long_path.h"
#include "report/operations_logger.h"

const wchar_t kCleanUser[] = L"clean user: ";

namespace {

constexpr wchar_t kClassesHiveFile[] = L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
constexpr wchar_t kClassesSuffix[] = L"_Classes";

// True only when `path` is not there: any other error (no access, say) may hide something to
// clean, and is not taken for nothing.
bool Missing(const std::wstring& path) {
    if (GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

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

OtherUsers::OtherUsers(RegistryApi& registry, std::vector<UserProfile> profiles, const std::wstring& ownSid)
    : registry_(&registry), profiles_(std::move(profiles)) {
    profiles_.erase(std::remove_if(profiles_.begin(), profiles_.end(),
                                   [&](const UserProfile& profile) { return profile.sid == ownSid; }),
                    profiles_.end());
}

void OtherUsers::cleanEach(OperationsLogger& logger, const UserCleaner& clean) {
    for (const UserProfile& profile : profiles_) {
        if (profile.folder.empty()) {
            logger.log(kCleanUser, ProfileListKeyName(profile.sid).c_str(), 0);
            ++passedOver_;
            continue;
        }
        // A profile that was removed but left its key behind holds nothing to clean.
        if (Missing(profile.folder)) {
            logger.log(kCleanUser, profile.folder.c_str(), kPassedOver);
            ++passedOver_;
            continue;
        }
        User user;
        if (!open(profile, user, logger)) {
            ++passedOver_;
            continue;  // what it loaded is unloaded here
        }
        ++visited_;
        // A folder the user redirected to where the machine must not go is passed over.
        std::vector<std::wstring> refused;
        const UserFolders folders = ReadUserFolders(*registry_, user.hive.get().key, profile.folder, &refused);
        for (const std::wstring& value : refused) logger.log(kCleanUser, value.c_str(), kPassedOver);
        clean(UserHives{profile.sid, user.hive.get().key, user.classes.get().key}, UserFolderLookup(folders));
        close(user, logger);
    }
}

bool OtherUsers::open(const UserProfile& profile, User& user, OperationsLogger& logger) {
    RegistryApi& registry = *registry_;
    // A user who is logged on has both hives loaded under the SID; their files are in use.
    // The hives are only read through these keys: rules open what they need below them.
    if (OpenRegistryKey(registry, HKEY_USERS, profile.sid.c_str(), KEY_READ, user.hive) == ERROR_SUCCESS) {
        OpenRegistryKey(registry, HKEY_USERS, (profile.sid + kClassesSuffix).c_str(), KEY_READ, user.classes);
        return true;
    }
    const std::wstring file = UserHiveFile(profile.folder);
    // No hive file, and no one logged on with it (a user deleted by hand, what a temporary
    // profile left): there is no registry of theirs to clean. Their folders are still cleaned.
    if (Missing(file)) {
        logger.log(kCleanUser, file.c_str(), kPassedOver);
        return true;
    }
    if (!privilegesTried_) {
        privilegesTried_ = true;
        privileges_ = EnableHivePrivileges();
    }
    // A name no user has, and that no other run of the cleaner uses at the same time.
    const std::wstring name = TemporaryHiveName(GetCurrentProcessId(), profile.sid);
    user.file = file;
    if (!privileges_ || LoadHive(name, file, user.loaded) != ERROR_SUCCESS ||
        OpenRegistryKey(registry, HKEY_USERS, name.c_str(), KEY_READ, user.hive) != ERROR_SUCCESS) {
        logger.log(kCleanUser, file.c_str(), 0);
        return false;
    }
    // A user who has never logged on may have no classes hive yet: nothing to clean there.
    const std::wstring classesFile = profile.folder + kClassesHiveFile;
    if (Missing(classesFile)) {
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

void OtherUsers::close(User& user, OperationsLogger& logger) {
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

std::unique_ptr<OtherUsers> FindOtherUsers(bool allUsers, RegistryApi& registry) {
    if (!allUsers) {
        return std::make_unique<OtherUsers>();
    }
    return std::make_unique<OtherUsers>(registry, ListUserProfiles(registry), ProcessUserSid());
}

void CleanEveryUser(const RegistryPass& pass, OtherUsers& others, const InstallerDataOwners& owners,
                    ProgressCleaner* progress, RemovalSteps& steps) {
    // A pass without a log records nowhere, as the cleaners' null sinks do.
    OperationsLogger unrecorded;
    OperationsLogger& logger = pass.log() ? *pass.log() : unrecorded;
    const unsigned parts = 1 + static_cast<unsigned>(others.count());
    CleanSettingsFiles(&logger, LookUpSpecialFolder, steps);
    RemoveProductFolders(&logger, LookUpSpecialFolder, steps);
    ProgressPart own(progress, 0, parts);
    const InstalledProducts installed = CleanRegistry(pass, &own, owners);
    const std::vector<std::wstring> codes = installed.bracedCodes();
    RemoveInstallerFiles({installed.localPackages, codes}, &logger, LookUpSpecialFolder, {}, steps);
    // A user's own install keeps its icons in their roaming folder; the Windows folder's are the machine's.
    const SpecialFolderLookup ownRoaming = [](int csidl, std::wstring& path) {
        return csidl == kCsidlAppData && LookUpSpecialFolder(csidl, path);
    };
    RemoveInstallerFiles({{}, installed.bracedUserCodes(owners.self)}, &logger, ownRoaming, {}, steps);

    unsigned index = 0;
    others.cleanEach(logger, [&](const UserHives& hives, const SpecialFolderLookup& folders) {
        ProgressPart part(progress, ++index, parts);
        CleanSettingsFiles(&logger, folders, steps);
        RemoveProductFolders(&logger, folders, steps);
        if (hives.hive) {
            CleanUserRegistry(pass.forUser(hives), installed.inHive(hives.sid), &part);
        }
        // The icons folders in the user's roaming folder; the cached packages are the machine's.
        std::vector<std::wstring> userCodes = codes;
        for (std::wstring& code : installed.bracedUserCodes(hives.sid)) userCodes.push_back(std::move(code));
        RemoveInstallerFiles({{}, userCodes}, &logger, folders, {}, steps);
    });
}

void CleanEveryUsersSettingsFiles(bool allUsers, RegistryApi& registry, OperationsLogger& logger) {
    const std::unique_ptr<OtherUsers> others = FindOtherUsers(allUsers, registry);
    CleanSettingsFiles(&logger);
    others->cleanEach(
        logger, [&](const UserHives&, const SpecialFolderLookup& folders) { CleanSettingsFiles(&logger, folders); });
}
