#include "app/leftover_hives.h"

#include <cwchar>

#include "app/all_users.h"
#include "platform/loaded_hive.h"
#include "platform/process_list.h"
#include "platform/registry_api.h"
#include "report/operations_logger.h"

namespace {

constexpr size_t kPrefixLength = sizeof kTemporaryHivePrefix / sizeof kTemporaryHivePrefix[0] - 1;
constexpr DWORD kNameBuffer = 512;  // characters; key names are at most 255

// The process id in a temporary hive's name, or 0 when the name is not one.
DWORD LoadingProcess(const std::wstring& name) {
    if (name.size() <= kPrefixLength ||
        CompareStringOrdinal(name.c_str(), static_cast<int>(kPrefixLength), kTemporaryHivePrefix,
                             static_cast<int>(kPrefixLength), TRUE) != CSTR_EQUAL) {
        return 0;
    }
    size_t at = kPrefixLength;
    unsigned long long id = 0;
    while (at < name.size() && name[at] >= L'0' && name[at] <= L'9' && id <= 0xFFFFFFFFull) {
        id = id * 10 + (name[at++] - L'0');
    }
    // Digits, then "_" and a SID.
    if (at == kPrefixLength || id == 0 || id > 0xFFFFFFFFull || at + 1 >= name.size() || name[at] != L'_') {
        return 0;
    }
    return static_cast<DWORD>(id);
}

}  // namespace

std::wstring TemporaryHiveName(DWORD processId, const std::wstring& sid) {
    return kTemporaryHivePrefix + std::to_wstring(processId) + L'_' + sid;
}

std::vector<std::wstring> LeftoverHives(const std::vector<std::wstring>& names, DWORD self,
                                        const std::function<bool(DWORD)>& runs) {
    std::vector<std::wstring> leftovers;
    for (const std::wstring& name : names) {
        const DWORD id = LoadingProcess(name);
        if (id && id != self && !runs(id)) {
            leftovers.push_back(name);
        }
    }
    return leftovers;
}

void UnloadLeftoverHives(RegistryApi& registry, OperationsLogger& logger) {
    std::vector<std::wstring> names;
    wchar_t name[kNameBuffer];
    for (DWORD index = 0;; ++index) {
        DWORD length = kNameBuffer;
        const LSTATUS status = registry.enumKey(HKEY_USERS, index, name, &length);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) names.emplace_back(name, length);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
    }
    const std::vector<std::wstring> leftovers = LeftoverHives(names, GetCurrentProcessId(), ProcessRuns);
    if (leftovers.empty() || !EnableHivePrivileges()) {
        for (const std::wstring& leftover : leftovers) logger.log(kCleanUser, (L"HKU\\" + leftover).c_str(), 0);
        return;
    }
    // A classes hive ("..._Classes") sorts after its user's hive; either unloads on its own.
    for (const std::wstring& leftover : leftovers) {
        if (UnloadHive(leftover) != ERROR_SUCCESS) {
            logger.log(kCleanUser, (L"HKU\\" + leftover).c_str(), 0);
        }
    }
}
