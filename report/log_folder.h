#pragma once
// The folder and the names that the program's own files share: the operations log and the
// registry backup both go to "<Windows folder>\Logs\TallowBriskCleaner", named
// "Tallowbrisk_cleaner_" and the UTC time stamp of their first write.

#include <string>

// The path of a new file there without its extension ("...\Tallowbrisk_cleaner_<stamp>"),
// with the log folder made if it is missing (one level only: a missing "Logs" folder is not
// made, and the file then cannot be opened). `windowsFolder` stands for the Windows folder in
// tests; empty means the real one. Empty when the Windows folder cannot be found: without it
// there is no place for the files.
std::wstring NewLogFileStem(const std::wstring& windowsFolder);

// Writes the current UTC time as "YYYY_MM_DDThh_mm_ssZ" into dest, which has room for
// 64 characters. Returns false, and writes nothing, if the text would not fit.
bool FormatLogTimeStamp(wchar_t* dest);
