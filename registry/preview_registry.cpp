#include "registry/preview_registry.h"

#include "platform/planned_paths.h"
#include "platform/registry_key.h"

namespace {

// Subkey names are at most 255 characters; value names 16,383.
constexpr DWORD kSubkeyNameBuffer = 512;
constexpr DWORD kValueNameBuffer = 16384;

std::wstring LastComponent(const std::wstring& name) {
    const size_t slash = name.rfind(L'\\');
    return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

}  // namespace

PreviewRegistry::Key& PreviewRegistry::keyOf(HKEY key) { return keys_[key]; }

PreviewRegistry::Key& PreviewRegistry::named(HKEY key) {
    Key& known = keyOf(key);
    if (!known.named) {
        known.named = true;
        if (real_.queryKeyName(key, &known.name) != ERROR_SUCCESS) {
            known.name.clear();
        }
        known.folded = FoldedName(known.name);
    }
    return known;
}

bool PreviewRegistry::isPlanned(const std::wstring& folded) const { return IsAtOrBelowAny(planned_, folded); }

bool PreviewRegistry::keyIsPlanned(HKEY key) {
    if (planned_.empty()) {
        return false;
    }
    Key& known = named(key);
    if (known.checked != generation_) {
        known.checked = generation_;
        known.gone = isPlanned(known.folded);
    }
    return known.gone;
}

bool PreviewRegistry::childIsPlanned(HKEY parent, REGSAM view, const std::wstring& child) {
    // Only a subkey that bears the last name of a planned key can be one: the others are
    // passed without asking the registry. (A link named otherwise than its target is the
    // exception; opening it still finds it planned.)
    if (!plannedLeaves_.count(FoldedName(child))) {
        return false;
    }
    HKEY opened = nullptr;
    if (real_.openKey(parent, child.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
        return false;
    }
    std::wstring name;
    const bool planned = real_.queryKeyName(opened, &name) == ERROR_SUCCESS && isPlanned(FoldedName(name));
    real_.closeKey(opened);
    return planned;
}

const std::vector<PreviewRegistry::Subkey>& PreviewRegistry::visibleSubkeys(HKEY key, const RegistryKeyInfo* real) {
    Key& known = keyOf(key);
    if (known.listed == generation_) {
        return known.subkeys;
    }
    known.listed = generation_;
    known.subkeys.clear();
    RegistryKeyInfo info;
    if (real) {
        info = *real;
    } else if (real_.queryInfoKey(key, &info) != ERROR_SUCCESS) {
        return known.subkeys;
    }
    wchar_t name[kSubkeyNameBuffer];
    for (DWORD index = 0; index < info.subkeys; ++index) {
        DWORD length = kSubkeyNameBuffer;
        const LSTATUS status = real_.enumKey(key, index, name, &length);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        // A subkey that cannot be read keeps its place, and its error, in the enumeration.
        Subkey subkey{status, status == ERROR_SUCCESS ? std::wstring(name, length) : std::wstring()};
        if (status != ERROR_SUCCESS || !childIsPlanned(key, known.view, subkey.name)) {
            known.subkeys.push_back(std::move(subkey));
        }
    }
    return known.subkeys;
}

void PreviewRegistry::plan(const Key& key) {
    planned_.insert(key.folded);
    plannedLeaves_.insert(LastComponent(key.folded));
    plannedInOrder_.push_back(key.name);
    ++generation_;
}

bool PreviewRegistry::mayLeadToPlanned(HKEY parent, const wchar_t* subKey) const {
    // Below a key that is not planned, a planned key can only be reached through a name that
    // some planned key bears last. Predefined roots (HKCR merges two trees) and a planned key
    // named like the redirection point are always asked about; so, as for enumerations, only a
    // link named otherwise than its target passes unasked.
    if (reinterpret_cast<ULONG_PTR>(parent) >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) ||
        plannedLeaves_.count(L"WOW6432NODE")) {
        return true;
    }
    const std::wstring path = FoldedName(subKey ? subKey : L"");
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (plannedLeaves_.count(path.substr(start, end - start))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

LSTATUS PreviewRegistry::openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) {
    if (keyIsPlanned(parent)) {
        return ERROR_KEY_DELETED;
    }
    const LSTATUS status = real_.openKey(parent, subKey, options, access, result);
    if (status != ERROR_SUCCESS || *result == parent) {
        return status;  // advapi32 hands a predefined root back for an empty path
    }
    Key& known = keys_[*result] = Key{};
    known.view = access & kRegistryViewBits;
    if (!planned_.empty() && !mayLeadToPlanned(parent, subKey)) {
        // Not planned as of now: the registry need not be asked for the key's name until
        // something more is planned.
        known.checked = generation_;
        return ERROR_SUCCESS;
    }
    if (keyIsPlanned(*result)) {
        closeKey(*result);
        *result = nullptr;
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

LSTATUS PreviewRegistry::queryInfoKey(HKEY key, RegistryKeyInfo* info) {
    const LSTATUS status = real_.queryInfoKey(key, info);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!planned_.empty()) {
        if (keyIsPlanned(key)) {
            return ERROR_KEY_DELETED;
        }
        // The longest name stays the real one: an upper bound, as advapi32's may be too.
        info->subkeys = static_cast<DWORD>(visibleSubkeys(key, info).size());
    }
    if (const std::set<std::wstring>* planned = plannedValuesOf(key)) {
        info->values = static_cast<DWORD>(visibleValues(key, *planned).size());
    }
    return ERROR_SUCCESS;
}

LSTATUS PreviewRegistry::enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
    if (planned_.empty()) {
        return real_.enumKey(key, index, name, nameLength);
    }
    if (keyIsPlanned(key)) {
        return ERROR_KEY_DELETED;
    }
    const std::vector<Subkey>& subkeys = visibleSubkeys(key);
    if (index >= subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Subkey& subkey = subkeys[index];
    if (subkey.status != ERROR_SUCCESS) {
        return subkey.status;
    }
    if (subkey.name.size() + 1 > *nameLength) {
        return ERROR_MORE_DATA;
    }
    subkey.name.copy(name, subkey.name.size());
    name[subkey.name.size()] = L'\0';
    *nameLength = static_cast<DWORD>(subkey.name.size());
    return ERROR_SUCCESS;
}

LSTATUS PreviewRegistry::enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                                   DWORD* dataSize) {
    if (keyIsPlanned(key)) {
        return ERROR_KEY_DELETED;
    }
    if (const std::set<std::wstring>* planned = plannedValuesOf(key)) {
        const std::vector<DWORD>& values = visibleValues(key, *planned);
        if (index >= values.size()) {
            return ERROR_NO_MORE_ITEMS;
        }
        index = values[index];
    }
    return real_.enumValue(key, index, name, nameLength, type, data, dataSize);
}

const std::set<std::wstring>* PreviewRegistry::plannedValuesOf(HKEY key) {
    if (plannedValues_.empty()) {
        return nullptr;
    }
    const Key& known = named(key);
    auto it = plannedValues_.find(known.folded);
    return known.name.empty() || it == plannedValues_.end() ? nullptr : &it->second;
}

const std::vector<DWORD>& PreviewRegistry::visibleValues(HKEY key, const std::set<std::wstring>& planned) {
    Key& known = keyOf(key);
    if (known.valuesListed == generation_) {
        return known.values;
    }
    known.valuesListed = generation_;
    known.values.clear();
    std::vector<wchar_t> name(kValueNameBuffer);
    for (DWORD index = 0;; ++index) {
        DWORD length = kValueNameBuffer;
        const LSTATUS status = real_.enumValue(key, index, name.data(), &length, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        // A value that cannot be read keeps its place, and its error, in the enumeration.
        if (status != ERROR_SUCCESS || !planned.count(FoldedName(std::wstring(name.data(), length)))) {
            known.values.push_back(index);
        }
    }
    return known.values;
}

LSTATUS PreviewRegistry::queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) {
    if (keyIsPlanned(key)) {
        return ERROR_KEY_DELETED;
    }
    const std::set<std::wstring>* planned = plannedValuesOf(key);
    if (planned && planned->count(FoldedName(name ? name : L""))) {
        return ERROR_FILE_NOT_FOUND;
    }
    return real_.queryValue(key, name, type, data, dataSize);
}

LSTATUS PreviewRegistry::deleteValue(HKEY key, const wchar_t* name) {
    // RegDeleteValueW needs the value to be there and the key opened with KEY_SET_VALUE, which
    // the open that gave `key` already asked the registry for.
    const LSTATUS status = queryValue(key, name, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Key& known = named(key);
    if (known.name.empty()) {
        return ERROR_CALL_NOT_IMPLEMENTED;  // what cannot be named cannot be hidden
    }
    plannedValues_[known.folded].insert(FoldedName(name ? name : L""));
    ++generation_;
    return ERROR_SUCCESS;
}

LSTATUS PreviewRegistry::deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) {
    if (keyIsPlanned(parent)) {
        return ERROR_KEY_DELETED;
    }
    // Opened as the real delete opens it, as it is and with DELETE: a key the caller may not
    // delete fails here as it would there, and a link is refused.
    unique_registry_key opened;
    LSTATUS status = OpenKeyRefusingLink(real_, parent, subKey,
                                         KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE | viewBits, opened);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const HKEY target = opened.release().key;
    if (target == parent) {
        return ERROR_ACCESS_DENIED;  // a predefined root is never deleted
    }
    keys_[target] = Key{};
    keys_[target].view = viewBits & kRegistryViewBits;
    const Key& known = named(target);
    if (known.name.empty()) {
        status = ERROR_CALL_NOT_IMPLEMENTED;  // what cannot be named cannot be hidden
    } else if (isPlanned(known.folded)) {
        status = ERROR_FILE_NOT_FOUND;
    } else if (!visibleSubkeys(target).empty()) {
        status = ERROR_ACCESS_DENIED;  // as advapi32 refuses a key with subkeys
    } else {
        plan(known);
    }
    closeKey(target);
    return status;
}

LSTATUS PreviewRegistry::closeKey(HKEY key) {
    keys_.erase(key);
    return real_.closeKey(key);
}
