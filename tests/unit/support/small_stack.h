#pragma once
// Runs a piece of work on a thread with a small stack, to show that the work keeps its depth
// on the heap: work that recursed frame by frame would overflow the stack and end the process.

#include <windows.h>

#include <functional>
#include <optional>

#include "platform/unique_any.h"

// The thread procedure. A lambda would not do: thread procedures are WINAPI (stdcall), which
// differs from the default calling convention in a 32-bit build.
inline DWORD WINAPI RunSmallStackWork(void* param) { return (*static_cast<const std::function<DWORD()>*>(param))(); }

// The work's result, or nothing when the thread could not be started or did not end within
// `timeoutMs`.
inline std::optional<DWORD> RunOnSmallStack(SIZE_T stackBytes, const std::function<DWORD()>& work,
                                            DWORD timeoutMs = INFINITE) {
    unique_handle thread(CreateThread(nullptr, stackBytes, RunSmallStackWork,
                                      const_cast<std::function<DWORD()>*>(&work), STACK_SIZE_PARAM_IS_A_RESERVATION,
                                      nullptr));
    if (!thread || WaitForSingleObject(thread.get(), timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD result = 0;
    GetExitCodeThread(thread.get(), &result);
    return result;
}
