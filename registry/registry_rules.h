#pragma once
// The registry rules: which keys the cleaner removes, and where it looks for them.

#include <windows.h>

// What a rule removes below its rule key.
enum RegistryRuleMode {
    MatchName = 0,           // each direct subkey whose name holds the pattern
    MatchNameOrContent = 1,  // ... or whose subtree holds it in a key name, value name or REG_SZ text
    RemoveKey = 2,           // the rule key itself, with its subtree
};

struct RegistryRule {
    HKEY root;               // HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; null ends a table
    const wchar_t* path;     // below the root, no leading or trailing backslash; empty: the root itself
    const wchar_t* pattern;  // case-sensitive substring that marks the product's keys
    int mode;                // a RegistryRuleMode
    int weight;              // the rule's share of the progress
};

// The cleaner's table, in the order the rules are applied, ended by a row whose root is null.
const RegistryRule* RegistryRuleTable();
