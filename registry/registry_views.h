#pragma once

#include "platform/registry_api.h"
#include "registry/candidate_knowledge.h"
#include "registry/registry_backup.h"
#include "registry/rule_in_view.h"
#include "report/operations_logger.h"

// Access masks of the view passes: reading, with the view bit under WOW64. The rule keys and
// the keys searched below them are only read; a key is deleted through its parent, which
// RegDeleteKeyExW needs no rights on, and opened for its children with kDeleteTreeAccess.
// Asking for more (KEY_ALL_ACCESS, with WRITE_DAC and WRITE_OWNER) only makes more opens fail.
constexpr REGSAM kDefaultViewAccess = KEY_READ;               // 0x20019
constexpr REGSAM kView64Access = KEY_READ | KEY_WOW64_64KEY;  // 0x20119
constexpr REGSAM kView32Access = KEY_READ | KEY_WOW64_32KEY;  // 0x20219

// Applies one rule: under WOW64 in the 64-bit view and then in the 32-bit view, both passes
// always; otherwise once in the default view. Each key is handed to `backup` (may be null)
// before it is deleted. `knowledge`, when given, is the session's, already started on this rule.
void ApplyRegistryRule(RegistryApi& registry, bool wow64, HKEY root, const wchar_t* path, const wchar_t* pattern,
                       int mode, OperationsLogger* logger, RegistryBackup* backup = nullptr,
                       CandidateKnowledge* knowledge = nullptr);

// The same below a root of another user's, named as `root` says. Each pass searches for itself
// alone: what the session knows about candidates is about the current user's and the machine's keys.
void ApplyRegistryRule(RegistryApi& registry, bool wow64, const NamedRoot& root, const wchar_t* path,
                       const wchar_t* pattern, int mode, OperationsLogger* logger, RegistryBackup* backup = nullptr);

// Removes the direct subkeys of root\path that `chooser` picks, in the views and with the log
// lines and backup of a rule. `named`, when given, names another user's root as for that user's rules.
void RemoveChosenSubkeys(RegistryApi& registry, bool wow64, HKEY root, const NamedRoot* named, const wchar_t* path,
                         const SubkeyChooser& chooser, OperationsLogger* logger, RegistryBackup* backup,
                         CandidateKnowledge* knowledge);
