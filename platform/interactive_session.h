#pragma once
// Whether anyone can see the process's windows. Services, and the system account that
// deployment tools run programs as, live in session 0, whose desktop no user sees: a window
// there waits for an answer that never comes, until the tool kills the run at its time limit.

// True when the process runs in a user's session (not session 0). False also when the
// session cannot be told: a window no one may see is the worse mistake.
bool RunsInInteractiveSession();
