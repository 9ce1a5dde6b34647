#pragma once

#include <functional>
#include <set>
#include <string>

#include "platform/registry_api.h"
#include "registry/candidate_knowledge.h"
#include "registry/registry_pass.h"
#include "report/operations_logger.h"

// The kind of every removal record of the registry cleaner.
extern const wchar_t kRemoveRegistryKey[];

// The log's target for a registry link that a rule met: the link's logged path followed by
// " (registry link)". Its record says "passed over" (kPassedOver): a link is never followed,
// removed or saved.
std::wstring LoggedLinkPath(const std::wstring& loggedPath);

// The name a rule key has in the log: the mark "(64) " under WOW64, the root's short name
// ("HKCR", "HKCU", "HKLM") and, unless the path is empty, a backslash and the path.
std::wstring LoggedKeyPath(HKEY root, const wchar_t* path, bool wow64);

// A root that rules are applied below, other than the predefined ones, and its names: in the
// log (after the mark) and in the backup. Another user's hive, opened wherever it is loaded, is
// named where it lives while that user is logged on.
struct NamedRoot {
    HKEY key = nullptr;
    std::wstring loggedName;  // "HKU\<SID>"
    std::wstring backupName;  // "HKEY_USERS\<SID>"
};
std::wstring LoggedKeyPath(const std::wstring& rootName, const wchar_t* path, bool wow64);

// Chooses, in place of a rule's pattern and mode, the direct subkeys of an open rule key that a
// scan removes: `name` below `ruleKey`, read with the view bits of `access`.
using SubkeyChooser = std::function<bool(RegistryApi& registry, HKEY ruleKey, const std::wstring& name, REGSAM access)>;

// One rule applied in one view, the view's access mask `access`, by a pass of the registry
// cleaner: its registry, its records and, when the pass shares what its searches learnt about
// candidates between rules, that knowledge. Without it each candidate is searched for the
// rule's own pattern alone: the rule-by-rule cleaner. The pass and the rule must outlive it.
class ViewPass {
public:
    ViewPass(const RegistryPass& pass, const RegistryRule& rule, REGSAM access);

    // Opens root\path and removes what the mode names there.
    void apply();

    // The scan of modes MatchName and MatchNameOrContent below the open rule key: collects
    // the direct subkeys that the mode matches, then deletes each with its subtree and
    // reports it as the logged path, a backslash and its name, success or fail. Each goes to
    // the backup first. A rule key that cannot be opened or listed, and a subkey whose
    // content cannot be searched whole, are reported as fail and left as they are.
    void removeMatchingSubkeys(HKEY ruleKey);

    // Names the rule key otherwise than root and path do, in the log and in the backup.
    void nameRuleKey(std::wstring loggedPath, std::wstring backupName);

    // Scans choose by `chooser` instead of by pattern and mode (which must then be a scan's).
    void chooseBy(const SubkeyChooser* chooser) { chooser_ = chooser; }

private:
    // Whether a candidate's subtree names the product; Unknown when part of it cannot be opened.
    enum class Mention { No, Yes, Unknown };
    Mention contentMentions(HKEY ruleKey, const std::wstring& name);
    Mention choose(HKEY ruleKey, const std::wstring& name);
    bool opened(LSTATUS status);
    CandidateSide sideOf(const std::wstring& name) const;
    void readUserClasses();
    void removeFoundKey(HKEY parent, const std::wstring& subPath, const std::wstring& rulePath,
                        const RecordNames& names);

    const RegistryPass& pass_;
    RegistryApi& registry_;
    HKEY root_;
    std::wstring path_;
    const wchar_t* pattern_;
    REGSAM access_;
    int mode_;
    CandidateKnowledge* knowledge_;
    std::wstring loggedPath_;
    std::wstring backupName_;
    const SubkeyChooser* chooser_ = nullptr;
    // For a class key of HKCR: the user's keys of the same name in this view, folded, and
    // whether that list is certain. Where the user has none, HKCR shows the machine's key.
    std::set<std::string> userClasses_;
    bool userClassesKnown_ = false;
};

// Applies `rule` in the view that `access` selects: opens root\path and removes what its mode
// names there, recording each removal as the pass does.
void ApplyRuleInView(const RegistryPass& pass, const RegistryRule& rule, REGSAM access);
