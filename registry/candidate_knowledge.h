#pragma once
// What a cleaning session already knows about the candidates of its content searches, so
// that a key is read once per view rather than once per rule.
//
// Several content rules search the same keys: one rule for each capitalisation of the
// product's name, and the class keys under three names (HKCR\X shows the user's
// HKCU\SOFTWARE\Classes\X merged over the machine's HKLM\SOFTWARE\Classes\X). A search
// under the first such rule looks for the patterns of the later ones too, and its answers
// are kept here, per candidate, view and side, until a later rule asks.
//
// An answer holds only while the candidate's subtree is unchanged. The cleaner changes the
// registry only by deleting keys, and a deleted key makes every answer about a candidate
// that could hold it forgotten, in whichever view or side, before the deletion starts. A
// candidate that no longer exists is not listed by its rule key, so its answer is never
// asked for. Anything else is searched again.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_api.h"
#include "registry/key_tree_mentions.h"
#include "registry/registry_rules.h"

// Which registry shows a candidate: the machine's class keys (or a key that is not a class
// key), the user's, or HKCR's merge of both, which changes when either side does.
enum class CandidateSide { Machine, User, Merged };

// A candidate as the knowledge names it: its rule key's family, the view and side it was
// read in, and its name folded to upper case.
struct Candidate {
    const std::wstring* family;
    int slot;
    std::string name;
};

class CandidateKnowledge {
public:
    // For a session that applies `rules` (ended by a row whose root is null) in table order.
    explicit CandidateKnowledge(const RegistryRule* rules);

    // The rule about to be applied, by its index in the table, and the end of it.
    void startRule(size_t index);
    void finishRule();

    // The patterns the current rule's searches look for: its own first, then those of the
    // later content rules on the same keys.
    const std::vector<std::wstring_view>& searchPatterns() const { return searchPatterns_; }

    // The candidate `name` below the current rule's key, read in the view of `access` on
    // `side`. False when it cannot be named (a name beyond ASCII, whose folding the registry
    // may do otherwise).
    bool identify(const std::wstring& name, REGSAM access, CandidateSide side, Candidate* candidate) const;

    // True, with the answer for the current rule's own pattern, when it is known.
    bool recall(const Candidate& candidate, bool* found) const;
    // What a search for searchPatterns() gave: bit i for pattern i; `settled` when the bits
    // left clear are certain too, as the search's findings tell (settled, and the subtree read
    // whole); when false, only the patterns seen are known.
    void learn(const Candidate& candidate, unsigned seen, bool settled);

    // root\path is about to be deleted in some view: forget whatever it could have been part of.
    void forget(HKEY root, const std::wstring& path);

    // Windows Installer's component keys (UserData\<SID>\Components\<C>) are read once a view:
    // what the current rule's search of such a key read of the key itself is kept for the step
    // that removes the components no other product uses, until the key could have changed.
    bool keepsValueNames() const;
    void keepValueNames(const Candidate& candidate, KeyValueNames names);
    // What a search read of the candidate `name` of the rule key named `family` (FamilyName) in
    // the view of `access`; null when nothing is known.
    const KeyValueNames* valueNames(const std::wstring& family, const std::wstring& name, REGSAM access) const;

    // The subkeys that the current rule's scan of a component key listed (every name read) in
    // the view of `access`: the step after the rules takes them instead of listing the key
    // again, until the key or one above it is deleted. Those deleted since are among them, and
    // are no longer found when opened. `family` is the rule key's FamilyName.
    void keepListing(const std::wstring& family, REGSAM access, std::vector<std::wstring> names);
    // Null when no such listing is kept.
    const std::vector<std::wstring>* listing(const std::wstring& family, REGSAM access) const;

    // The name under which the knowledge files root\path: folded to upper case, without
    // "Wow6432Node" steps, and the three names of a class key made one ("CLASSES\X"). Empty
    // when the path holds a character beyond ASCII.
    static std::wstring FamilyName(HKEY root, const std::wstring& path);

    // A key's name folded to upper case as the registry compares names; false for a name
    // beyond ASCII, which the registry folds by a table of its own.
    static bool FoldedName(std::wstring_view name, std::string* folded);

private:
    struct Answers {
        std::uint8_t known = 0;  // by bit of patterns_
        std::uint8_t found = 0;
    };
    using Slots = std::array<Answers, 9>;  // three views by three sides

    int patternBit(std::wstring_view pattern) const;  // -1 when it has none

    const RegistryRule* rules_;
    std::vector<std::wstring> families_;       // by rule index; empty for rules that search nothing
    std::vector<std::wstring_view> patterns_;  // the session's distinct patterns, at most 8
    size_t rule_ = 0;
    std::vector<std::wstring_view> searchPatterns_;
    bool remembering_ = false;
    std::map<std::wstring, std::map<std::string, Slots>> known_;    // by family, then name
    using ViewNames = std::array<std::optional<KeyValueNames>, 3>;  // by view
    std::map<std::wstring, std::map<std::string, ViewNames>> valueNames_;
    using ViewListing = std::array<std::optional<std::vector<std::wstring>>, 3>;  // by view
    std::map<std::wstring, ViewListing> listings_;                                // by family
};
