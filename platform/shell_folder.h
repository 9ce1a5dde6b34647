#pragma once
#include <functional>
#include <string>

// Looks up a special folder (a CSIDL number) without creating it. Returns false, with
// `path` empty, when the folder cannot be looked up or the answer is not an absolute path:
// callers then pass over the folder rather than act relative to the current drive.
bool LookUpSpecialFolder(int csidl, std::wstring& path);

// The lookup the cleaners use; tests replace it to place the special folders elsewhere
// or to make a lookup fail, and a run for every user hands in each user's own folders.
using SpecialFolderLookup = std::function<bool(int csidl, std::wstring& path)>;
