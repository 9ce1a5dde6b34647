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

// The kind of the preview's record of a leftover hive that a run would unload.
extern const wchar_t kUnloadLeftoverHive[];

// Of `names` (the subkeys of HKEY_USERS), those under the prefix (letter case aside) that this
// process did not load (`loadedHere` tells), in their order. Under the run lock no other run
// loads or uses one, so each is a leftover; the process id in its name decides nothing, for
// Windows soon gives a dead run's id to another process.
std::vector<std::wstring> LeftoverHives(const std::vector<std::wstring>& names,
                                        const std::function<bool(const std::wstring&)>& loadedHere);

// Unloads the leftover hives under HKEY_USERS of `registry`; only under the run lock. One that
// stays loaded has its line: "clean user: ", "HKU\<name>", fail.
void UnloadLeftoverHives(RegistryApi& registry, OperationsLogger& logger);

// The preview's part: unloads nothing, and records each leftover hive that a run would unload
// as kUnloadLeftoverHive, "HKU\<name>", planned.
void ListLeftoverHives(RegistryApi& registry, OperationsLogger& logger);
