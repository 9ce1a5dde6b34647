#pragma once
// Removal of the product's folders below the user's and the machine's special folders.

#include <string>

#include "files/removal_steps.h"
#include "platform/shell_folder.h"

class OperationsLogger;

// Tries the ten product folder locations in order and removes each one that exists, with one
// "remove folder: " record apiece. logger may be null. Always returns 1.
int RemoveProductFolders(OperationsLogger* logger, SpecialFolderLookup lookUp = LookUpSpecialFolder,
                         RemovalSteps& steps = DefaultRemovalSteps());

// Removes base\name (or base itself when name is null) with everything below it, if it is a
// folder, and reports the attempt. Returns nonzero when the folder existed and is gone.
int RemoveFolderIfPresent(const std::wstring& base, const wchar_t* name, OperationsLogger* logger,
                          RemovalSteps& steps = DefaultRemovalSteps());

// Deletes the folder at `path` and its contents, depth first, stopping at the first entry that
// cannot be deleted or fails its checks. Below the folder every entry is opened through its
// folder's handle and deleted through its own. Links inside it are removed themselves where the
// system can, never what they point to; where it can't (Wine), they stay and the deletion fails.
// Returns nonzero when the folder itself is gone at the end.
int DeleteFolderTree(const std::wstring& path, RemovalSteps& steps = DefaultRemovalSteps());
