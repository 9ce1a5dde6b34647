#include "files/preview_removal_steps.h"

#include "platform/handle_files.h"
#include "platform/planned_paths.h"

namespace {

// What a handle resolves to, folded; empty when the system does not say.
std::wstring Identity(HANDLE entry) {
    std::wstring path;
    return QueryFinalPath(entry, path) ? FoldedName(std::move(path)) : std::wstring();
}

}  // namespace

bool PreviewRemovalSteps::isGone(HANDLE entry) {
    // The entry itself, or a folder above it, was planned.
    return IsAtOrBelowAny(planned_, Identity(entry));
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
