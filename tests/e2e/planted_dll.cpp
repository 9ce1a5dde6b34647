// A DLL that an attacker might drop beside the cleaner's exe, under the name of one that the
// system DLLs load later by name alone (the theme library "uxtheme.dll", which the window
// manager loads once a program touches windows). Loaded, it leaves "<its own path>.loaded"
// behind, and nothing else.

#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(instance, path, MAX_PATH);
        const std::wstring marker = std::wstring(path) + L".loaded";
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return TRUE;
}
