#pragma once
// The folder and the names that the program's own files share: the operations log and the
// registry backup both go to "<Windows folder>\Logs\TallowBriskCleaner", named
// "Tallowbrisk_cleaner_" and the UTC time stamp of their run's first write; the folder keeps the
// newest runs' files only.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/unique_any.h"

// The path of a new file there without its extension ("...\Tallowbrisk_cleaner_<stamp>"),
// with the log folder made if it is missing (one level only: a missing "Logs" folder is not
// made, and the file then cannot be opened). `windowsFolder` stands for the Windows folder in
// tests; empty means the real one. Empty when the Windows folder cannot be found, when the
// folder is refused (LogFolderRefused), or when its access list can't be made the log
// folder's (SecureLogFolder): the backups hold other users' keys, and no one but the system
// account and administrators may read or plant anything there.
std::wstring NewLogFileStem(const std::wstring& windowsFolder);

// The name that the files of one run share: the log (or the preview's list) and the registry
// backups, "...\Tallowbrisk_cleaner_<stamp>" and their own endings, the stamp being the UTC time
// of the first of them made. Made by NewLogFileStem at the first ask, and kept.
class RunFileStem {
public:
    // `windowsFolder` as NewLogFileStem takes it.
    explicit RunFileStem(std::wstring windowsFolder = std::wstring()) : windowsFolder_(std::move(windowsFolder)) {}
    RunFileStem(const RunFileStem&) = delete;
    RunFileStem& operator=(const RunFileStem&) = delete;

    // The stem, made now if it is not yet: empty when it can't be (see NewLogFileStem), and
    // then for good.
    const std::wstring& make();
    // The stem as made, or empty.
    const std::wstring& path() const { return stem_; }
    const std::wstring& windowsFolder() const { return windowsFolder_; }

private:
    std::wstring windowsFolder_;
    std::wstring stem_;
    bool made_ = false;
};

// How many runs the log folder keeps the files of, and as many previews: the newest, by the
// time stamp of their names. A run's registry backups go with its log.
constexpr size_t kKeptRuns = 30;

// Of the names in the log folder, those that go so that the newest `keep` runs (the stamps of
// ".log", ".reg" and ".32.reg" files) and the newest `keep` previews (".preview.log") stay,
// and the run whose stamp is `ownStamp` whatever its age (a clock set back leaves the run under
// way looking old). Only names of the program's own pattern are chosen.
std::vector<std::wstring> NamesBeyondBound(const std::vector<std::wstring>& names, const std::wstring& ownStamp,
                                           size_t keep);

// Deletes from the log folder the files NamesBeyondBound chooses, `ownStem` being the run's
// own (a RunFileStem's path, or empty). The folder is opened as the log folder and not through
// a link (nothing is done where it is refused), each file through its handle, checked to be
// the plain file the listing showed: folders and links of those names stay, and what a link
// leads to is never touched. For the runs that hold the run lock, after their own files are
// closed. Returns how many files were deleted.
size_t PruneLogFolder(const std::wstring& windowsFolder, const std::wstring& ownStem, size_t keep = kKeptRuns);

// The log folder "<Windows folder>\Logs\TallowBriskCleaner" (empty when the Windows folder can't
// be found), as NewLogFileStem uses it.
std::wstring LogFolderPath(const std::wstring& windowsFolder);

// True when the log folder or "Logs" above it is there but is a link, a mount point (any
// reparse point) or not a folder: files written there would land where someone else chose.
// Looks only; nothing is made.
bool LogFolderRefused(const std::wstring& windowsFolder);
// The same verdict on one of the two folders' attributes (INVALID_FILE_ATTRIBUTES: missing).
bool RefusedAsLogFolder(DWORD attributes);

// The log folder's access list, in SDDL: protected from what the parent grants, full control
// for the system account and the administrators, inherited by every file and folder in it, and
// nothing for anyone else.
constexpr wchar_t kLogFolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// True when `descriptor` (its owner and DACL) is the log folder's: owned by the system account
// or the administrators, its DACL protected, granting full control, inherited by files and
// folders, to those two, and granting no one else anything.
bool IsLogFolderSecurity(PSECURITY_DESCRIPTOR descriptor);

// Gives the existing folder `path` (opened without following a link) the log folder's access
// list, and the administrators as owner, unless it has them already. False when it is a link
// or not a folder, or when its security can't be read or set.
bool SecureLogFolder(const std::wstring& path);

// Writes the current UTC time as "YYYY_MM_DDThh_mm_ssZ" into dest, which has room for
// 64 characters. Returns false, and writes nothing, if the text would not fit.
bool FormatLogTimeStamp(wchar_t* dest);

// Opens one of the program's files there to add to its end, made if it is missing; a file
// made now (or found empty) gets `header` first. An existing file, from a run in the same
// second, is never truncated or rewritten: what it holds may be the only record of what that
// run removed. The file is shared with readers (and writers, whose appends stay whole: each
// goes to the end of the file in one piece). None when the file can't be opened or the
// header can't be written.
unique_file OpenForAppending(const std::wstring& path, const std::wstring& header);

// Writes `text` as UTF-16LE code units in one WriteFile call, so that it reaches the file
// whole, with nothing held back in a buffer of this process: a process killed a moment later
// has lost nothing that was written. True when all of it was written.
bool WriteWhole(HANDLE file, const std::wstring& text);

// WriteWhole to the end of the file opened from `path`, and all or nothing: a write cut short
// (a disk that filled up midway) is cut off the file again, through a second handle, so that the
// file still ends with its last whole line or section and reads, or imports, whole.
bool AppendWhole(HANDLE file, const std::wstring& path, const std::wstring& text);
