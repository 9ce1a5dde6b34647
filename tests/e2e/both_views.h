#pragma once
// The WOW64 state the end-to-end registry helpers clean with. The 32-bit build finds it out as
// the program does, and runs under WOW64 here. The 64-bit twin is told it is, and opens either
// view with the view bits, as a 32-bit process under WOW64 does.

#include "platform/wow64.h"

inline bool CleanBothViews() { return sizeof(void*) == 8 || RunningUnderWow64(); }
