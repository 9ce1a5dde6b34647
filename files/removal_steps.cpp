#include "files/removal_steps.h"

#include "platform/handle_files.h"

bool RemovalSteps::isGone(HANDLE) { return false; }

bool RemovalSteps::clearReadOnly(HANDLE entry, DWORD attributes) {
    return SetAttributes(entry, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool RemovalSteps::remove(HANDLE entry) { return MarkForDeletion(entry); }

RemovalSteps& DefaultRemovalSteps() {
    static RemovalSteps steps;
    return steps;
}
