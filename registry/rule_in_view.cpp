#include "registry/rule_in_view.h"

#include <cwchar>
#include <vector>

#include "platform/registry_key.h"
#include "registry/backup_key_name.h"
#include "registry/delete_key_tree.h"
#include "registry/key_tree_mentions.h"
#include "registry/registry_rules.h"

const wchar_t kRemoveRegistryKey[] = L"remove registry key: ";

namespace {

constexpr DWORD kSubkeyNameBuffer = 512;

std::wstring LoggedKeyPath(const std::wstring& rootName, const wchar_t* path, bool wow64) {
    std::wstring logged = wow64 ? L"(64) " : L"";
    logged += rootName;
    if (*path) {
        logged += L'\\';
        logged += path;
    }
    return logged;
}

const wchar_t* RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return L"HKCR";
    if (root == HKEY_CURRENT_USER) return L"HKCU";
    if (root == HKEY_LOCAL_MACHINE) return L"HKLM";
    return L"";
}

// Every key a rule removes goes through here: saved to the backup, then deleted with its subtree.
bool RemoveFoundKey(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access, RegistryBackup* backup,
                    const std::wstring& backupName) {
    if (backup) {
        backup->save(registry, parent, path, access, backupName);
    }
    return DeleteKeyTree(registry, parent, path, access);
}

bool ContentMentions(RegistryApi& registry, HKEY ruleKey, const wchar_t* name, const wchar_t* pattern, REGSAM access) {
    // Only reading is needed here. The view bit must come along all the same: a 32-bit
    // process under WOW64 that opens a subkey without one lands in the 32-bit view, whatever
    // view the rule key was opened in.
    unique_registry_key candidate;
    if (OpenRegistryKey(registry, ruleKey, name, KEY_READ | (access & kRegistryViewBits), candidate) != ERROR_SUCCESS) {
        return false;
    }
    return KeyTreeMentions(registry, candidate.get().key, pattern, access);
}

}  // namespace

std::wstring LoggedKeyPath(HKEY root, const wchar_t* path, bool wow64) {
    return LoggedKeyPath(RootName(root), path, wow64);
}

NamedRoot PredefinedRoot(HKEY root) { return {root, RootName(root), BackupKeyName(root, L"")}; }

void RemoveMatchingSubkeys(RegistryApi& registry, HKEY ruleKey, const wchar_t* pattern, const std::wstring& loggedPath,
                           REGSAM access, int mode, OperationsLogger* logger, RegistryBackup* backup,
                           const std::wstring& backupName) {
    RegistryKeyInfo info;
    if (registry.queryInfoKey(ruleKey, &info) != ERROR_SUCCESS || info.subkeys == 0) {
        return;
    }
    // Names are collected first and deleted after the enumeration, since each deletion
    // shifts the indexes of the keys after it.
    std::vector<std::wstring> collected;
    wchar_t name[kSubkeyNameBuffer];
    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kSubkeyNameBuffer;
        if (registry.enumKey(ruleKey, index, name, &length) != ERROR_SUCCESS) {
            continue;
        }
        if (std::wcsstr(name, pattern) ||
            (mode == MatchNameOrContent && ContentMentions(registry, ruleKey, name, pattern, access))) {
            collected.emplace_back(name, length);
        }
    }
    for (const std::wstring& found : collected) {
        const std::wstring name = backup ? backupName + L'\\' + found : std::wstring();
        bool removed = RemoveFoundKey(registry, ruleKey, found, access, backup, name);
        if (logger) {
            logger->log(kRemoveRegistryKey, (loggedPath + L'\\' + found).c_str(), removed ? 1 : 0);
        }
    }
}

void ApplyRuleInView(RegistryApi& registry, bool wow64, HKEY root, const wchar_t* path, const wchar_t* pattern,
                     REGSAM access, int mode, OperationsLogger* logger, RegistryBackup* backup) {
    ApplyRuleInView(registry, wow64, PredefinedRoot(root), path, pattern, access, mode, logger, backup);
}

void ApplyRuleInView(RegistryApi& registry, bool wow64, const NamedRoot& namedRoot, const wchar_t* path,
                     const wchar_t* pattern, REGSAM access, int mode, OperationsLogger* logger,
                     RegistryBackup* backup) {
    const HKEY root = namedRoot.key;
    const std::wstring loggedPath = LoggedKeyPath(namedRoot.loggedName, path, wow64);
    std::wstring backupName = backup ? namedRoot.backupName : std::wstring();
    if (backup && *path) {
        backupName += L'\\';
        backupName += path;
    }
    const wchar_t* slash = std::wcschr(path, L'\\');
    if (!slash) {
        unique_registry_key ruleKey;
        if (OpenRegistryKey(registry, root, path, access, ruleKey) == ERROR_SUCCESS) {
            RemoveMatchingSubkeys(registry, ruleKey.get().key, pattern, loggedPath, access, mode, logger, backup,
                                  backupName);
        }
        return;
    }

    const std::wstring first(path, slash);
    const std::wstring rest(slash + 1);
    unique_registry_key firstKey;
    if (OpenRegistryKey(registry, root, first.c_str(), access, firstKey) != ERROR_SUCCESS) {
        return;
    }
    unique_registry_key ruleKey;
    if (OpenRegistryKey(registry, firstKey.get().key, rest.c_str(), access, ruleKey) != ERROR_SUCCESS) {
        return;
    }
    if (mode == RemoveKey) {
        // The open only showed that the key is there; it is deleted through its parent.
        ruleKey.reset();
        const std::wstring spelled =
            backup ? SpelledKeyName(registry, firstKey.get().key, rest, access, backupName) : std::wstring();
        // A failed deletion is reported as well: its backup is written by then, and the deletion
        // may have removed part of the subtree before it stopped.
        const bool removed = RemoveFoundKey(registry, firstKey.get().key, rest, access, backup, spelled);
        if (logger) {
            logger->log(kRemoveRegistryKey, loggedPath.c_str(), removed ? 1 : 0);
        }
    } else {
        RemoveMatchingSubkeys(registry, ruleKey.get().key, pattern, loggedPath, access, mode, logger, backup,
                              backupName);
    }
}
