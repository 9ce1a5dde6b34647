#pragma once
// Every user of the machine, for the runs that deployment tools start as the system account or
// with "/allusers". The process's own user is cleaned as always, through HKCU and its own special
// folders; this finds the others, opens their registry hives (loading the hives of those who are
// not logged on) and knows their folders, for the length of one run.

#include <memory>
#include <string>
#include <vector>

#include "files/removal_steps.h"
#include "platform/loaded_hive.h"
#include "platform/registry_key.h"
#include "platform/shell_folder.h"
#include "platform/user_profiles.h"
#include "registry/user_hives.h"

class OperationsLogger;

// The kind of the record that says a user was passed over: their profile or hive could not be
// read. It is a failure, and names what could not be read.
extern const wchar_t kCleanUser[];

class OtherUsers {
public:
    // No users: a run for the current user alone.
    OtherUsers() = default;
    // Every user in ProfileList but `ownSid` whose profile folder exists. A user whose profile
    // or hive can't be read is left out and reported to `logger` as one failed record.
    OtherUsers(RegistryApi& registry, const std::vector<UserProfile>& profiles, const std::wstring& ownSid,
               OperationsLogger& logger);
    // Closes the users' keys, then unloads the hives it loaded.
    ~OtherUsers() = default;
    OtherUsers(const OtherUsers&) = delete;
    OtherUsers& operator=(const OtherUsers&) = delete;

    // Closes the users' keys and unloads the hives it loaded, each checked: one that stays
    // loaded has its line, "clean user: " and its file, fail. The users are gone afterwards.
    void close(OperationsLogger& logger);

    const std::vector<UserHives>& hives() const { return hives_; }
    // Each user's folders, as the file cleaners look up special folders: the roaming, local and
    // documents folders, and no others (the program files rows are the machine's).
    const std::vector<SpecialFolderLookup>& folders() const { return folders_; }

private:
    // Destroyed in reverse: the keys are closed before their hives are unloaded.
    struct User {
        unique_loaded_hive loaded;
        unique_loaded_hive loadedClasses;
        unique_registry_key hive;
        unique_registry_key classes;
        std::wstring file;         // the hive files, when loaded here
        std::wstring classesFile;
    };
    bool open(RegistryApi& registry, const UserProfile& profile, User& user, OperationsLogger& logger);

    std::vector<User> users_;
    std::vector<UserHives> hives_;
    std::vector<SpecialFolderLookup> folders_;
    bool privileges_ = false;
    bool privilegesTried_ = false;
};

// A lookup that answers the user's own roaming, local and documents folders, and fails for the rest.
SpecialFolderLookup UserFolderLookup(const UserFolders& folders);

// The other users for a run: all of them when `allUsers`, else none. Hives a killed run left
// loaded are unloaded first (app/leftover_hives.h).
std::unique_ptr<OtherUsers> FindOtherUsers(bool allUsers, RegistryApi& registry, OperationsLogger& logger);

// The settings files of the current user and then of each other user, then the product folders
// the same way: the file cleaners of a run for every user, in their order.
void CleanFilesOfEveryUser(OperationsLogger& logger, const OtherUsers& others, RemovalSteps& steps);
