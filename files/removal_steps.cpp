#include "files/removal_steps.h"

#include "platform/handle_files.h"
#include "report/operations_logger.h"

bool RemovalSteps::isGone(HANDLE) { return false; }

bool RemovalSteps::clearReadOnly(HANDLE entry, DWORD attributes) {
    return SetAttributes(entry, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool RemovalSteps::remove(HANDLE entry) { return MarkForDeletion(entry); }

bool LoggedRemovalSteps::clearReadOnly(HANDLE entry, DWORD attributes) {
    return logger_.mayRemove() && inner_.clearReadOnly(entry, attributes);
}

bool LoggedRemovalSteps::remove(HANDLE entry) { return logger_.mayRemove() && inner_.remove(entry); }

RemovalSteps& DefaultRemovalSteps() {
    static RemovalSteps steps;
    return steps;
}
