#pragma once
// The one way the cleaner removes a single value from a key that stays: saved to the backup
// first, deleted only once the backup holds it, logged after.

#include <string>

#include "platform/registry_api.h"
#include "registry/registry_pass.h"

// The kind of the removal records of single values.
extern const wchar_t kRemoveRegistryValue[];

// The log's name of value `name` of the key logged as `loggedKey`: the key's logged path, two
// backslashes, and the name as it is. A key path never holds two backslashes in a row (no key
// name is empty or holds one), so everything after the first pair is the value's name, which
// may hold backslashes of its own; the default value ends the target with the pair.
std::wstring LoggedValuePath(const std::wstring& loggedKey, const std::wstring& name);

// Removes value `name` of the open `key` (opened with `access`, whose view bits say which
// backup file it goes to): reads it whole, hands it to the pass's backup (none may be kept) as a
// section of the key named `keyNames.backup`, and deletes it only when the backup kept it. Then
// records ("remove registry value: ", LoggedValuePath(keyNames.logged, name), outcome). A value
// already gone counts as removed; one that cannot be read, whose name the backup cannot carry
// (WritableName), or whose backup was not written, stays and is reported as failed. True when
// it is gone.
bool RemoveRegistryValue(const RegistryPass& pass, HKEY key, const std::wstring& name, REGSAM access,
                         const RecordNames& keyNames);
