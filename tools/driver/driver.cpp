// Test driver for the end-to-end tests: a small Windows program that does, inside the Wine
// prefix, what a test cannot do from outside it.
//
//   driver hold PATH SIGNAL       opens PATH without sharing, creates the file SIGNAL, and keeps
//                                 PATH open until SIGNAL is deleted (10 minutes at most)
//   driver lock SIGNAL            takes the cleaner's one-run-at-a-time lock, creates SIGNAL, and
//                                 holds the lock until SIGNAL is deleted (10 minutes at most)
//   driver mutex NAME SIGNAL      the same with the mutex NAME (Global\_MSIExecute: an installer's
//                                 transaction in progress)
//   driver windows                prints the visible top-level windows as JSON: handle, title,
//                                 class, rectangle, process id, and their child windows
//   driver click HWND TEXT        clicks the child button of HWND whose text is TEXT
//   driver post HWND MSG WPARAM [HWND MSG WPARAM]...
//                                 posts messages, in order and at once (numbers in decimal or 0x hex)
//   driver exitcode PROGRAM TAIL  runs PROGRAM with the command-line tail TAIL, waits for it, and
//                                 prints its whole exit code (a Unix exit status keeps 8 bits)
//   driver watch EXE SIGNAL       until SIGNAL is deleted (10 min at most), looks every 10 ms for
//                                 windows of processes named EXE, top-level and message-only,
//                                 shown or not; creates SIGNAL.watching after its first look, and
//                                 prints as JSON how many looks saw such a process and its windows
//   driver savehive NAME FILE     saves HKEY_USERS\NAME as the hive file FILE, as a user's NTUSER.DAT
//   driver link KEY TARGET        makes KEY (HKCU\..., HKLM\... or HKU\...) a registry link to the
//                                 existing key TARGET, named the same way, as any user can in their
//                                 own hive (reg.exe can't)
//   driver unlink KEY             deletes the link KEY itself, never its target; exits with 1 when
//                                 KEY is no link

#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "platform/loaded_hive.h"
#include "platform/process_list.h"
#include "platform/registry_key.h"
#include "platform/registry_win32.h"
#include "platform/run_lock.h"
#include "platform/unique_any.h"

namespace {

// Makes the signal, an empty file, and waits until the test removes it. The bound only keeps a
// forgotten driver from lingering: it is far beyond any test's block, even on a loaded machine,
// and a driver that reaches it exits with 3, so that the test knows its hold ended too early.
int WaitWhileSignalled(const wchar_t* signal) {
    unique_file(CreateFileW(signal, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const ULONGLONG deadline = GetTickCount64() + 10 * 60 * 1000;
    while (GetFileAttributesW(signal) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() > deadline) return 3;
        Sleep(50);
    }
    return 0;
}

int Hold(const wchar_t* path, const wchar_t* signal) {
    unique_file file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        fwprintf(stderr, L"hold: cannot open %ls (%lu)\n", path, GetLastError());
        return 2;
    }
    return WaitWhileSignalled(signal);
}

// Holds the cleaner's one-run-at-a-time lock, as a run of it that goes on for long would.
int Lock(const wchar_t* signal) {
    RunLock lock;
    if (!lock.acquire(0)) {
        fwprintf(stderr, L"lock: another process holds the lock\n");
        return 2;
    }
    return WaitWhileSignalled(signal);
}

// Holds a named mutex, as Windows Installer holds "Global\_MSIExecute" during a transaction.
int HoldMutex(const wchar_t* name, const wchar_t* signal) {
    unique_handle mutex(CreateMutexW(nullptr, TRUE, name));
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        fwprintf(stderr, L"mutex: cannot take %ls (%lu)\n", name, GetLastError());
        return 2;
    }
    const int result = WaitWhileSignalled(signal);
    ReleaseMutex(mutex.get());
    return result;
}

std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Describe(HWND window) {
    wchar_t text[2048] = {};
    wchar_t className[256] = {};
    GetWindowTextW(window, text, 2048);
    GetClassNameW(window, className, 256);
    RECT rect{};
    GetWindowRect(window, &rect);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char head[256];
    snprintf(head, sizeof head,
             "{\"hwnd\": %llu, \"id\": %d, \"style\": %lu, \"pid\": %lu, \"rect\": [%ld, %ld, %ld, %ld], ",
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)), GetDlgCtrlID(window),
             static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)), process, rect.left, rect.top, rect.right,
             rect.bottom);
    return head + std::string("\"class\": ") + Json(className) + ", \"text\": " + Json(text);
}

BOOL CALLBACK AddChild(HWND child, LPARAM out) {
    std::string& list = *reinterpret_cast<std::string*>(out);
    list += (list.empty() ? "" : ", ") + Describe(child) + "}";
    return TRUE;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM out) {
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    std::string children;
    EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&children));
    std::string& list = *reinterpret_cast<std::string*>(out);
    list += (list.empty() ? "" : ",\n ") + Describe(window) + ", \"children\": [" + children + "]}";
    return TRUE;
}

int Windows() {
    std::string list;
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&list));
    printf("{\"screen\": [%d, %d], \"windows\": [%s]}\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
           list.c_str());
    return 0;
}

HWND ToWindow(const wchar_t* number) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(number, nullptr, 0)));
}

struct Search {
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK FindButton(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    wchar_t text[256] = {};
    GetWindowTextW(child, text, 256);
    if (lstrcmpW(text, search->text) == 0) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

int Click(HWND window, const wchar_t* text) {
    Search search{text, nullptr};
    EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
        fwprintf(stderr, L"click: no child \"%ls\"\n", text);
        return 2;
    }
    // Posted, not sent: the click may open a modal loop in the program under test.
    PostMessageW(search.found, BM_CLICK, 0, 0);
    return 0;
}

int RunForExitCode(const wchar_t* program, const wchar_t* tail) {
    std::wstring command = L"\"" + std::wstring(program) + L"\"";
    if (*tail) {
        command += L" ";
        command += tail;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fwprintf(stderr, L"exitcode: cannot start %ls (%lu)\n", program, GetLastError());
        return 2;
    }
    unique_file thread(process.hThread);
    unique_file running(process.hProcess);
    WaitForSingleObject(running.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(running.get(), &code);
    printf("%lu\n", code);
    return 0;
}

struct Watch {
    std::set<DWORD> processes;
    std::map<HWND, std::string> windows;  // every window of theirs ever seen, described when first seen
};

void Note(Watch& watch, HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (watch.processes.count(process) && !watch.windows.count(window)) {
        watch.windows[window] = Describe(window) + "}";
    }
}

BOOL CALLBACK NoteWindow(HWND window, LPARAM param) {
    Note(*reinterpret_cast<Watch*>(param), window);
    return TRUE;
}

int WatchFor(const wchar_t* exe, const wchar_t* signal) {
    Watch watch;
    int looks = 0, seen = 0;
    const std::wstring watching = std::wstring(signal) + L".watching";
    for (int waited = 0; waited < 60000 && GetFileAttributesW(signal) != INVALID_FILE_ATTRIBUTES; ++waited) {
        watch.processes = ProcessesNamed(exe);
        if (!watch.processes.empty()) {
            ++seen;
            EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&watch));
            for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
                 window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
                Note(watch, window);
            }
        }
        if (++looks == 1) {
            unique_file(CreateFileW(watching.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        }
        Sleep(10);
    }
    std::string list;
    for (const auto& [window, text] : watch.windows) {
        list += (list.empty() ? "" : ", ") + text;
    }
    printf("{\"looks\": %d, \"seen\": %d, \"windows\": [%s]}\n", looks, seen, list.c_str());
    return 0;
}

int SaveHive(const wchar_t* name, const wchar_t* file) {
    HKEY key = nullptr;
    LSTATUS status =
        EnableHivePrivileges() ? RegOpenKeyExW(HKEY_USERS, name, 0, KEY_READ, &key) : ERROR_PRIVILEGE_NOT_HELD;
    if (status == ERROR_SUCCESS) {
        status = RegSaveKeyW(key, file, nullptr);
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        fwprintf(stderr, L"savehive: cannot save %ls to %ls (%ld)\n", name, file, status);
        return 1;
    }
    return 0;
}

// "HKCU\\path" and the like as a root and the path below it; false for another root.
bool SplitKey(const std::wstring& name, HKEY* root, std::wstring* path) {
    const size_t slash = name.find(L'\\');
    const std::wstring head = name.substr(0, slash);
    *path = slash == std::wstring::npos ? std::wstring() : name.substr(slash + 1);
    *root = head == L"HKCU"   ? HKEY_CURRENT_USER
            : head == L"HKLM" ? HKEY_LOCAL_MACHINE
            : head == L"HKU"  ? HKEY_USERS
                              : nullptr;
    return *root != nullptr;
}

int MakeLink(const wchar_t* link, const wchar_t* target) {
    HKEY linkRoot, targetRoot;
    std::wstring linkPath, targetPath, targetName;
    unique_registry_key targetKey;
    if (!SplitKey(link, &linkRoot, &linkPath) || !SplitKey(target, &targetRoot, &targetPath) ||
        OpenRegistryKey(SystemRegistry(), targetRoot, targetPath.c_str(), KEY_READ, targetKey) != ERROR_SUCCESS ||
        SystemRegistry().queryKeyName(targetKey.get().key, &targetName) != ERROR_SUCCESS) {
        fwprintf(stderr, L"link: cannot name %ls\n", target);
        return 2;
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(linkRoot, linkPath.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                     KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        // The target's kernel name, without a terminator, as the registry follows it.
        status = RegSetValueExW(key, kLinkValueName, 0, REG_LINK, reinterpret_cast<const BYTE*>(targetName.data()),
                                static_cast<DWORD>(targetName.size() * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        fwprintf(stderr, L"link: cannot make %ls (%ld)\n", link, status);
        return 2;
    }
    return 0;
}

int Unlink(const wchar_t* link) {
    HKEY root;
    std::wstring path;
    unique_registry_key key;
    bool isLink = false;
    if (!SplitKey(link, &root, &path) ||
        OpenRegistryKey(SystemRegistry(), root, path.c_str(), DELETE | KEY_QUERY_VALUE, key, REG_OPTION_OPEN_LINK) !=
            ERROR_SUCCESS ||
        QueryKeyIsLink(SystemRegistry(), key.get().key, &isLink) != ERROR_SUCCESS || !isLink) {
        fwprintf(stderr, L"unlink: %ls is no link\n", link);
        return 1;
    }
    if (DeleteOpenedKey(key.get().key) != ERROR_SUCCESS) {
        fwprintf(stderr, L"unlink: cannot delete %ls\n", link);
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"hold" && argc == 4) {
        return Hold(argv[2], argv[3]);
    }
    if (command == L"lock" && argc == 3) {
        return Lock(argv[2]);
    }
    if (command == L"mutex" && argc == 4) {
        return HoldMutex(argv[2], argv[3]);
    }
    if (command == L"windows" && argc == 2) {
        return Windows();
    }
    if (command == L"click" && argc == 4) {
        return Click(ToWindow(argv[2]), argv[3]);
    }
    if (command == L"post" && argc >= 5 && (argc - 2) % 3 == 0) {
        for (int i = 2; i < argc; i += 3) {
            if (!PostMessageW(ToWindow(argv[i]), static_cast<UINT>(wcstoul(argv[i + 1], nullptr, 0)),
                              static_cast<WPARAM>(wcstoull(argv[i + 2], nullptr, 0)), 0)) {
                return 2;
            }
        }
        return 0;
    }
    if (command == L"exitcode" && argc == 4) {
        return RunForExitCode(argv[2], argv[3]);
    }
    if (command == L"watch" && argc == 4) {
        return WatchFor(argv[2], argv[3]);
    }
    if (command == L"savehive" && argc == 4) {
        return SaveHive(argv[2], argv[3]);
    }
    if (command == L"link" && argc == 4) {
        return MakeLink(argv[2], argv[3]);
    }
    if (command == L"unlink" && argc == 3) {
        return Unlink(argv[2]);
    }
    fwprintf(stderr,
             L"usage: driver hold PATH SIGNAL | lock SIGNAL | mutex NAME SIGNAL | windows | click HWND TEXT | post "
             L"(HWND MSG WPARAM)... | exitcode "
             L"PROGRAM TAIL | watch EXE SIGNAL | savehive NAME FILE | link KEY TARGET | unlink KEY\n");
    return 2;
}
