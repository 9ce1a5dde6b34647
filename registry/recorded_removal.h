#pragma once
// The one way the registry cleaner removes anything, so that nothing leaves the registry
// unrecorded: first what goes is saved to the backup, and the save must be confirmed to have
// reached the file; only then is it removed; then its log line is written. A removal that
// could not be saved is not made, and its line says "fail".
//
// A key goes through RemoveKeyRecorded. Anything else the registry cleaner removes (a single
// value, say) goes through RemoveRecorded with a save and a removal of its own:
//
//     RemoveRecorded(logger, kRemoveRegistryValue, loggedName,
//                    [&] { return backup ? backup->saveValue(...) : BackupOutcome::Saved; },
//                    [&] { return registry.deleteValue(...) == ERROR_SUCCESS; });

#include <functional>
#include <string>

#include "platform/registry_api.h"
#include "registry/registry_backup.h"
#include "registry/registry_pass.h"
#include "report/operations_logger.h"

// Asks `logger` (may be null) whether the run may still remove anything; then runs `save`
// (may be empty: nothing to keep) and, when it saved, `remove`; then logs (`kind`, `target`)
// with the outcome (what the save found gone is not removed, and counts as removed). A save
// that did not reach the file is told to the logger as a write failure. True when the removal
// was made and succeeded.
bool RemoveRecorded(OperationsLogger* logger, const wchar_t* kind, const std::wstring& target,
                    const std::function<BackupOutcome()>& save, const std::function<bool()>& remove);

// `parent`\`path` with its whole subtree (DeleteKeyTree): saved to the pass's backup (none may
// be kept) as `names.backup`, deleted with `access`, logged as `names.logged`. First its subtree
// is walked as it is, following no link: a key that is a link, or holds one at any depth, is
// left whole, and each link has a line (its logged path, LoggedLinkPath) that says passed over;
// a key whose subtree holds a name that the backup cannot carry (WritableName) is left whole,
// and its line says fail. Neither is saved.
bool RemoveKeyRecorded(const RegistryPass& pass, HKEY parent, const std::wstring& path, REGSAM access,
                       const RecordNames& names);
