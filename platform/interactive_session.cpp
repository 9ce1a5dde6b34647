#include "platform/interactive_session.h"

#include <windows.h>

bool RunsInInteractiveSession() {
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session != 0;
}
