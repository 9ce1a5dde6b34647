#include "app/leftover_hives.h"

#include "app/all_users.h"
#include "platform/loaded_hive.h"
#include "platform/registry_api.h"
#include "platform/text.h"
#include "report/operations_logger.h"

const wchar_t kUnloadLeftoverHive[] = L"unload leftover hive: ";

namespace {

constexpr size_t kPrefixLength = sizeof kTemporaryHivePrefix / sizeof kTemporaryHivePrefix[0] - 1;
constexpr DWORD kNameBuffer = 512;  // characters; key names are at most 255

// The leftover hives under HKEY_USERS of `registry`, as LeftoverHives chooses them.
std::vector<std::wstring> FindLeftoverHives(RegistryApi& registry) {
    std::vector<std::wstring> names;
    wchar_t name[kNameBuffer];
    for (DWORD index = 0;; ++index) {
        DWORD length = kNameBuffer;
        const LSTATUS status = registry.enumKey(HKEY_USERS, index, name, &length);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) names.emplace_back(name, length);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
    }
    return LeftoverHives(names, LoadedByThisProcess);
}

}  // namespace

std::wstring TemporaryHiveName(DWORD processId, const std::wstring& sid) {
    return kTemporaryHivePrefix + std::to_wstring(processId) + L'_' + sid;
}

std::vector<std::wstring> LeftoverHives(const std::vector<std::wstring>& names,
                                        const std::function<bool(const std::wstring&)>& loadedHere) {
    std::vector<std::wstring> leftovers;
    for (const std::wstring& name : names) {
        if (name.size() > kPrefixLength && StartsWithText(name, kTemporaryHivePrefix) && !loadedHere(name)) {
            leftovers.push_back(name);
        }
    }
    return leftovers;
}

void UnloadLeftoverHives(RegistryApi& registry, OperationsLogger& logger) {
    const std::vector<std::wstring> leftovers = FindLeftoverHives(registry);
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

void ListLeftoverHives(RegistryApi& registry, OperationsLogger& logger) {
    for (const std::wstring& leftover : FindLeftoverHives(registry)) {
        logger.log(kUnloadLeftoverHive, (L"HKU\\" + leftover).c_str(), 1);
    }
}
