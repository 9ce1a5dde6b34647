#pragma once

// True when this process is a 32-bit one on 64-bit Windows, where the registry shows a
// 64-bit and a 32-bit view. IsWow64Process is looked up at run time, since Windows versions
// before it lack the function; they are not 64-bit.
bool RunningUnderWow64();
