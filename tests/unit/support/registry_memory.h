#pragma once
// An in-memory registry that behaves like advapi32 for the calls of RegistryApi, for tests.
//
// Keys are named by paths that begin with a root's short name: "HKCR", "HKCU" or "HKLM"
// (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE). Names are compared without
// regard to case and keep the case they were made with; subkeys enumerate in name order,
// values in the order they were set.
//
// Registry views. A key made a redirection point shows two views: in the 64-bit view its
// children are its own; in the 32-bit view its redirected children are taken from its
// "Wow6432Node" child instead, while its shared children stay the same keys in both views.
// As on WOW64, the view is a property of each call: an open or delete without a view bit
// uses the process's own view, and the view of a handle is not remembered, so opening a
// subkey of a key opened in the 64-bit view, without a view bit, from a 32-bit process
// looks in the 32-bit view. With no redirection point, the view bits change nothing, as on
// 32-bit Windows.
//
// The merged class root. By default HKCR is a tree of its own, as under Wine 8, whose HKCR is
// the machine's classes alone. After mergeClassesRoot() it is what Windows shows: HKCR\X is
// HKCU\SOFTWARE\Classes\X merged over HKLM\SOFTWARE\Classes\X, in the view of each call.
// A key of either side shows the subkeys of both (the user's spelling where both have one)
// and the values of both (the user's where both have a name); a delete through HKCR removes
// the user's key where there is one, otherwise the machine's; keys made through HKCR go to
// the machine's side. A fault injected on either side's key shows through HKCR.
//
// Registry links. A key made a link (createLink) holds nothing but its "SymbolicLinkValue" of
// type REG_LINK. As on Windows, every step of a path that meets a link goes on at the link's
// target (16 links in a row at most: a loop ends there, as not found), except the last step of
// an open with REG_OPTION_OPEN_LINK, which opens the link itself. A delete never follows its
// last step, and refuses a link with kKeyIsLink (RegistryApi::deleteKey). The set-up
// functions never follow links.
//
// Faults can be injected per key (matched by the key's full stored path, the "Wow6432Node"
// step included): an open, a query, an enumeration or a delete then fails with a chosen error.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry_api.h"

enum class RegistryView { Bits64, Bits32 };

class MemoryRegistry : public RegistryApi {
public:
    enum class Operation { Open, QueryInfo, EnumKey, EnumValue, Delete, QueryValue, DeleteValue };

    // One call of openKey or deleteKey, as the tests inspect it: the stored path of the
    // parent followed by the requested subkey, and the access mask or view bits.
    struct Call {
        Operation operation;
        std::wstring path;
        REGSAM access;
        DWORD options = 0;  // of an open: REG_OPTION_OPEN_LINK or 0
    };

    MemoryRegistry();
    ~MemoryRegistry() override;

    // --- Set-up ---
    // The view of calls without a view bit: Bits64 for a 64-bit process (the default),
    // Bits32 for a 32-bit process under WOW64.
    void setProcessView(RegistryView view) { processView_ = view; }
    // In the 32-bit view, the children of `path` other than `sharedChildren` are redirected.
    void redirectAllBut(const std::wstring& path, const std::vector<std::wstring>& sharedChildren);
    // In the 32-bit view, only `redirectedChildren` of `path` are redirected.
    void redirectOnly(const std::wstring& path, const std::vector<std::wstring>& redirectedChildren);
    // A layout like 64-bit Windows 7 and later: HKLM\SOFTWARE redirected but for "Classes";
    // the COM class and interface keys of HKLM\SOFTWARE\Classes, HKCU\SOFTWARE\Classes and
    // HKCR redirected; everything else shared.
    void useWindowsViews();
    // HKCR becomes the merge of the user's and the machine's class keys (see above).
    void mergeClassesRoot() { mergedClasses_ = true; }

    // Makes the key and its missing ancestors, in `view`.
    void createKey(const std::wstring& path, RegistryView view = RegistryView::Bits64);
    // Makes `path` (and its missing ancestors) a link to `target`, a path of this registry
    // ("HKCU\..."), whether or not the target is there.
    void createLink(const std::wstring& path, const std::wstring& target, RegistryView view = RegistryView::Bits64);
    // Sets (or replaces) a value, making the key if needed.
    void setValue(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
                  RegistryView view = RegistryView::Bits64);
    // A REG_SZ (or other string type) value, stored with its terminator as advapi32 does.
    void setString(const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ,
                   RegistryView view = RegistryView::Bits64);

    // --- Inspection ---
    bool exists(const std::wstring& path, RegistryView view = RegistryView::Bits64) const;
    bool hasValue(const std::wstring& path, const std::wstring& name, RegistryView view = RegistryView::Bits64) const;
    // True when the last step of `path` is a link (the steps before it followed).
    bool isLink(const std::wstring& path, RegistryView view = RegistryView::Bits64) const;
    // Every stored key path, parents before children, in name order.
    std::vector<std::wstring> allKeys() const;
    // Handles opened and not yet closed (the predefined roots are not counted).
    size_t openHandles() const { return handles_.size(); }
    const std::vector<Call>& calls() const { return calls_; }
    // How often the subkeys of the key were listed: enumerations of index 0.
    int listingsOf(const std::wstring& path) const;
    void clearCalls() { calls_.clear(); }

    // --- Faults ---
    static constexpr DWORD kAnyIndex = 0xFFFFFFFF;
    // Opens of the key fail with `error` when the requested access includes all bits of
    // `whenRequested` (0: every open). Opening through a predefined root's empty path is
    // not affected.
    void failOpen(const std::wstring& path, LSTATUS error, REGSAM whenRequested = 0);
    void failQueryInfo(const std::wstring& path, LSTATUS error);
    void failEnumKey(const std::wstring& path, LSTATUS error, DWORD index = kAnyIndex);
    void failEnumValue(const std::wstring& path, LSTATUS error, DWORD index = kAnyIndex);
    void failDelete(const std::wstring& path, LSTATUS error);
    void failQueryValue(const std::wstring& path, LSTATUS error);
    void failDeleteValue(const std::wstring& path, LSTATUS error);

    // --- RegistryApi ---
    LSTATUS openKey(HKEY parent, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) override;
    LSTATUS queryInfoKey(HKEY key, RegistryKeyInfo* info) override;
    LSTATUS enumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength) override;
    LSTATUS enumValue(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* type, BYTE* data,
                      DWORD* dataSize) override;
    LSTATUS deleteKey(HKEY parent, const wchar_t* subKey, REGSAM viewBits) override;
    LSTATUS closeKey(HKEY key) override;
    LSTATUS queryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) override;
    LSTATUS deleteValue(HKEY key, const wchar_t* name) override;
    // The key's stored path: "HKLM\SOFTWARE\Wow6432Node\..." for a redirected key.
    LSTATUS queryKeyName(HKEY key, std::wstring* name) override;

    struct Node;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Handle {
        std::shared_ptr<Node> node;  // for a key of the merged HKCR: the machine's side, if any
        RegistryView view;
        bool classes = false;        // a key of the merged HKCR
        std::shared_ptr<Node> user;  // ... and its user's side, if any
        std::wstring classesPath;    // ... and its path below HKCR
    };
    struct Shown {                                 // what a key shows: for one of the merged HKCR, both sides
        std::vector<std::shared_ptr<Node>> sides;  // the user's first
        std::vector<std::shared_ptr<Node>> children;
        std::vector<const Value*> values;
    };
    struct Redirection {
        bool allBut;                      // true: names are the shared children
        std::vector<std::wstring> names;  // folded
    };
    struct Fault {
        Operation operation;
        std::wstring path;  // folded
        LSTATUS error;
        DWORD index;
        REGSAM whenRequested;
    };

    std::shared_ptr<Node> root(HKEY key) const;
    bool classesHandle(HKEY key, Handle* handle) const;
    void classesSides(const std::wstring& classesPath, RegistryView view, std::shared_ptr<Node>* machine,
                      std::shared_ptr<Node>* user) const;
    LSTATUS merged(const Handle& handle, Shown* shown) const;
    const Fault* sideFault(Operation operation, const Shown& shown, DWORD index = kAnyIndex, REGSAM access = 0) const;
    // What `key` shows, or the error of `operation` on it (an injected fault included).
    LSTATUS show(HKEY key, Operation operation, DWORD index, Shown* shown) const;
    std::shared_ptr<Node> nodeOf(HKEY key, LSTATUS* status, RegistryView* view) const;
    // The key `subPath` names below `start`: links met on the way followed (the last step's too,
    // unless `openLink`), none when `create`; `hops` counts the links followed so far.
    std::shared_ptr<Node> resolve(const std::shared_ptr<Node>& start, const std::wstring& subPath, RegistryView view,
                                  bool create, bool openLink = false, int hops = 0);
    std::shared_ptr<Node> resolvePath(const std::wstring& path, RegistryView view, bool create, bool openLink = false,
                                      int hops = 0) const;
    std::shared_ptr<Node> followed(std::shared_ptr<Node> node, bool last, bool openLink, RegistryView view,
                                   int* hops) const;
    bool redirects(const Node& node, const std::wstring& childName) const;
    std::vector<std::shared_ptr<Node>> visibleChildren(const std::shared_ptr<Node>& node, RegistryView view) const;
    RegistryView viewOf(REGSAM access) const;
    const Fault* fault(Operation operation, const Node& node, DWORD index = kAnyIndex, REGSAM access = 0) const;
    void addFault(Operation operation, const std::wstring& path, LSTATUS error, DWORD index, REGSAM whenRequested);
    void addRedirection(const std::wstring& path, bool allBut, const std::vector<std::wstring>& names);

    std::shared_ptr<Node> classesRoot_, currentUser_, localMachine_;
    RegistryView processView_ = RegistryView::Bits64;
    bool mergedClasses_ = false;
    std::map<std::wstring, Redirection> redirections_;  // by folded path
    std::vector<Fault> faults_;
    std::map<std::uintptr_t, Handle> handles_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::vector<Call> calls_;
    std::map<std::wstring, int> listings_;  // by folded path
};
