#include "registry/candidate_knowledge.h"

#include <algorithm>

#include "platform/registry_key.h"

namespace {

constexpr size_t kMaxPatterns = 8;  // the bits of Answers

// Upper case for ASCII; false for anything beyond it, since the registry folds those by a
// table of its own.
bool FoldAscii(std::wstring_view text, std::wstring* folded) {
    folded->clear();
    for (wchar_t c : text) {
        if (c > 0x7F) return false;
        *folded += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    return true;
}

int ViewIndex(REGSAM access) {
    if (access & KEY_WOW64_64KEY) return 1;
    if (access & KEY_WOW64_32KEY) return 2;
    return 0;
}

bool StartsWithStep(const std::wstring& text, const std::wstring& prefix) {
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0 && text[prefix.size()] == L'\\';
}

// Forgets, in a map by family and then candidate name, whatever `deleted` (a family name) could
// have been part of.
template <typename ByFamily>
void ForgetIn(ByFamily& known, const std::wstring& deleted) {
    for (auto it = known.begin(); it != known.end();) {
        const std::wstring& family = it->first;
        if (deleted == family || StartsWithStep(family, deleted)) {
            it = known.erase(it);  // the rule key itself or a key above it
            continue;
        }
        if (StartsWithStep(deleted, family)) {
            // The candidate is the first step below the rule key; the deleted key is it or lies in it.
            size_t start = family.size() + 1;
            size_t end = deleted.find(L'\\', start);
            std::wstring step = deleted.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            it->second.erase(std::string(step.begin(), step.end()));
        }
        ++it;
    }
}

bool IsComponentsFamily(const std::wstring& family) {
    const std::wstring tail = L"\\COMPONENTS";
    return family.find(L"\\INSTALLER\\USERDATA\\") != std::wstring::npos && family.size() > tail.size() &&
           family.compare(family.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::wstring CandidateKnowledge::FamilyName(HKEY root, const std::wstring& path) {
    std::wstring folded;
    if (!FoldAscii(path, &folded)) return std::wstring();
    // The steps of the path, "Wow6432Node" left out: the same name stands for a key of the
    // other view, and a deletion in one view may be one in both.
    std::vector<std::wstring> steps;
    size_t start = 0;
    while (start <= folded.size()) {
        size_t end = folded.find(L'\\', start);
        if (end == std::wstring::npos) end = folded.size();
        std::wstring step = folded.substr(start, end - start);
        if (!step.empty() && step != L"WOW6432NODE") steps.push_back(step);
        start = end + 1;
    }
    std::wstring name;
    size_t first = 0;
    if (root == HKEY_CLASSES_ROOT) {
        name = L"CLASSES";
    } else if ((root == HKEY_LOCAL_MACHINE || root == HKEY_CURRENT_USER) && steps.size() >= 2 &&
               steps[0] == L"SOFTWARE" && steps[1] == L"CLASSES") {
        name = L"CLASSES";
        first = 2;
    } else {
        name = *RootName(root) ? RootName(root) : L"?";
    }
    for (size_t i = first; i < steps.size(); ++i) {
        name += L'\\';
        name += steps[i];
    }
    return name;
}

CandidateKnowledge::CandidateKnowledge(const RegistryRule* rules) : rules_(rules) {
    for (const RegistryRule* rule = rules; rule && rule->root; ++rule) {
        families_.push_back(rule->mode == MatchNameOrContent ? FamilyName(rule->root, rule->path) : std::wstring());
        if (rule->mode == MatchNameOrContent && patternBit(rule->pattern) < 0 && patterns_.size() < kMaxPatterns) {
            patterns_.push_back(rule->pattern);
        }
    }
}

int CandidateKnowledge::patternBit(std::wstring_view pattern) const {
    auto it = std::find(patterns_.begin(), patterns_.end(), pattern);
    return it == patterns_.end() ? -1 : static_cast<int>(it - patterns_.begin());
}

void CandidateKnowledge::startRule(size_t index) {
    rule_ = index;
    searchPatterns_.assign(1, rules_[index].pattern);
    remembering_ = false;
    const std::wstring& family = families_[index];
    if (family.empty()) return;
    for (size_t later = index + 1; later < families_.size(); ++later) {
        if (families_[later] != family) continue;
        remembering_ = true;
        std::wstring_view pattern = rules_[later].pattern;
        if (std::find(searchPatterns_.begin(), searchPatterns_.end(), pattern) == searchPatterns_.end()) {
            searchPatterns_.push_back(pattern);
        }
    }
}

void CandidateKnowledge::finishRule() {
    // Keep only what a later rule can ask about.
    for (auto it = known_.begin(); it != known_.end();) {
        bool asked = std::find(families_.begin() + rule_ + 1, families_.end(), it->first) != families_.end();
        it = asked ? std::next(it) : known_.erase(it);
    }
}

bool CandidateKnowledge::FoldedName(std::wstring_view name, std::string* folded) {
    std::wstring wide;
    if (!FoldAscii(name, &wide)) return false;
    folded->assign(wide.begin(), wide.end());
    return true;
}

bool CandidateKnowledge::identify(const std::wstring& name, REGSAM access, CandidateSide side,
                                  Candidate* candidate) const {
    const std::wstring& family = families_[rule_];
    if (family.empty() || !FoldedName(name, &candidate->name)) return false;
    candidate->family = &family;
    candidate->slot = ViewIndex(access) * 3 + static_cast<int>(side);
    return true;
}

bool CandidateKnowledge::recall(const Candidate& candidate, bool* found) const {
    int bit = patternBit(rules_[rule_].pattern);
    auto family = known_.find(*candidate.family);
    if (bit < 0 || family == known_.end()) return false;
    auto entry = family->second.find(candidate.name);
    if (entry == family->second.end()) return false;
    const Answers& answers = entry->second[candidate.slot];
    if (!(answers.known & (1u << bit))) return false;
    *found = (answers.found & (1u << bit)) != 0;
    return true;
}

void CandidateKnowledge::learn(const Candidate& candidate, unsigned seen, bool settled) {
    if (!remembering_) return;
    Answers answers;
    for (size_t i = 0; i < searchPatterns_.size(); ++i) {
        int bit = patternBit(searchPatterns_[i]);
        const bool wasSeen = (seen >> i) & 1u;
        if (bit < 0 || !(wasSeen || settled)) continue;
        answers.known |= 1u << bit;
        if (wasSeen) answers.found |= 1u << bit;
    }
    if (!answers.known) return;
    Answers& kept = known_[*candidate.family][candidate.name][candidate.slot];
    kept.known |= answers.known;
    kept.found = (kept.found & ~answers.known) | answers.found;
}

void CandidateKnowledge::forget(HKEY root, const std::wstring& path) {
    const std::wstring deleted = FamilyName(root, path);
    if (deleted.empty()) {
        known_.clear();  // a name this code cannot fold could be any of them
        valueNames_.clear();
        listings_.clear();
        return;
    }
    ForgetIn(known_, deleted);
    ForgetIn(valueNames_, deleted);
    // A listing holds while its key does: a listed subkey deleted since is no longer found when
    // it is opened, as a fresh listing would not show it.
    for (auto it = listings_.begin(); it != listings_.end();) {
        const std::wstring& family = it->first;
        it = deleted == family || StartsWithStep(family, deleted) ? listings_.erase(it) : std::next(it);
    }
}

void CandidateKnowledge::keepListing(const std::wstring& family, REGSAM access, std::vector<std::wstring> names) {
    if (family.empty() || !IsComponentsFamily(family)) return;
    listings_[family][ViewIndex(access)] = std::move(names);
}

const std::vector<std::wstring>* CandidateKnowledge::listing(const std::wstring& family, REGSAM access) const {
    auto it = listings_.find(family);
    if (it == listings_.end()) return nullptr;
    const auto& names = it->second[ViewIndex(access)];
    return names ? &*names : nullptr;
}

bool CandidateKnowledge::keepsValueNames() const { return IsComponentsFamily(families_[rule_]); }

void CandidateKnowledge::keepValueNames(const Candidate& candidate, KeyValueNames names) {
    if (!IsComponentsFamily(*candidate.family)) return;
    valueNames_[*candidate.family][candidate.name][candidate.slot / 3] = std::move(names);
}

const KeyValueNames* CandidateKnowledge::valueNames(const std::wstring& familyName, const std::wstring& name,
                                                    REGSAM access) const {
    std::string folded;
    auto family = valueNames_.find(familyName);
    if (family == valueNames_.end() || !FoldedName(name, &folded)) return nullptr;
    auto entry = family->second.find(folded);
    if (entry == family->second.end()) return nullptr;
    const std::optional<KeyValueNames>& names = entry->second[ViewIndex(access)];
    return names ? &*names : nullptr;
}
