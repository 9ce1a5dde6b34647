#include "registry/export_key_tree.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/registry_key.h"
#include "registry/delete_key_tree.h"
#include "registry/reg_file_text.h"

namespace {

constexpr DWORD kKeyNameBuffer = 512;        // characters; key names are at most 255
constexpr DWORD kValueNameBuffer = 16384;    // characters: the longest value name and its terminator
constexpr DWORD kUnknownCount = 0xFFFFFFFF;  // the key's numbers could not be queried
constexpr int kReadAttempts = 4;             // a value that keeps growing while it is read is given up

// One set of buffers for the whole export, on the heap, grown to the largest name and data
// met so far.
struct ExportBuffers {
    std::vector<wchar_t> keyName = std::vector<wchar_t>(kKeyNameBuffer);
    std::vector<wchar_t> valueName = std::vector<wchar_t>(1);
    std::vector<BYTE> data = std::vector<BYTE>(1);  // never empty: a null buffer would only ask for the size
};

// What one read of a value put into the buffers: its name's length, its type, its data's size.
struct ValueRead {
    DWORD nameLength = 0;
    DWORD type = REG_NONE;
    DWORD size = 0;
};

template <typename T>
void Grow(std::vector<T>& buffer, size_t size) {
    if (buffer.size() < size) {
        buffer.resize(size);
    }
}

// A key on the way down from the exported key to the one being read.
struct WalkStep {
    unique_registry_key key;
    std::wstring name;
    DWORD subkeys;   // kUnknownCount: read until the first failure
    DWORD next = 0;  // index of the next subkey
};

// Reads value `index` of `key` whole. When the name or the data does not fit, the buffers
// grow to the longest name and to the size the registry gives, and the value is read again.
LSTATUS ReadValue(RegistryApi& registry, HKEY key, DWORD index, ExportBuffers& buffers, ValueRead& read) {
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
        read.nameLength = static_cast<DWORD>(buffers.valueName.size());
        read.size = static_cast<DWORD>(buffers.data.size());
        status = registry.enumValue(key, index, buffers.valueName.data(), &read.nameLength, &read.type,
                                    buffers.data.data(), &read.size);
        if (status == ERROR_MORE_DATA) {
            Grow(buffers.valueName, kValueNameBuffer);
            // Asked without a data buffer, the registry gives the data's size alone.
            DWORD needed = 0;
            DWORD length = static_cast<DWORD>(buffers.valueName.size());
            if (registry.enumValue(key, index, buffers.valueName.data(), &length, nullptr, nullptr, &needed) ==
                ERROR_SUCCESS) {
                Grow(buffers.data, needed);
            }
        }
    }
    return status;
}

std::wstring Unread(const wchar_t* what, DWORD index, const std::wstring& keyName) {
    return L"Not saved: " + std::wstring(what) + L" " + std::to_wstring(index) + L" of [" + keyName +
           L"] could not be read";
}

// The key's section, appended to `text`: its line, its values, a blank line. False, with the
// section cut short, when a value's name is one that the file cannot carry.
bool AppendSection(RegistryApi& registry, const WalkStep& key, const RegistryKeyInfo* info, ExportBuffers& buffers,
                   std::wstring& text) {
    const std::wstring& keyName = key.name;
    text += RegKeyLine(keyName);
    if (info) {
        Grow(buffers.valueName, info->maxValueNameLength + 1);
        Grow(buffers.data, info->maxValueDataSize);
    }
    const DWORD values = info ? info->values : kUnknownCount;
    for (DWORD index = 0; index < values; ++index) {
        ValueRead read;
        const LSTATUS status = ReadValue(registry, key.key.get().key, index, buffers, read);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            text += RegCommentLine(Unread(L"value", index, keyName));
            if (!info) {
                break;
            }
            continue;
        }
        const std::wstring name(buffers.valueName.data(), read.nameLength);
        if (!WritableName(name)) {
            return false;
        }
        text += RegValueLine(name, read.type, buffers.data.data(), read.size);
    }
    text += L"\r\n";
    return true;
}

}  // namespace

ExportedKeyTree ExportKeyTree(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                              const std::wstring& keyName) {
    // Reading is all the export needs; the view bit comes along, or a 32-bit process under
    // WOW64 would read the 32-bit view whatever view the key is deleted in.
    const REGSAM read = KEY_READ | (access & kRegistryViewBits);
    std::wstring text;
    unique_registry_key top;
    LSTATUS result =
        WritableName(keyName) ? OpenKeyRefusingLink(registry, parent, path.c_str(), read, top) : ERROR_INVALID_NAME;
    if (result != ERROR_SUCCESS) {
        return {std::move(text), result};
    }

    // The walk keeps its keys in a vector, not on the call stack: a subtree can be 512 levels deep.
    ExportBuffers buffers;
    std::vector<WalkStep> walk;
    auto enter = [&](unique_registry_key key, std::wstring name) {
        RegistryKeyInfo info;
        const bool known = registry.queryInfoKey(key.get().key, &info) == ERROR_SUCCESS;
        WalkStep step{std::move(key), std::move(name), known ? info.subkeys : kUnknownCount};
        if (!AppendSection(registry, step, known ? &info : nullptr, buffers, text)) {
            result = ERROR_INVALID_NAME;
        }
        walk.push_back(std::move(step));
    };
    enter(std::move(top), keyName);

    // A name that the file cannot carry, or a link, would leave part of the subtree out of the
    // backup, and the deletion would take it all the same: the export is refused whole.
    while (!walk.empty() && result == ERROR_SUCCESS) {
        WalkStep& step = walk.back();
        if (step.next >= step.subkeys) {
            walk.pop_back();
            continue;
        }
        const DWORD index = step.next++;
        DWORD length = kKeyNameBuffer;
        const LSTATUS status = registry.enumKey(step.key.get().key, index, buffers.keyName.data(), &length);
        if (status != ERROR_SUCCESS) {
            if (status == ERROR_NO_MORE_ITEMS || step.subkeys == kUnknownCount) {
                step.subkeys = step.next;
            } else {
                text += RegCommentLine(Unread(L"subkey", index, step.name));
            }
            continue;
        }
        std::wstring name = step.name + L'\\' + std::wstring(buffers.keyName.data(), length);
        if (!WritableName(name)) {
            result = ERROR_INVALID_NAME;
            continue;
        }
        if (walk.size() > static_cast<size_t>(kMaxKeyDepth)) {
            text += RegCommentLine(L"Not saved, deeper than the registry nests keys: [" + name + L"]");
            continue;
        }
        unique_registry_key child;
        const LSTATUS childStatus =
            OpenKeyRefusingLink(registry, step.key.get().key, buffers.keyName.data(), read, child);
        if (childStatus == kKeyIsLink) {
            result = kKeyIsLink;
            continue;
        }
        if (childStatus != ERROR_SUCCESS) {
            text += RegCommentLine(L"Not saved, could not be opened: [" + name + L"]");
            continue;
        }
        enter(std::move(child), std::move(name));  // `step` is not used past this point: the vector may move
    }
    if (result != ERROR_SUCCESS) {
        text.clear();
    }
    return {std::move(text), result};
}
