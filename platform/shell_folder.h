#pragma once
#include <functional>
#include <string>

// The special folders the cleaners use, by their CSIDL numbers (shlobj.h's CSIDL_PERSONAL and so on).
constexpr int kCsidlPersonal = 0x05;         // Documents
constexpr int kCsidlAppData = 0x1A;          // the roaming application data
constexpr int kCsidlLocalAppData = 0x1C;     // the local application data
constexpr int kCsidlWindows = 0x24;          // the Windows folder
constexpr int kCsidlProgramFiles = 0x26;     // the program files folder of the system's own bitness
constexpr int kCsidlProgramFilesX86 = 0x2A;  // the 32-bit program files folder

// Looks up a special folder (a CSIDL number) without creating it. Returns false, with
// `path` empty, when the folder cannot be looked up or the answer is not an absolute path:
// callers then pass over the folder rather than act relative to the current drive.
bool LookUpSpecialFolder(int csidl, std::wstring& path);

// The lookup the cleaners use; tests replace it to place the special folders elsewhere
// or to make a lookup fail, and a run for every user hands in each user's own folders.
using SpecialFolderLookup = std::function<bool(int csidl, std::wstring& path)>;
