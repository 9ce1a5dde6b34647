#pragma once
// The program's instance handle, for code that loads the program's own resources.

#include <windows.h>

// The handle set by SetAppInstance; until then the module of the running executable.
HINSTANCE AppInstance();

// The entry point stores its instance here first thing.
void SetAppInstance(HINSTANCE instance);
