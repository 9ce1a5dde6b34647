#pragma once
// The runs that deployment tools start with a switch: no one is at the screen, no window is
// shown, and the exit code tells the outcome.

#include "app/cleaning_session.h"

// Exit codes, as Windows Installer and the deployment tools that follow it read them.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1603;      // ERROR_INSTALL_FAILURE
constexpr int kExitTryLater = 1618;     // ERROR_INSTALL_ALREADY_RUNNING: "try again later"
constexpr int kExitSomethingFound = 1;  // the preview's "this machine needs cleaning"

// "/quiet": a whole cleaning session without any window: settings files, product folders,
// registry, log and registry backup. While Outlook runs, nothing is touched and no file is
// written: kExitTryLater. Otherwise kExitFailure when any removal failed, else kExitSuccess.
int RunQuietSession(SessionPlatform& platform);

// "/preview": the same search, with nothing changed. Its records go to a ".preview.log" file
// beside the log, with "planned" in place of "success". kExitSomethingFound when there is
// anything to remove, else kExitSuccess, and no file is written.
int RunPreviewSession(SessionPlatform& platform);
