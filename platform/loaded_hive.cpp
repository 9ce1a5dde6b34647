#include "platform/loaded_hive.h"

#include <set>
#include <vector>

#include "platform/text.h"

namespace {

// The names of the hives this process loaded. Only the GUI thread loads hives.
std::set<std::wstring>& NamesLoadedHere() {
    static std::set<std::wstring> names;
    return names;
}

}  // namespace

bool EnableHivePrivileges() {
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        return false;
    }
    const wchar_t* const names[] = {SE_BACKUP_NAME, SE_RESTORE_NAME};
    std::vector<BYTE> buffer(sizeof(TOKEN_PRIVILEGES) + sizeof(LUID_AND_ATTRIBUTES));
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    privileges->PrivilegeCount = 2;
    for (DWORD i = 0; i < 2; ++i) {
        if (!LookupPrivilegeValueW(nullptr, names[i], &privileges->Privileges[i].Luid)) {
            return false;
        }
        privileges->Privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
    }
    // AdjustTokenPrivileges succeeds when the token lacks a privilege too; only the last
    // error tells.
    return AdjustTokenPrivileges(token.get(), FALSE, privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

LSTATUS UnloadHive(const std::wstring& name) {
    constexpr int kAttempts = 5;
    constexpr DWORD kPauseMs = 200;
    LSTATUS status = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) Sleep(kPauseMs);
        status = RegUnLoadKeyW(HKEY_USERS, name.c_str());
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
            return status;
        }
    }
    return status;
}

LSTATUS UnloadHive(unique_loaded_hive& hive) {
    if (!hive) {
        return ERROR_SUCCESS;
    }
    std::wstring* name = hive.release();
    const LSTATUS status = UnloadHive(*name);
    delete name;
    return status;
}

LSTATUS LoadHive(const std::wstring& name, const std::wstring& file, unique_loaded_hive& hive) {
    hive.reset();
    const LSTATUS status = RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
    if (status == ERROR_SUCCESS) {
        hive.reset(new std::wstring(name));
        NamesLoadedHere().insert(name);
    }
    return status;
}

bool LoadedByThisProcess(const std::wstring& name) {
    for (const std::wstring& loaded : NamesLoadedHere()) {
        if (SameText(loaded, name)) return true;
    }
    return false;
}
