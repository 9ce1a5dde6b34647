#include "registry/remove_value.h"

#include <vector>

#include "registry/recorded_removal.h"
#include "registry/reg_file_text.h"
#include "registry/registry_backup.h"

const wchar_t kRemoveRegistryValue[] = L"remove registry value: ";

namespace {

constexpr int kReadAttempts = 4;  // a value that keeps growing while it is read is given up

// The value whole, however long: asked for its size, then read, again while it grows.
LSTATUS ReadWholeValue(RegistryApi& registry, HKEY key, const std::wstring& name, DWORD* type,
                       std::vector<BYTE>* data) {
    DWORD size = 0;
    LSTATUS status = registry.queryValue(key, name.c_str(), type, nullptr, &size);
    for (int attempt = 0; attempt < kReadAttempts && status == ERROR_SUCCESS; ++attempt) {
        data->resize(size + 1);  // never empty: a null buffer would only ask for the size
        size = static_cast<DWORD>(data->size());
        status = registry.queryValue(key, name.c_str(), type, data->data(), &size);
        if (status == ERROR_SUCCESS) {
            data->resize(size);
            return ERROR_SUCCESS;
        }
        if (status == ERROR_MORE_DATA) {
            status = ERROR_SUCCESS;  // grown since: ask again with the size it gave
        }
    }
    return status == ERROR_SUCCESS ? ERROR_MORE_DATA : status;
}

}  // namespace

std::wstring LoggedValuePath(const std::wstring& loggedKey, const std::wstring& name) {
    return loggedKey + L"\\\\" + name;
}

bool RemoveRegistryValue(const RegistryPass& pass, HKEY key, const std::wstring& name, REGSAM access,
                         const RecordNames& keyNames) {
    RegistryApi& registry = pass.registry();
    RegistryBackup* backup = pass.backup();
    const auto save = [&] {
        // A name that the backup cannot carry could not be put back (and one with a NUL would
        // name another value to every call that takes it as a string): the value stays.
        if (!WritableName(name)) return BackupOutcome::Unreadable;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        const LSTATUS status = ReadWholeValue(registry, key, name, &type, &data);
        if (status == ERROR_FILE_NOT_FOUND) return BackupOutcome::Gone;
        if (status != ERROR_SUCCESS) return BackupOutcome::Unreadable;
        if (backup &&
            !backup->saveValue(keyNames.backup, name, {type, data.data(), static_cast<DWORD>(data.size())}, access)) {
            return BackupOutcome::NotWritten;
        }
        return BackupOutcome::Saved;
    };
    const auto remove = [&] {
        const LSTATUS status = registry.deleteValue(key, name.c_str());
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    };
    return RemoveRecorded(pass.log(), kRemoveRegistryValue, LoggedValuePath(keyNames.logged, name), save, remove);
}
