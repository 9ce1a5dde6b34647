#pragma once
// Removal of the add-in's per-user settings files: each "user.config" below
// LocalAppData\Microsoft_Corporation whose content holds the add-in's settings section.

#include <string>

#include "files/removal_steps.h"
#include "platform/shell_folder.h"

class OperationsLogger;

// Walks the settings tree of the current user. logger may be null.
void CleanSettingsFiles(OperationsLogger* logger, SpecialFolderLookup lookUp = LookUpSpecialFolder,
                        RemovalSteps& steps = DefaultRemovalSteps());

// Walks `folder` and everything below it through handles. Links are not followed.
void ScanForSettingsFiles(const std::wstring& folder, OperationsLogger* logger,
                          RemovalSteps& steps = DefaultRemovalSteps());

// Deletes the settings file at `path` if it holds the settings marker, and reports the attempt.
// The file is read and deleted through one handle. Returns nonzero when it was marked and deleted.
int RemoveSettingsFileIfMarked(const std::wstring& path, OperationsLogger* logger,
                               RemovalSteps& steps = DefaultRemovalSteps());
