#pragma once
// Every user of the machine, for the runs that deployment tools start as the system account or
// with "/allusers". The process's own user is cleaned as always, through HKCU and its own special
// folders; this finds the others, and opens each one's registry hives (loading the hives of
// those who are not logged on) and knows their folders for that user's part of the run alone:
// a run killed midway leaves one user's hives loaded at most, and a hive is never loaded for
// longer than its user's cleaning takes.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/removal_steps.h"
#include "installer/registration.h"
#include "platform/loaded_hive.h"
#include "platform/registry_key.h"
#include "platform/shell_folder.h"
#include "platform/user_profiles.h"
#include "registry/registry_pass.h"
#include "registry/user_hives.h"
#include "report/progress_cleaner.h"

class OperationsLogger;

// The kind of the records about a user's part as a whole. Failed: what could not be read (their
// profile, or a hive that is there), or a hive that could not be unloaded. Passed over: what the
// cleaner leaves alone by choice or for want of anything there (a profile folder that is gone,
// a hive file that is gone, a folder of theirs it must not go to).
extern const wchar_t kCleanUser[];

// What a run cleans for one other user, with their hives open and their folders known.
using UserCleaner = std::function<void(const UserHives& hives, const SpecialFolderLookup& folders)>;

class OtherUsers {
public:
    // No users: a run for the current user alone.
    OtherUsers() = default;
    // Every user in ProfileList but `ownSid`, each reached through `registry` (whose keys the
    // users' keys are opened and closed through) when their turn comes.
    OtherUsers(RegistryApi& registry, std::vector<UserProfile> profiles, const std::wstring& ownSid);
    OtherUsers(const OtherUsers&) = delete;
    OtherUsers& operator=(const OtherUsers&) = delete;

    // The users still to be visited, whether or not they turn out to be readable.
    size_t count() const { return profiles_.size(); }
    // Of them, once cleanEach is done: those whose part ran, and those passed over whole.
    int visited() const { return visited_; }
    int passedOver() const { return passedOver_; }

    // Visits the users one at a time, in ProfileList's order: opens the user's hives, loading
    // those that are not loaded, hands them and the user's folders to `clean`, closes the keys
    // and unloads what it loaded, each unload checked, before the next user. A user whose
    // profile or hive can't be read is passed over whole with one failed record; a profile
    // folder that is gone holds nothing to clean, and is passed over with a passed-over record;
    // a user whose hive file is gone (and who is not logged on) has no registry to clean, and
    // is cleaned without hives (null in UserHives) after a passed-over record naming the file;
    // a folder of the user's that ReadUserFolders refuses has its passed-over record; a hive
    // that stays loaded has its failed record: "clean user: " and its file.
    void cleanEach(OperationsLogger& logger, const UserCleaner& clean);

private:
    // Destroyed in reverse: the keys are closed before their hives are unloaded.
    struct User {
        unique_loaded_hive loaded;
        unique_loaded_hive loadedClasses;
        unique_registry_key hive;
        unique_registry_key classes;
        std::wstring file;  // the hive files, when loaded here
        std::wstring classesFile;
    };
    bool open(const UserProfile& profile, User& user, OperationsLogger& logger);
    static void close(User& user, OperationsLogger& logger);

    RegistryApi* registry_ = nullptr;
    std::vector<UserProfile> profiles_;
    bool privileges_ = false;
    bool privilegesTried_ = false;
    int visited_ = 0;
    int passedOver_ = 0;
};

// A lookup that answers the user's own roaming, local and documents folders, and fails for the rest.
SpecialFolderLookup UserFolderLookup(const UserFolders& folders);

// The other users for a run: all of them when `allUsers`, else none. Hives a killed run left
// loaded are the caller's to unload first (app/leftover_hives.h).
std::unique_ptr<OtherUsers> FindOtherUsers(bool allUsers, RegistryApi& registry);

// The cleaners of one run: the current user's settings files and product folders, the registry
// of the machine and the current user, and the installer's files of the products found there;
// then each of `others` in turn, with their hives open: their settings files, product folders,
// registry (app/registry_steps.h CleanUserRegistry, through the user's pass) and icons folders.
// `pass` is the machine's registry pass; its log also takes the files' and the users' records.
// `owners` says whose installer data the machine's part may remove. The progress (may be null) is
// shared out evenly between the current user's part and each other user's; files and folders go
// through `steps`.
void CleanEveryUser(const RegistryPass& pass, OtherUsers& others, const InstallerDataOwners& owners,
                    ProgressCleaner* progress, RemovalSteps& steps);

// "/postinstall": the settings files of the user the program runs as, then, with `allUsers`, of
// each other user in turn, their hives open for their turn alone, as CleanEveryUser visits them.
void CleanEveryUsersSettingsFiles(bool allUsers, RegistryApi& registry, OperationsLogger& logger);
