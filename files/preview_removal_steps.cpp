#include "files/preview_removal_steps.h"

#include "platform/handle_files.h"

namespace {

// What a handle resolves to, compared without regard to case as NTFS and Wine compare names.
// Empty when the system does not say.
std::wstring Identity(HANDLE entry) {
    std::wstring path;
    if (!QueryFinalPath(entry, path)) {
        return std::wstring();
    }
    if (!path.empty()) {
        CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    }
    return path;
}

}  // namespace

bool PreviewRemovalSteps::isGone(HANDLE entry) {
    const std::wstring identity = Identity(entry);
    if (identity.empty()) {
        return false;
    }
    // The entry itself, or a folder above it, was planned.
    for (size_t end = identity.find(L'\\'); end != std::wstring::npos; end = identity.find(L'\\', end + 1)) {
        if (planned_.count(identity.substr(0, end))) {
            return true;
        }
    }
    return planned_.count(identity) != 0;
}

bool PreviewRemovalSteps::clearReadOnly(HANDLE, DWORD) {
    // The handle was opened for writing attributes, which is all the real step needs.
    return true;
}

bool PreviewRemovalSteps::remove(HANDLE entry) {
    // The handle holds DELETE access: the removal would be attempted. A folder reaches this
    // only once all its entries were planned, as a real folder is empty by then.
    const std::wstring identity = Identity(entry);
    if (identity.empty()) {
        return false;  // a run could not tell it from another either: foreseen as failing
    }
    planned_.insert(identity);
    return true;
}
