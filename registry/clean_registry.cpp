#include "registry/clean_registry.h"

#include "registry/candidate_knowledge.h"
#include "registry/registry_views.h"
#include "registry/user_hives.h"

namespace {

// Whether the pass applies `rule`: a user's pass applies the current user's rules alone.
bool Applies(const RegistryPass& pass, const RegistryRule& rule) {
    return !pass.user() || rule.root == HKEY_CURRENT_USER;
}

}  // namespace

void ApplyRegistryRules(const RegistryPass& pass, ProgressCleaner* progress) {
    if (!pass.hasRules()) return;
    const RegistryRule* rules = pass.rules();
    unsigned total = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        if (Applies(pass, *rule)) total += rule->weight;
    }
    CandidateKnowledge* knowledge = pass.knowledge();
    unsigned position = 0;
    for (const RegistryRule* rule = rules; rule->root; ++rule) {
        if (!Applies(pass, *rule)) continue;
        if (pass.user()) {
            ApplyRuleToUser(pass, *rule);
        } else {
            if (knowledge) knowledge->startRule(rule - rules);
            ApplyRegistryRule(pass, *rule);
            if (knowledge) knowledge->finishRule();
        }
        position += rule->weight;
        if (progress) progress->progress(position, total);
    }
}
