#pragma once
// What one pass of the registry cleaner works with, so that no cleaner takes it piece by piece:
// the registry it reads and deletes through (the system's, the preview's or an in-memory one),
// the views it cleans, the rule table, where it records each removal (the log, and the backup
// that the one delete path, registry/recorded_removal.h, writes before anything goes), what the
// rules' searches learnt, and whose registry it cleans. The machine's pass cleans HKLM, HKCR and
// the current user's HKCU; a user's pass is the same pass with another user's hives.

#include <string>
#include <vector>

#include "platform/registry_api.h"
#include "registry/registry_rules.h"

class CandidateKnowledge;
class OperationsLogger;
class RegistryBackup;
struct UserHives;

// Access masks of the view passes: reading, with the view bit under WOW64. The rule keys and
// the keys searched below them are only read; a key is deleted through its parent, which
// RegDeleteKeyExW needs no rights on, and opened for its children with kDeleteTreeAccess.
// Asking for more (KEY_ALL_ACCESS, with WRITE_DAC and WRITE_OWNER) only makes more opens fail.
constexpr REGSAM kDefaultViewAccess = KEY_READ;               // 0x20019
constexpr REGSAM kView64Access = KEY_READ | KEY_WOW64_64KEY;  // 0x20119
constexpr REGSAM kView32Access = KEY_READ | KEY_WOW64_32KEY;  // 0x20219

// What a removal's records call the removed key: its target in the log, its section in the
// backup (empty when no backup is kept).
struct RecordNames {
    std::wstring logged;
    std::wstring backup;
};

class RegistryPass {
public:
    // A pass over the machine's and the current user's registry, through `registry`, in both
    // views under WOW64 (`wow64`), for `rules` (ended by a row whose root is null; may be null
    // for a pass that applies single rules), logging to `log` and saving each key and value to
    // `backup` before it goes (either may be null).
    RegistryPass(RegistryApi& registry, bool wow64, const RegistryRule* rules, OperationsLogger* log = nullptr,
                 RegistryBackup* backup = nullptr);

    RegistryApi& registry() const { return *registry_; }
    bool wow64() const { return wow64_; }
    // The access masks of the views cleaned, in their order: under WOW64 the 64-bit view and
    // then the 32-bit view, both always; otherwise the default view.
    std::vector<REGSAM> viewAccesses() const;
    const RegistryRule* rules() const { return rules_; }
    // True when the table holds a rule.
    bool hasRules() const { return rules_ && rules_[0].root; }
    OperationsLogger* log() const { return log_; }
    RegistryBackup* backup() const { return backup_; }
    // What the machine's rules learnt about the candidates of their searches, shared between
    // the rules and with the installer's step after them; null: each search is for itself.
    CandidateKnowledge* knowledge() const { return knowledge_; }
    // The other user whose hives a user's pass cleans; null for the machine's pass.
    const UserHives* user() const { return user_; }

    // This pass, sharing what its searches learn through `knowledge` (started on no rule yet).
    RegistryPass sharing(CandidateKnowledge& knowledge) const;
    // This pass, each search for itself.
    RegistryPass alone() const;
    // The pass of another user: the same registry, views, rules and records, in `user`'s hives
    // (which must outlive it). What the machine's searches learnt is about other keys: each of
    // the user's searches is for itself.
    RegistryPass forUser(const UserHives& user) const;

    // Writes a record to the log, if there is one.
    void record(const wchar_t* kind, const std::wstring& target, int outcome) const;

private:
    RegistryApi* registry_;
    bool wow64_;
    const RegistryRule* rules_;
    OperationsLogger* log_;
    RegistryBackup* backup_;
    CandidateKnowledge* knowledge_ = nullptr;
    const UserHives* user_ = nullptr;
};
