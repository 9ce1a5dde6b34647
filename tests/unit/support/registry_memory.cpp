#include "tests/unit/support/registry_memory.h"

#include <algorithm>
#include <cwctype>
#include <utility>

namespace {

const wchar_t kWow6432Node[] = L"WOW6432NODE";
constexpr int kMaxLinkHops = 16;

std::wstring Fold(const std::wstring& text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return folded;
}

std::vector<std::wstring> Components(const wchar_t* path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (const wchar_t* p = path ? path : L""; *p; ++p) {
        if (*p == L'\\') {
            if (!part.empty()) {
                parts.push_back(std::move(part));
            }
            part.clear();
        } else {
            part += *p;
        }
    }
    if (!part.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

bool IsPredefined(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

}  // namespace

struct MemoryRegistry::Node {
    std::wstring name;
    std::wstring folded;
    std::wstring path;        // "HKLM\SOFTWARE\..." as made
    std::wstring foldedPath;  // the same, folded
    Node* parent = nullptr;
    std::vector<std::shared_ptr<Node>> children;  // by folded name
    std::vector<Value> values;                    // in the order they were set
    std::wstring linkTarget;                      // a link's target, as a path of this registry; empty: no link
    bool deleted = false;

    std::vector<std::shared_ptr<Node>>::iterator lowerBound(const std::wstring& foldedName) {
        return std::lower_bound(children.begin(), children.end(), foldedName,
                                [](const std::shared_ptr<Node>& n, const std::wstring& f) { return n->folded < f; });
    }

    std::shared_ptr<Node> child(const std::wstring& childName, bool create) {
        std::wstring f = Fold(childName);
        auto it = lowerBound(f);
        if (it != children.end() && (*it)->folded == f) {
            return *it;
        }
        if (!create) {
            return nullptr;
        }
        auto made = std::make_shared<Node>();
        made->name = childName;
        made->folded = f;
        made->path = path + L"\\" + childName;
        made->foldedPath = foldedPath + L"\\" + f;
        made->parent = this;
        return *children.insert(it, made);
    }
};

MemoryRegistry::MemoryRegistry() {
    auto makeRoot = [](const wchar_t* name) {
        auto node = std::make_shared<Node>();
        node->name = node->folded = node->path = node->foldedPath = name;
        return node;
    };
    classesRoot_ = makeRoot(L"HKCR");
    currentUser_ = makeRoot(L"HKCU");
    localMachine_ = makeRoot(L"HKLM");
}

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::addRedirection(const std::wstring& path, bool allBut, const std::vector<std::wstring>& names) {
    Redirection redirection{allBut, {}};
    for (const std::wstring& name : names) {
        redirection.names.push_back(Fold(name));
    }
    redirections_[Fold(path)] = std::move(redirection);
}

void MemoryRegistry::redirectAllBut(const std::wstring& path, const std::vector<std::wstring>& sharedChildren) {
    addRedirection(path, true, sharedChildren);
}

void MemoryRegistry::redirectOnly(const std::wstring& path, const std::vector<std::wstring>& redirectedChildren) {
    addRedirection(path, false, redirectedChildren);
}

void MemoryRegistry::useWindowsViews() {
    redirectAllBut(L"HKLM\\SOFTWARE", {L"Classes"});
    redirectOnly(L"HKLM\\SOFTWARE\\Classes", {L"CLSID", L"Interface"});
    redirectOnly(L"HKCU\\SOFTWARE\\Classes", {L"CLSID", L"Interface"});
    redirectOnly(L"HKCR", {L"CLSID", L"Interface"});
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::root(HKEY key) const {
    if (key == HKEY_CLASSES_ROOT) return classesRoot_;
    if (key == HKEY_CURRENT_USER) return currentUser_;
    if (key == HKEY_LOCAL_MACHINE) return localMachine_;
    return nullptr;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::nodeOf(HKEY key, LSTATUS* status, RegistryView* view) const {
    *status = ERROR_SUCCESS;
    if (auto node = root(key)) {
        *view = processView_;
        return node;
    }
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == handles_.end()) {
        *status = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (it->second.node->deleted) {
        *status = ERROR_KEY_DELETED;
        return nullptr;
    }
    *view = it->second.view;
    return it->second.node;
}

bool MemoryRegistry::redirects(const Node& node, const std::wstring& childName) const {
    auto it = redirections_.find(node.foldedPath);
    if (it == redirections_.end()) {
        return false;
    }
    std::wstring f = Fold(childName);
    if (f == kWow6432Node) {
        return false;
    }
    const auto& names = it->second.names;
    bool listed = std::find(names.begin(), names.end(), f) != names.end();
    return it->second.allBut ? !listed : listed;
}

RegistryView MemoryRegistry::viewOf(REGSAM access) const {
    if (access & KEY_WOW64_64KEY) return RegistryView::Bits64;
    if (access & KEY_WOW64_32KEY) return RegistryView::Bits32;
    return processView_;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::followed(std::shared_ptr<Node> node, bool last, bool openLink,
                                                               RegistryView view, int* hops) const {
    while (node && !node->linkTarget.empty() && !(last && openLink)) {
        if (++*hops > kMaxLinkHops) return nullptr;
        node = resolvePath(node->linkTarget, view, false, false, *hops);
    }
    return node;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::resolve(const std::shared_ptr<Node>& start,
                                                              const std::wstring& subPath, RegistryView view,
                                                              bool create, bool openLink, int hops) {
    std::vector<std::wstring> parts = Components(subPath.c_str());
    std::shared_ptr<Node> node = start;
    const auto step = [&](size_t index) {
        if (create || !node) return;
        node = followed(node, index + 1 == parts.size(), openLink, view, &hops);
    };
    if (view == RegistryView::Bits32 && !redirections_.empty()) {
        // The 32-bit view is a matter of the whole path, not of the handle: walk again from
        // the root, stepping into "Wow6432Node" at each redirection point on the way.
        std::vector<std::wstring> full;
        for (Node* n = start.get(); n->parent; n = n->parent) {
            full.insert(full.begin(), n->name);
        }
        const size_t own = full.size();  // the steps to `start`, which is no link
        full.insert(full.end(), parts.begin(), parts.end());
        Node* top = start.get();
        while (top->parent) {
            top = top->parent;
        }
        node = top == classesRoot_.get() ? classesRoot_ : top == currentUser_.get() ? currentUser_ : localMachine_;
        for (size_t index = 0; index < full.size(); ++index) {
            if (redirects(*node, full[index])) {
                node = node->child(L"Wow6432Node", create);
                if (!node) return nullptr;
            }
            node = node->child(full[index], create);
            if (index >= own) step(index - own);
            if (!node) return nullptr;
        }
        return node;
    }
    for (size_t index = 0; index < parts.size(); ++index) {
        node = node->child(parts[index], create);
        step(index);
        if (!node) return nullptr;
    }
    return node;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::resolvePath(const std::wstring& path, RegistryView view,
                                                                  bool create, bool openLink, int hops) const {
    size_t slash = path.find(L'\\');
    std::wstring rootName = Fold(path.substr(0, slash));
    std::shared_ptr<Node> start = rootName == L"HKCR"   ? classesRoot_
                                  : rootName == L"HKCU" ? currentUser_
                                  : rootName == L"HKLM" ? localMachine_
                                                        : nullptr;
    if (!start) return nullptr;
    std::wstring rest = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
    if (mergedClasses_ && start == classesRoot_) {
        std::shared_ptr<Node> machine, user;
        const std::wstring machinePath = L"HKLM\\SOFTWARE\\Classes" + (rest.empty() ? L"" : L"\\" + rest);
        if (create) return resolvePath(machinePath, view, true);
        classesSides(rest, view, &machine, &user);
        return user ? user : machine;
    }
    return const_cast<MemoryRegistry*>(this)->resolve(start, rest, view, create, openLink, hops);
}

std::vector<std::shared_ptr<MemoryRegistry::Node>> MemoryRegistry::visibleChildren(const std::shared_ptr<Node>& node,
                                                                                   RegistryView view) const {
    if (view != RegistryView::Bits32 || redirections_.find(node->foldedPath) == redirections_.end()) {
        return node->children;
    }
    std::vector<std::shared_ptr<Node>> shown;
    for (const auto& c : node->children) {
        if (c->folded != kWow6432Node && !redirects(*node, c->name)) shown.push_back(c);
    }
    if (auto wow = node->child(L"Wow6432Node", false)) {
        for (const auto& c : wow->children) {
            if (redirects(*node, c->name)) shown.push_back(c);
        }
    }
    std::sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) { return a->folded < b->folded; });
    return shown;
}

void MemoryRegistry::classesSides(const std::wstring& classesPath, RegistryView view, std::shared_ptr<Node>* machine,
                                  std::shared_ptr<Node>* user) const {
    const std::wstring below = classesPath.empty() ? L"" : L"\\" + classesPath;
    *machine = resolvePath(L"HKLM\\SOFTWARE\\Classes" + below, view, false);
    *user = resolvePath(L"HKCU\\SOFTWARE\\Classes" + below, view, false);
}

bool MemoryRegistry::classesHandle(HKEY key, Handle* handle) const {
    if (!mergedClasses_) return false;
    if (key == HKEY_CLASSES_ROOT) {
        *handle = Handle{nullptr, processView_, true, nullptr, std::wstring()};
        classesSides(L"", processView_, &handle->node, &handle->user);
        return true;
    }
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == handles_.end() || !it->second.classes) return false;
    *handle = it->second;
    return true;
}

LSTATUS MemoryRegistry::merged(const Handle& handle, Shown* shown) const {
    for (const auto& side : {handle.user, handle.node}) {
        if (side && !side->deleted) shown->sides.push_back(side);
    }
    if (shown->sides.empty()) return handle.classesPath.empty() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    for (const auto& side : shown->sides) {
        for (const auto& child : visibleChildren(side, handle.view)) {
            auto it =
                std::lower_bound(shown->children.begin(), shown->children.end(), child->folded,
                                 [](const std::shared_ptr<Node>& n, const std::wstring& f) { return n->folded < f; });
            if (it == shown->children.end() || (*it)->folded != child->folded) shown->children.insert(it, child);
        }
        for (const Value& value : side->values) {
            const std::wstring folded = Fold(value.name);
            if (std::none_of(shown->values.begin(), shown->values.end(),
                             [&](const Value* v) { return Fold(v->name) == folded; })) {
                shown->values.push_back(&value);
            }
        }
    }
    return ERROR_SUCCESS;
}

const MemoryRegistry::Fault* MemoryRegistry::sideFault(Operation operation, const Shown& shown, DWORD index,
                                                       REGSAM access) const {
    for (const auto& side : shown.sides) {
        if (const Fault* f = fault(operation, *side, index, access)) return f;
    }
    return nullptr;
}

LSTATUS MemoryRegistry::show(HKEY key, Operation operation, DWORD index, Shown* shown) const {
    Handle classes;
    if (classesHandle(key, &classes)) {
        if (LSTATUS status = merged(classes, shown)) return status;
    } else {
        LSTATUS status;
        RegistryView view;
        auto node = nodeOf(key, &status, &view);
        if (!node) return status;
        shown->sides.push_back(node);
        shown->children = visibleChildren(node, view);
        for (const Value& value : node->values) shown->values.push_back(&value);
    }
    if (const Fault* f = sideFault(operation, *shown, index)) return f->error;
    return ERROR_SUCCESS;
}

void MemoryRegistry::createKey(const std::wstring& path, RegistryView view) { resolvePath(path, view, true); }

void MemoryRegistry::createLink(const std::wstring& path, const std::wstring& target, RegistryView view) {
    auto node = resolvePath(path, view, true);
    if (!node) return;
    node->linkTarget = target;
    // As the registry keeps it: the target's name, without a terminator.
    const BYTE* bytes = reinterpret_cast<const BYTE*>(target.data());
    node->values = {Value{kLinkValueName, REG_LINK, std::vector<BYTE>(bytes, bytes + target.size() * sizeof(wchar_t))}};
}

bool MemoryRegistry::isLink(const std::wstring& path, RegistryView view) const {
    auto node = resolvePath(path, view, false, true);
    return node && !node->linkTarget.empty();
}

void MemoryRegistry::setValue(const std::wstring& path, const std::wstring& name, DWORD type,
                              const std::vector<BYTE>& data, RegistryView view) {
    auto node = resolvePath(path, view, true);
    if (!node) return;
    std::wstring f = Fold(name);
    for (Value& v : node->values) {
        if (Fold(v.name) == f) {
            v.type = type;
            v.data = data;
            return;
        }
    }
    node->values.push_back(Value{name, type, data});
}

void MemoryRegistry::setString(const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type,
                               RegistryView view) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    setValue(path, name, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)), view);
}

bool MemoryRegistry::exists(const std::wstring& path, RegistryView view) const {
    return resolvePath(path, view, false) != nullptr;
}

bool MemoryRegistry::hasValue(const std::wstring& path, const std::wstring& name, RegistryView view) const {
    auto node = resolvePath(path, view, false);
    const std::wstring f = Fold(name);
    return node && std::any_of(node->values.begin(), node->values.end(),
                               [&](const Value& v) { return Fold(v.name) == f; });
}

int MemoryRegistry::listingsOf(const std::wstring& path) const {
    auto it = listings_.find(Fold(path));
    return it == listings_.end() ? 0 : it->second;
}

std::vector<std::wstring> MemoryRegistry::allKeys() const {
    std::vector<std::wstring> keys;
    std::vector<Node*> stack;
    for (const auto& r : {localMachine_, currentUser_, classesRoot_}) {
        stack.push_back(r.get());
    }
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        keys.push_back(node->path);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
            stack.push_back(it->get());
        }
    }
    return keys;
}

void MemoryRegistry::addFault(Operation operation, const std::wstring& path, LSTATUS error, DWORD index,
                              REGSAM whenRequested) {
    faults_.push_back(Fault{operation, Fold(path), error, index, whenRequested});
}

void MemoryRegistry::failOpen(const std::wstring& path, LSTATUS error, REGSAM whenRequested) {
    addFault(Operation::Open, path, error, kAnyIndex, whenRequested);
}
void MemoryRegistry::failQueryInfo(const std::wstring& path, LSTATUS error) {
    addFault(Operation::QueryInfo, path, error, kAnyIndex, 0);
}
void MemoryRegistry::failEnumKey(const std::wstring& path, LSTATUS error, DWORD index) {
    addFault(Operation::EnumKey, path, error, index, 0);
}
void MemoryRegistry::failEnumValue(const std::wstring& path, LSTATUS error, DWORD index) {
    addFault(Operation::EnumValue, path, error, index, 0);
}
void MemoryRegistry::failDelete(const std::wstring& path, LSTATUS error) {
    addFault(Operation::Delete, path, error, kAnyIndex, 0);
}

void MemoryRegistry::failQueryValue(const std::wstring& path, LSTATUS error) {
    addFault(Operation::QueryValue, path, error, kAnyIndex, 0);
}
void MemoryRegistry::failDeleteValue(const std::wstring& path, LSTATUS error) {
    addFault(Operation::DeleteValue, path, error, kAnyIndex, 0);
}

const MemoryRegistry::Fault* MemoryRegistry::fault(Operation operation, const Node& node, DWORD index,
                                                   REGSAM access) const {
    for (const Fault& f : faults_) {
        if (f.operation == operation && f.path == node.foldedPath && (f.index == kAnyIndex || f.index == index) &&
            (access & f.whenRequested) == f.whenRequested) {
            return &f;
        }
    }
    return nullptr;
}

LSTATUS MemoryRegistry::openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) {
    Handle classes;
    const bool inClasses = classesHandle(parent, &classes);
    LSTATUS status = ERROR_SUCCESS;
    RegistryView parentView;
    auto start = inClasses ? nullptr : nodeOf(parent, &status, &parentView);
    std::wstring sub = subKey ? subKey : L"";
    std::wstring parentPath = inClasses ? L"HKCR" + (classes.classesPath.empty() ? L"" : L"\\" + classes.classesPath)
                              : start   ? start->path
                                        : L"?";
    calls_.push_back(Call{Operation::Open, parentPath + (sub.empty() ? L"" : L"\\" + sub), access, options});
    if (!inClasses && !start) return status;
    if ((access & kRegistryViewBits) == kRegistryViewBits) return ERROR_INVALID_PARAMETER;
    if (sub.empty() && IsPredefined(parent)) {
        // advapi32 hands the predefined key itself back.
        *result = parent;
        return ERROR_SUCCESS;
    }
    RegistryView view = viewOf(access);
    if (inClasses) {
        Shown parentShown;
        if (LSTATUS shownStatus = merged(classes, &parentShown)) return shownStatus;
        std::wstring path = classes.classesPath;
        for (const std::wstring& part : Components(sub.c_str())) path += (path.empty() ? L"" : L"\\") + part;
        Handle opened{nullptr, view, true, nullptr, path};
        classesSides(path, view, &opened.node, &opened.user);
        Shown shown;
        if (merged(opened, &shown) != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
        if (const Fault* f = sideFault(Operation::Open, shown, kAnyIndex, access)) return f->error;
        std::uintptr_t id = nextHandle_;
        nextHandle_ += 4;
        handles_[id] = opened;
        *result = reinterpret_cast<HKEY>(id);
        return ERROR_SUCCESS;
    }
    auto node = resolve(start, sub, view, false, (options & REG_OPTION_OPEN_LINK) != 0);
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (const Fault* f = fault(Operation::Open, *node, kAnyIndex, access)) return f->error;
    std::uintptr_t id = nextHandle_;
    nextHandle_ += 4;
    handles_[id] = Handle{node, view, false, nullptr, std::wstring()};
    *result = reinterpret_cast<HKEY>(id);
    return ERROR_SUCCESS;
}

LSTATUS MemoryRegistry::queryInfoKey(HKEY key, RegistryKeyInfo* info) {
    Shown shown;
    if (LSTATUS status = show(key, Operation::QueryInfo, kAnyIndex, &shown)) return status;
    *info = RegistryKeyInfo{};
    for (const auto& c : shown.children) {
        ++info->subkeys;
        info->maxSubkeyLength = std::max<DWORD>(info->maxSubkeyLength, c->name.size());
    }
    for (const Value* v : shown.values) {
        ++info->values;
        info->maxValueNameLength = std::max<DWORD>(info->maxValueNameLength, v->name.size());
        info->maxValueDataSize = std::max<DWORD>(info->maxValueDataSize, v->data.size());
    }
    return ERROR_SUCCESS;
}

LSTATUS MemoryRegistry::enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) {
    Shown shown;
    if (LSTATUS status = show(key, Operation::EnumKey, index, &shown)) return status;
    if (index == 0) ++listings_[shown.sides.empty() ? L"HKCR" : shown.sides.front()->foldedPath];
    const auto& children = shown.children;
    if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
    const std::wstring& found = children[index]->name;
    if (found.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    std::copy(found.begin(), found.end(), name);
    name[found.size()] = L'\0';
    *nameLength = static_cast<DWORD>(found.size());
    return ERROR_SUCCESS;
}

LSTATUS MemoryRegistry::enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                                  DWORD* dataSize) {
    Shown shown;
    if (LSTATUS status = show(key, Operation::EnumValue, index, &shown)) return status;
    const auto& values = shown.values;
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = *values[index];
    if (value.name.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = L'\0';
    *nameLength = static_cast<DWORD>(value.name.size());
    if (type) *type = value.type;
    if (dataSize) {
        DWORD size = static_cast<DWORD>(value.data.size());
        if (data && size > *dataSize) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (data) std::copy(value.data.begin(), value.data.end(), data);
        *dataSize = size;
    }
    return ERROR_SUCCESS;
}

LSTATUS MemoryRegistry::deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) {
    Handle classes;
    const bool inClasses = classesHandle(parent, &classes);
    LSTATUS status = ERROR_SUCCESS;
    RegistryView parentView;
    auto start = inClasses ? nullptr : nodeOf(parent, &status, &parentView);
    std::wstring sub = subKey ? subKey : L"";
    std::wstring parentPath = inClasses ? L"HKCR" + (classes.classesPath.empty() ? L"" : L"\\" + classes.classesPath)
                              : start   ? start->path
                                        : L"?";
    calls_.push_back(Call{Operation::Delete, parentPath + (sub.empty() ? L"" : L"\\" + sub), viewBits});
    if (!inClasses && !start) return status;
    if ((viewBits & kRegistryViewBits) == kRegistryViewBits) return ERROR_INVALID_PARAMETER;
    if (inClasses) {
        std::wstring path = classes.classesPath;
        for (const std::wstring& part : Components(sub.c_str())) path += (path.empty() ? L"" : L"\\") + part;
        if (path.empty()) return ERROR_ACCESS_DENIED;
        Handle target{nullptr, viewOf(viewBits), true, nullptr, path};
        classesSides(path, target.view, &target.node, &target.user);
        Shown shown;
        if (merged(target, &shown) != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
        if (const Fault* f = sideFault(Operation::Delete, shown)) return f->error;
        if (!shown.children.empty()) return ERROR_ACCESS_DENIED;
        const std::shared_ptr<Node>& node = shown.sides.front();  // the user's, where there is one
        Node* up = node->parent;
        up->children.erase(up->lowerBound(node->folded));
        node->deleted = true;
        node->parent = nullptr;
        return ERROR_SUCCESS;
    }
    auto node = sub.empty() ? start : resolve(start, sub, viewOf(viewBits), false, true);
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (!node->linkTarget.empty()) return kKeyIsLink;
    if (!node->parent) return ERROR_ACCESS_DENIED;
    if (const Fault* f = fault(Operation::Delete, *node)) return f->error;
    if (!node->children.empty()) return ERROR_ACCESS_DENIED;
    Node* up = node->parent;
    up->children.erase(up->lowerBound(node->folded));
    node->deleted = true;
    node->parent = nullptr;
    return ERROR_SUCCESS;
}

LSTATUS MemoryRegistry::closeKey(HKEY key) {
    if (IsPredefined(key)) return ERROR_SUCCESS;
    return handles_.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS MemoryRegistry::queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) {
    Shown shown;
    if (LSTATUS status = show(key, Operation::QueryValue, kAnyIndex, &shown)) return status;
    const std::wstring f = Fold(name ? name : L"");
    for (const Value* value : shown.values) {
        if (Fold(value->name) != f) continue;
        if (type) *type = value->type;
        if (dataSize) {
            const DWORD size = static_cast<DWORD>(value->data.size());
            if (data && size > *dataSize) {
                *dataSize = size;
                return ERROR_MORE_DATA;
            }
            if (data) std::copy(value->data.begin(), value->data.end(), data);
            *dataSize = size;
        }
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS MemoryRegistry::deleteValue(HKEY key, const wchar_t* name) {
    Shown shown;
    if (LSTATUS status = show(key, Operation::DeleteValue, kAnyIndex, &shown)) return status;
    const std::wstring f = Fold(name ? name : L"");
    for (const auto& side : shown.sides) {  // the user's first, as HKCR shows its values
        auto it = std::find_if(side->values.begin(), side->values.end(),
                               [&](const Value& v) { return Fold(v.name) == f; });
        if (it != side->values.end()) {
            side->values.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS MemoryRegistry::queryKeyName(HKEY key, std::wstring* name) {
    Handle classes;
    if (classesHandle(key, &classes)) {
        // A key of the merged HKCR is the user's key where there is one, as deletes find it.
        Shown shown;
        if (LSTATUS status = merged(classes, &shown)) return status;
        *name = shown.sides.empty() ? L"HKCR" : shown.sides.front()->path;
        return ERROR_SUCCESS;
    }
    LSTATUS status;
    RegistryView view;
    auto node = nodeOf(key, &status, &view);
    if (!node) return status;
    *name = node->path;
    return ERROR_SUCCESS;
}
