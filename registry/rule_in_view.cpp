#include "registry/rule_in_view.h"

#include <cwchar>
#include <utility>
#include <vector>

#include "platform/registry_key.h"
#include "registry/backup_key_name.h"
#include "registry/delete_key_tree.h"
#include "registry/key_tree_mentions.h"
#include "registry/recorded_removal.h"
#include "registry/registry_rules.h"

const wchar_t kRemoveRegistryKey[] = L"remove registry key: ";

std::wstring LoggedLinkPath(const std::wstring& loggedPath) { return loggedPath + L" (registry link)"; }

namespace {

constexpr DWORD kSubkeyNameBuffer = 512;

std::wstring Below(const std::wstring& path, const std::wstring& name) {
    return path.empty() ? name : path + L'\\' + name;
}

// Whether the link `name` below `parent` lies in the machine's hive, where only administrators
// and the system write: such a link is the system's own. Wine makes each key that both views
// share a link in the 32-bit view (HKLM\Software\Classes\Wow6432Node\TypeLib, say), and a
// rule's key reached in that view can be one.
bool IsMachinesLink(RegistryApi& registry, HKEY parent, const std::wstring& name, REGSAM access) {
    unique_registry_key link;
    std::wstring linkName;
    std::wstring machine;
    return OpenRegistryKey(registry, parent, name.c_str(), KEY_QUERY_VALUE | (access & kRegistryViewBits), link,
                           REG_OPTION_OPEN_LINK) == ERROR_SUCCESS &&
           registry.queryKeyName(link.get().key, &linkName) == ERROR_SUCCESS &&
           registry.queryKeyName(HKEY_LOCAL_MACHINE, &machine) == ERROR_SUCCESS && linkName.size() > machine.size() &&
           linkName[machine.size()] == L'\\' &&
           CompareStringOrdinal(linkName.c_str(), static_cast<int>(machine.size()), machine.c_str(),
                                static_cast<int>(machine.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring LoggedKeyPath(HKEY root, const wchar_t* path, bool wow64) {
    return LoggedKeyPath(RootName(root), path, wow64);
}

std::wstring LoggedKeyPath(const std::wstring& rootName, const wchar_t* path, bool wow64) {
    std::wstring logged = wow64 ? L"(64) " : L"";
    logged += rootName;
    if (*path) {
        logged += L'\\';
        logged += path;
    }
    return logged;
}

ViewPass::ViewPass(const RegistryPass& pass, const RegistryRule& rule, REGSAM access)
    : pass_(pass),
      registry_(pass.registry()),
      root_(rule.root),
      path_(rule.path),
      pattern_(rule.pattern),
      access_(access),
      mode_(rule.mode),
      knowledge_(pass.knowledge()),
      loggedPath_(LoggedKeyPath(rule.root, rule.path, pass.wow64())),
      backupName_(pass.backup() && rule.root ? BackupKeyName(rule.root, rule.path) : std::wstring()) {}

void ViewPass::nameRuleKey(std::wstring loggedPath, std::wstring backupName) {
    loggedPath_ = std::move(loggedPath);
    backupName_ = std::move(backupName);
}

// Every key a rule removes goes through here: what the session knew about anything that
// holds it is forgotten, then it is saved to the backup, deleted with its subtree once the
// backup has it, and logged.
void ViewPass::removeFoundKey(HKEY parent, const std::wstring& subPath, const std::wstring& rulePath,
                              const RecordNames& names) {
    if (knowledge_) {
        knowledge_->forget(root_, rulePath);
    }
    RemoveKeyRecorded(pass_, parent, subPath, access_, names);
}

// HKCR shows the machine's class key where the user has none of that name in this view.
// The user's keys are listed once per pass; any doubt leaves every candidate on the
// merged side, which is searched in HKCR itself.
void ViewPass::readUserClasses() {
    userClasses_.clear();
    userClassesKnown_ = false;
    unique_registry_key key;
    const std::wstring userPath = Below(L"SOFTWARE\\Classes", path_);
    LSTATUS status = OpenKeyRefusingLink(registry_, HKEY_CURRENT_USER, userPath.c_str(),
                                         KEY_READ | (access_ & kRegistryViewBits), key);
    if (status == ERROR_FILE_NOT_FOUND) {
        userClassesKnown_ = true;
        return;
    }
    RegistryKeyInfo info;
    if (status != ERROR_SUCCESS || registry_.queryInfoKey(key.get().key, &info) != ERROR_SUCCESS) {
        return;
    }
    wchar_t name[kSubkeyNameBuffer];
    std::string folded;
    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kSubkeyNameBuffer;
        if (registry_.enumKey(key.get().key, index, name, &length) != ERROR_SUCCESS ||
            !CandidateKnowledge::FoldedName({name, length}, &folded)) {
            userClasses_.clear();
            return;
        }
        userClasses_.insert(folded);
    }
    userClassesKnown_ = true;
}

CandidateSide ViewPass::sideOf(const std::wstring& name) const {
    if (root_ == HKEY_CURRENT_USER) return CandidateSide::User;
    if (root_ != HKEY_CLASSES_ROOT) return CandidateSide::Machine;
    std::string folded;
    if (userClassesKnown_ && CandidateKnowledge::FoldedName(name, &folded) && !userClasses_.count(folded)) {
        return CandidateSide::Machine;
    }
    return CandidateSide::Merged;
}

ViewPass::Mention ViewPass::contentMentions(HKEY ruleKey, const std::wstring& name) {
    Candidate candidate;
    const bool named = knowledge_ && knowledge_->identify(name, access_, sideOf(name), &candidate);
    bool found = false;
    if (named && knowledge_->recall(candidate, &found)) {
        return found ? Mention::Yes : Mention::No;
    }
    // Only reading is needed here. The view bit must come along all the same: a 32-bit
    // process under WOW64 that opens a subkey without one lands in the 32-bit view, whatever
    // view the rule key was opened in.
    // A link is taken as it is: it holds nothing of the product's, whatever its target holds.
    unique_registry_key key;
    LSTATUS status =
        OpenKeyRefusingLink(registry_, ruleKey, name.c_str(), KEY_READ | (access_ & kRegistryViewBits), key);
    if (status == kKeyIsLink) {
        if (named) knowledge_->learn(candidate, 0, true);
        return Mention::No;
    }
    // A candidate that is there but cannot be searched, whole, may be the product's: it is
    // reported as a failure, never passed over as clean. Such answers are not kept, so each
    // rule that searches it reports it as the rule-by-rule cleaner does.
    if (status != ERROR_SUCCESS) {
        if (named) knowledge_->learn(candidate, 0, KeyIsMissing(status));
        return KeyIsMissing(status) ? Mention::No : Mention::Unknown;
    }
    SubtreeFindings findings;
    if (!knowledge_) {
        const std::vector<std::wstring_view> patterns{pattern_};
        found = KeyTreeMentionsOf(registry_, key.get().key, patterns, access_, &findings) != 0;
        return found ? Mention::Yes : findings.whole ? Mention::No : Mention::Unknown;
    }
    KeyValueNames top;
    const bool keep = named && knowledge_->keepsValueNames();
    findings.top = keep ? &top : nullptr;
    unsigned seen =
        KeyTreeMentionsUntilAllSeen(registry_, key.get().key, knowledge_->searchPatterns(), access_, &findings);
    if (named) knowledge_->learn(candidate, seen, findings.settled && findings.whole);
    found = (seen & 1u) != 0;  // the rule's own pattern comes first
    if (keep && !found) knowledge_->keepValueNames(candidate, std::move(top));
    return found ? Mention::Yes : findings.whole ? Mention::No : Mention::Unknown;
}

ViewPass::Mention ViewPass::choose(HKEY ruleKey, const std::wstring& name) {
    if (chooser_) return (*chooser_)(registry_, ruleKey, name, access_) ? Mention::Yes : Mention::No;
    if (name.find(pattern_) != std::wstring::npos) return Mention::Yes;
    return mode_ == MatchNameOrContent ? contentMentions(ruleKey, name) : Mention::No;
}

void ViewPass::removeMatchingSubkeys(HKEY ruleKey) {
    // Names are collected first and deleted after the enumeration, since each deletion
    // shifts the indexes of the keys after it.
    struct Collected {
        std::wstring name;
        bool unknown;  // could not be searched: reported as a failure, not removed
    };
    std::vector<Collected> collected;
    const auto collect = [&](HKEY key, std::wstring name) {
        const Mention mention = choose(key, name);
        if (mention != Mention::No) collected.push_back(Collected{std::move(name), mention == Mention::Unknown});
    };
    // The step after the rules takes what the rule for a component key listed of it, if it
    // still holds; the rule keeps its listing when every name was read.
    const std::wstring family = knowledge_ && root_ ? CandidateKnowledge::FamilyName(root_, path_) : std::wstring();
    const std::vector<std::wstring>* listed =
        chooser_ && !family.empty() ? knowledge_->listing(family, access_) : nullptr;
    const bool keepListing = !chooser_ && !family.empty() && knowledge_->keepsValueNames();
    std::vector<std::wstring> listing;
    if (listed) {
        for (const std::wstring& name : *listed) collect(ruleKey, name);
    } else {
        RegistryKeyInfo info;
        if (!opened(registry_.queryInfoKey(ruleKey, &info)) || info.subkeys == 0) {
            return;
        }
        if (knowledge_ && !chooser_ && mode_ == MatchNameOrContent && root_ == HKEY_CLASSES_ROOT) {
            readUserClasses();
        }
        bool complete = true;
        wchar_t buffer[kSubkeyNameBuffer];
        for (DWORD index = 0; index < info.subkeys; ++index) {
            DWORD length = kSubkeyNameBuffer;
            if (registry_.enumKey(ruleKey, index, buffer, &length) != ERROR_SUCCESS) {
                complete = false;
                continue;
            }
            std::wstring name(buffer, length);
            if (keepListing) listing.push_back(name);
            collect(ruleKey, std::move(name));
        }
        if (keepListing && complete) {
            knowledge_->keepListing(family, access_, std::move(listing));
        }
    }
    for (const Collected& found : collected) {
        const std::wstring loggedPath = loggedPath_ + L'\\' + found.name;
        if (found.unknown) {
            pass_.record(kRemoveRegistryKey, loggedPath, 0);
            continue;
        }
        const std::wstring backupName = pass_.backup() ? backupName_ + L'\\' + found.name : std::wstring();
        removeFoundKey(ruleKey, found.name, Below(path_, found.name), {loggedPath, backupName});
    }
}

// A rule key that is not there leaves nothing to do in this view. One that is there but cannot
// be opened may hold the product's keys: its line, the rule key's logged path, says "fail".
bool ViewPass::opened(LSTATUS status) {
    if (status != ERROR_SUCCESS && !KeyIsMissing(status)) {
        pass_.record(kRemoveRegistryKey, loggedPath_, 0);
    }
    return status == ERROR_SUCCESS;
}

void ViewPass::apply() {
    // The rule key is reached as the registry leads there, the system's own links on the way
    // included (on Windows, HKCU\SOFTWARE\Classes is one); the rule key itself is taken as it is,
    // unless it is a link of the machine's own.
    const size_t slash = path_.find(L'\\');
    const size_t lastSlash = path_.rfind(L'\\');
    HKEY parent = root_;
    unique_registry_key firstKey;
    unique_registry_key middleKey;
    if (slash != std::wstring::npos) {
        if (!opened(OpenRegistryKey(registry_, root_, path_.substr(0, slash).c_str(), access_, firstKey))) {
            return;
        }
        parent = firstKey.get().key;
        if (lastSlash != slash) {
            const std::wstring middle = path_.substr(slash + 1, lastSlash - slash - 1);
            if (!opened(OpenRegistryKey(registry_, parent, middle.c_str(), access_, middleKey))) {
                return;
            }
            parent = middleKey.get().key;
        }
    }
    const std::wstring last = slash == std::wstring::npos ? path_ : path_.substr(lastSlash + 1);
    unique_registry_key ruleKey;
    LSTATUS status = OpenKeyRefusingLink(registry_, parent, last.c_str(), access_, ruleKey);
    if (status == kKeyIsLink && IsMachinesLink(registry_, parent, last, access_)) {
        status = OpenRegistryKey(registry_, parent, last.c_str(), access_, ruleKey);
    }
    if (status == kKeyIsLink) {
        // Nothing below a link is searched or removed, and the link stays.
        pass_.record(kRemoveRegistryKey, LoggedLinkPath(loggedPath_), kPassedOver);
        return;
    }
    if (!opened(status)) {
        return;
    }
    if (mode_ == RemoveKey && slash != std::wstring::npos) {
        // The open only showed that the key is there; it is deleted through its parent.
        ruleKey.reset();
        const std::wstring spelled =
            pass_.backup() ? SpelledKeyName(registry_, parent, last, access_, backupName_) : std::wstring();
        // A failed deletion is reported as well: its backup is written by then, and the deletion
        // may have removed part of the subtree before it stopped.
        removeFoundKey(parent, last, path_, {loggedPath_, spelled});
    } else {
        removeMatchingSubkeys(ruleKey.get().key);
    }
}

void ApplyRuleInView(const RegistryPass& pass, const RegistryRule& rule, REGSAM access) {
    ViewPass(pass, rule, access).apply();
}
