#pragma once
// The text of the registry editor's export files (".reg", version 5): what the backup of a
// key is written in, so that the system's own tools put it back.

#include <windows.h>

#include <string>

// The first line of the file and the blank line behind it. The file is UTF-16LE with a
// byte order mark, its lines end in CR LF.
extern const wchar_t kRegFileHeader[];

// "[name]" and its line end: the line that opens a key's section.
std::wstring RegKeyLine(const std::wstring& keyName);

// One value as the line (hex data wrapped over several) that sets it on import, line end
// included: `@=` for the default value (empty name), otherwise the quoted name; then the
// quoted text for a REG_SZ that comes back byte for byte that way, `dword:` for a REG_DWORD
// of exactly four bytes, and for everything else the bytes as they are, `hex:` for
// REG_BINARY and `hex(N):` with the type in hexadecimal for the other types.
std::wstring RegValueLine(const std::wstring& name, DWORD type, const BYTE* data, DWORD size);

// "; text" and its line end: a comment, which the import passes over.
std::wstring RegCommentLine(const std::wstring& text);

// True when the name, a key's (or its whole path) or a value's, can be written in the file on
// one line and come back from "reg import" on Windows as it is: it holds no line break (CR, LF)
// and no NUL, which the import would split or cut at. The quoted value name escapes a
// backslash and a double quote, which every importer reads back ("\r" and "\n" only Wine's
// does). A "]" in a key's name is kept: the import takes the name up to the line's last "]".
bool WritableName(const std::wstring& name);
