#pragma once
// The two steps by which the file cleaners change the disk, each on an entry that is open and
// has passed its checks. The cleaners take them as an object, so that a caller can put other
// steps in their place: tests act between opening and deleting, and a preview records what would go
// instead.

#include <windows.h>

class RemovalSteps {
public:
    virtual ~RemovalSteps() = default;

    // True when an earlier step of this run removed the entry, or a folder above it, although it
    // is still on disk: never in a real run, whose removals are on disk.
    virtual bool isGone(HANDLE entry);

    // Writes `attributes` without FILE_ATTRIBUTE_READONLY through the handle.
    virtual bool clearReadOnly(HANDLE entry, DWORD attributes);
    // Deletes the entry through its handle: it goes when the handle is closed.
    virtual bool remove(HANDLE entry);
};

// The steps that act.
RemovalSteps& DefaultRemovalSteps();

class OperationsLogger;

// The steps of `inner`, each taken only while `logger` agrees that the run may still remove
// (OperationsLogger::mayRemove): a run that has lost its log changes nothing more on disk, and
// the entry's line says "fail".
class LoggedRemovalSteps : public RemovalSteps {
public:
    LoggedRemovalSteps(RemovalSteps& inner, OperationsLogger& logger) : inner_(inner), logger_(logger) {}
    bool isGone(HANDLE entry) override { return inner_.isGone(entry); }
    bool clearReadOnly(HANDLE entry, DWORD attributes) override;
    bool remove(HANDLE entry) override;

private:
    RemovalSteps& inner_;
    OperationsLogger& logger_;
};
