#pragma once
// A registry that plans deletions instead of making them, for the preview of a cleaning run.
//
// Reads go to the real registry. A delete changes nothing: it checks what advapi32 would
// check (the key is there, it may be deleted, it has no subkeys left) and, if the delete
// would succeed, remembers the key as planned. From then on the planned key and everything
// below it are gone for the callers: opens fail with ERROR_FILE_NOT_FOUND, enumerations and
// subkey counts leave it out, and a parent whose last subkeys were planned may be deleted in
// turn. So the registry cleaner, run unchanged on top of it, finds and reports what a real
// run would, in the same order.
//
// A key is known by the name the registry itself gives it (RegistryApi::queryKeyName), not by
// the path it was opened with: a key that both WOW64 views share is hidden in both once it
// is planned in either, a redirected key only in its own view, and a key reached through HKCR
// and through HKLM\SOFTWARE\Classes is the same key.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/registry_api.h"

class PreviewRegistry : public RegistryApi {
public:
    explicit PreviewRegistry(RegistryApi& real) : real_(real) {}

    LSTATUS openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) override;
    LSTATUS queryInfoKey(HKEY key, RegistryKeyInfo* info) override;
    LSTATUS enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) override;
    LSTATUS enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                      DWORD* dataSize) override;
    LSTATUS deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) override;
    LSTATUS closeKey(HKEY key) override;
    LSTATUS queryKeyName(HKEY key, std::wstring* name) override { return real_.queryKeyName(key, name); }
    // A value planned for deletion is gone from then on, as its key is for keys: queries do not
    // find it, enumerations and counts leave it out.
    LSTATUS queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LSTATUS deleteValue(HKEY key, const wchar_t* name) override;

    // The registry's names of the keys planned for deletion, in the order they were planned.
    const std::vector<std::wstring>& planned() const { return plannedInOrder_; }

private:
    // A subkey as the real registry enumerates it; `status` is its enumeration's result.
    struct Subkey {
        LSTATUS status;
        std::wstring name;
    };
    // What is known of a key opened through this registry (or of a predefined root).
    struct Key {
        REGSAM view = 0;              // the view bits it was opened with
        bool named = false;           // the registry was asked for its name
        std::wstring name;            // the registry's name; empty if it could not tell
        std::wstring folded;          // the same, folded
        unsigned checked = 0;         // the plan generation `gone` belongs to; 0: none
        bool gone = false;            // planned, itself or through an ancestor
        unsigned listed = 0;          // the plan generation `subkeys` belongs to; 0: none
        std::vector<Subkey> subkeys;  // the real subkeys that are not planned
        unsigned valuesListed = 0;    // the plan generation `values` belongs to; 0: none
        std::vector<DWORD> values;    // the real indexes of the values that are not planned
    };

    Key& keyOf(HKEY key);
    Key& named(HKEY key);
    bool isPlanned(const std::wstring& folded) const;
    bool keyIsPlanned(HKEY key);
    bool childIsPlanned(HKEY parent, REGSAM view, const std::wstring& child);
    // False when opening `subKey` below `parent`, which is not planned, cannot reach a planned key.
    bool mayLeadToPlanned(HKEY parent, const wchar_t* subKey) const;
    // The subkeys of `key` that are not planned; `real` is its real RegistryKeyInfo, if known.
    const std::vector<Subkey>& visibleSubkeys(HKEY key, const RegistryKeyInfo* real = nullptr);
    void plan(const Key& key);
    // The folded names of the planned values of `key`; null when it has none.
    const std::set<std::wstring>* plannedValuesOf(HKEY key);
    const std::vector<DWORD>& visibleValues(HKEY key, const std::set<std::wstring>& planned);

    RegistryApi& real_;
    std::map<HKEY, Key> keys_;
    std::set<std::wstring> planned_;        // folded names
    std::set<std::wstring> plannedLeaves_;  // their last components
    std::vector<std::wstring> plannedInOrder_;
    std::map<std::wstring, std::set<std::wstring>> plannedValues_;  // by the key's folded name
    unsigned generation_ = 1;  // goes up with each planned key
};
