#pragma once

#include <string>

#include "platform/registry_api.h"
#include "registry/registry_backup.h"
#include "report/operations_logger.h"

// The kind of every removal record of the registry cleaner.
extern const wchar_t kRemoveRegistryKey[];

// The name a rule key has in the log: the mark "(64) " under WOW64, the root's short name
// ("HKCR", "HKCU", "HKLM") and, unless the path is empty, a backslash and the path.
std::wstring LoggedKeyPath(HKEY root, const wchar_t* path, bool wow64);

// A root that rules are applied below, and its names: in the log (after the mark) and in the
// backup. For the predefined roots these are "HKCU" and "HKEY_CURRENT_USER" and so on; another
// user's hive, opened wherever it is loaded, is named where it lives when that user is logged on.
struct NamedRoot {
    HKEY key = nullptr;
    std::wstring loggedName;
    std::wstring backupName;
};
NamedRoot PredefinedRoot(HKEY root);

// Applies one rule in the view that `access` selects: opens root\path and removes what
// `mode` names there, reporting each removal to `logger` and handing each key to `backup`
// just before it is deleted (either may be null).
void ApplyRuleInView(RegistryApi& registry, bool wow64, HKEY root, const wchar_t* path, const wchar_t* pattern,
                     REGSAM access, int mode, OperationsLogger* logger, RegistryBackup* backup = nullptr);
void ApplyRuleInView(RegistryApi& registry, bool wow64, const NamedRoot& root, const wchar_t* path,
                     const wchar_t* pattern, REGSAM access, int mode, OperationsLogger* logger,
                     RegistryBackup* backup = nullptr);

// The scan of modes MatchName and MatchNameOrContent below an open rule key: collects the
// direct subkeys that the mode matches, then deletes each with its subtree and reports it
// as `loggedPath`\name, success or fail. Before each deletion the subkey goes to `backup`,
// if given, named `backupName`\name (backupName: the rule key's BackupKeyName).
void RemoveMatchingSubkeys(RegistryApi& registry, HKEY ruleKey, const wchar_t* pattern, const std::wstring& loggedPath,
                           REGSAM access, int mode, OperationsLogger* logger, RegistryBackup* backup = nullptr,
                           const std::wstring& backupName = std::wstring());
