#include "platform/process_list.h"

#include <tlhelp32.h>

#include "platform/unique_any.h"

std::set<DWORD> ProcessesNamed(const wchar_t* exe) {
    std::set<DWORD> found;
    // CreateToolhelp32Snapshot reports failure with INVALID_HANDLE_VALUE, not NULL.
    unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return found;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, exe) == 0) {
            found.insert(entry.th32ProcessID);
        }
    }
    return found;
}
