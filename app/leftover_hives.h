#pragma once
// Users' hives that a run of the cleaner loaded and could not unload: it was killed (a
// deployment tool past its time limit, say) while it cleaned every user. Such a hive stays
// loaded until the machine restarts: its user then logs on to a temporary profile, and every
// later run fails for that user. Each run unloads them first, while it holds the run lock.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class OperationsLogger;
class RegistryApi;

// The name under HKEY_USERS where a run loads a user's hive: the prefix, the run's process id,
// "_" and the SID (and "_Classes" for the classes hive).
constexpr wchar_t kTemporaryHivePrefix[] = L"TallowbriskCleaner_";
std::wstring TemporaryHiveName(DWORD processId, const std::wstring& sid);

// Of `names` (the subkeys of HKEY_USERS), those loaded by a run of the cleaner whose process
// no longer runs (`runs` tells), in their order. The process's own hives (`self`) stay.
std::vector<std::wstring> LeftoverHives(const std::vector<std::wstring>& names, DWORD self,
                                        const std::function<bool(DWORD)>& runs);

// Unloads the leftover hives under HKEY_USERS of `registry`. One that stays loaded has its
// line: "clean user: ", "HKU\<name>", fail.
void UnloadLeftoverHives(RegistryApi& registry, OperationsLogger& logger);
