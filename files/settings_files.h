#pragma once
// Removal of the add-in's per-user settings files: each "user.config" below
// LocalAppData\Microsoft_Corporation whose content holds the add-in's settings section.

#include <string>

#include "files/file_actions.h"
#include "platform/shell_folder.h"

class OperationsLogger;

// Walks the settings tree of the current user. logger may be null. Everything on disk is
// changed through `actions`.
void CleanSettingsFiles(OperationsLogger* logger, SpecialFolderLookup lookUp = LookUpSpecialFolder,
                        FileActions& actions = RealFileActions());

// Walks `folder` and everything below it. Links are not followed.
void ScanForSettingsFiles(const std::wstring& folder, OperationsLogger* logger,
                          FileActions& actions = RealFileActions());

// Deletes the settings file at `path` if it holds the settings marker, and reports the attempt.
// Returns nonzero when the file was marked and deleted.
int RemoveSettingsFileIfMarked(const std::wstring& path, OperationsLogger* logger,
                               FileActions& actions = RealFileActions());
