#pragma once
// Removal of the product's folders below the user's and the machine's special folders.

#include <string>

#include "files/file_actions.h"
#include "platform/shell_folder.h"

class OperationsLogger;

// Tries the ten product folder locations in order and removes each one that exists, with one
// "remove folder: " record apiece. logger may be null. Always returns 1. Everything on disk
// is changed through `actions`.
int RemoveProductFolders(OperationsLogger* logger, SpecialFolderLookup lookUp = LookUpSpecialFolder,
                         FileActions& actions = RealFileActions());

// Removes base\name (or base itself when name is null) with everything below it, if it is a
// folder, and reports the attempt. Returns nonzero when the folder existed and is gone.
int RemoveFolderIfPresent(const std::wstring& base, const wchar_t* name, OperationsLogger* logger,
                          FileActions& actions = RealFileActions());

// Deletes the folder at `path` and its contents, depth first, stopping at the first entry that
// cannot be deleted. Links inside it are removed themselves, never what they point to.
// Returns nonzero when the folder itself is gone at the end.
int DeleteFolderTree(const std::wstring& path, FileActions& actions = RealFileActions());
