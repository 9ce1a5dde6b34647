#pragma once
// Names of planned removals, as both previews (files and registry keys) keep them: full names
// with backslashes between their parts, folded to capitals, since NTFS and the registry compare
// names without regard to case.

#include <set>
#include <string>

// `name` in capitals, as the system folds it.
std::wstring FoldedName(std::wstring name);

// True when `folded`, or a name above it (a prefix that ends before a backslash), is in `planned`.
bool IsAtOrBelowAny(const std::set<std::wstring>& planned, const std::wstring& folded);
