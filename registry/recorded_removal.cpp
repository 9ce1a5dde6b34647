#include "registry/recorded_removal.h"

#include <vector>

#include "platform/registry_key.h"
#include "registry/delete_key_tree.h"
#include "registry/reg_file_text.h"
#include "registry/rule_in_view.h"

namespace {

constexpr DWORD kKeyNameBuffer = 512;      // characters; key names are at most 255
constexpr DWORD kValueNameBuffer = 16384;  // characters: the longest value name and its terminator

// What keeps a key from being removed whole, found before anything of it is saved or deleted:
// the links in its subtree (paths below the key; empty for the key itself), and whether a
// key's or a value's name is one that the backup cannot carry.
struct Obstacles {
    std::vector<std::wstring> links;
    bool unwritable = false;
};

bool ValueNamesWritable(RegistryApi& registry, HKEY key, std::vector<wchar_t>& name) {
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (registry.enumValue(key, index, name.data(), &length, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return true;  // the end, or a value the backup's own reading will name as unread
        }
        if (!WritableName(std::wstring(name.data(), length))) return false;
    }
}

// Walks parent\path as the backup and the deletion take it, each key as it is: a link is noted
// and not entered. What cannot be opened or listed is left to the backup and the deletion,
// which report it as they always do.
Obstacles FindObstacles(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access) {
    Obstacles found;
    if (!WritableName(path)) {
        found.unwritable = true;
        return found;
    }
    const REGSAM read = KEY_READ | (access & kRegistryViewBits);
    struct Step {
        unique_registry_key key;
        std::wstring path;  // below the removed key
        DWORD next = 0;
    };
    std::vector<Step> walk;
    std::vector<wchar_t> keyName(kKeyNameBuffer), valueName(kValueNameBuffer);
    const auto enter = [&](HKEY from, const std::wstring& name, std::wstring below) {
        unique_registry_key key;
        const LSTATUS status = OpenKeyRefusingLink(registry, from, name.c_str(), read, key);
        if (status == kKeyIsLink) {
            found.links.push_back(std::move(below));
        } else if (status == ERROR_SUCCESS) {
            found.unwritable = found.unwritable || !ValueNamesWritable(registry, key.get().key, valueName);
            walk.push_back(Step{std::move(key), std::move(below)});
        }
    };
    enter(parent, path, std::wstring());
    while (!walk.empty()) {
        Step& step = walk.back();
        DWORD length = kKeyNameBuffer;
        if (walk.size() > static_cast<size_t>(kMaxKeyDepth) ||
            registry.enumKey(step.key.get().key, step.next++, keyName.data(), &length) != ERROR_SUCCESS) {
            walk.pop_back();
            continue;
        }
        const std::wstring name(keyName.data(), length);
        if (!WritableName(name)) {
            found.unwritable = true;
            continue;
        }
        enter(step.key.get().key, name, step.path.empty() ? name : step.path + L'\\' + name);  // `step` may move
    }
    return found;
}

}  // namespace

bool RemoveRecorded(OperationsLogger* logger, const wchar_t* kind, const std::wstring& target,
                    const std::function<BackupOutcome()>& save, const std::function<bool()>& remove) {
    bool removed = false;
    if (!logger || logger->mayRemove()) {
        const BackupOutcome saved = save ? save() : BackupOutcome::Saved;
        if (saved == BackupOutcome::NotWritten && logger) {
            logger->writeFailed();
        }
        // A key the backup did not find is not deleted either: whatever the delete might reach
        // under that name would be in no backup. Being gone, it counts as removed.
        removed = saved == BackupOutcome::Saved ? remove() : saved == BackupOutcome::Gone;
    }
    if (logger) {
        logger->log(kind, target, removed ? 1 : 0);
    }
    return removed;
}

bool RemoveKeyRecorded(const RegistryPass& pass, HKEY parent, const std::wstring& path, REGSAM access,
                       const RecordNames& names) {
    RegistryApi& registry = pass.registry();
    // A link stays, and so does every key on the way to it: removing the key would mean removing
    // the link, which no backup can bring back. Each link has its line; none is a failure.
    const Obstacles found = FindObstacles(registry, parent, path, access);
    for (const std::wstring& link : found.links) {
        pass.record(kRemoveRegistryKey, LoggedLinkPath(link.empty() ? names.logged : names.logged + L'\\' + link),
                    kPassedOver);
    }
    if (found.unwritable) {
        pass.record(kRemoveRegistryKey, names.logged, 0);
    }
    if (!found.links.empty() || found.unwritable) {
        return false;
    }
    RegistryBackup* backup = pass.backup();
    return RemoveRecorded(pass.log(), kRemoveRegistryKey, names.logged,
                          backup ? std::function<BackupOutcome()>(
                                       [&] { return backup->save(registry, parent, path, access, names.backup); })
                                 : std::function<BackupOutcome()>(),
                          [&] { return DeleteKeyTree(registry, parent, path, access); });
}
