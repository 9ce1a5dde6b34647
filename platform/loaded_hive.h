#pragma once
// Hives of users who are not logged on, loaded from their files under HKEY_USERS for a while.

#include <windows.h>

#include <string>

#include "platform/unique_any.h"

// Enables SeBackupPrivilege and SeRestorePrivilege in the process's token, which
// RegLoadKeyW and RegUnLoadKeyW need. Administrators and the system account hold both,
// disabled. True when both are enabled.
bool EnableHivePrivileges();

// Owns a hive loaded under HKEY_USERS\<name>: its end unloads it. The name is kept on the heap
// so that the owner can move. Every key opened inside the hive must be closed first, or the
// unload fails and the hive stays loaded.
struct LoadedHivePolicy {
    using pointer = std::wstring*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer name) noexcept {
        RegUnLoadKeyW(HKEY_USERS, name->c_str());
        delete name;
    }
};
using unique_loaded_hive = unique_any<LoadedHivePolicy>;

// RegLoadKeyW of `file` as HKEY_USERS\`name`. On failure the owner holds nothing.
LSTATUS LoadHive(const std::wstring& name, const std::wstring& file, unique_loaded_hive& hive);

// True when this process loaded a hive as HKEY_USERS\`name` (letter case aside) with LoadHive.
bool LoadedByThisProcess(const std::wstring& name);

// RegUnLoadKeyW of HKEY_USERS\`name`, tried again for about a second while it fails (a key
// in the hive still open in some process, say). ERROR_SUCCESS once it is unloaded.
LSTATUS UnloadHive(const std::wstring& name);
// The same for the hive `hive` owns, which then holds nothing, whatever the outcome.
LSTATUS UnloadHive(unique_loaded_hive& hive);
