#include "registry/reg_file_text.h"

#include <cstring>
#include <cwchar>

const wchar_t kRegFileHeader[] = L"Windows Registry Editor Version 5.00\r\n\r\n";

namespace {

// As the registry editor does, hex data breaks after the comma that reaches column 77, with
// a backslash and a two-blank indent, so that lines stay within 80 columns.
constexpr size_t kHexWrapColumn = 77;
constexpr wchar_t kHexBreak[] = L"\\\r\n  ";
constexpr size_t kHexBreakIndent = 2;

// A quoted name or text: backslash and double quote escaped. A line break cannot stand in a
// line: the import reads "\r" and "\n" for it (only value names can hold one here; text
// that holds one is written as hex).
void AppendQuoted(std::wstring& line, const wchar_t* text, size_t length) {
    line += L'"';
    for (size_t i = 0; i < length; ++i) {
        switch (text[i]) {
            case L'\\':
                line += L"\\\\";
                break;
            case L'"':
                line += L"\\\"";
                break;
            case L'\r':
                line += L"\\r";
                break;
            case L'\n':
                line += L"\\n";
                break;
            default:
                line += text[i];
        }
    }
    line += L'"';
}

// A REG_SZ comes back byte for byte from its quoted form only if it is whole UTF-16 units,
// with exactly one terminating NUL at its end, since the import adds one; and without
// control characters, which the importers may split lines at or drop.
bool QuotableText(const BYTE* data, DWORD size) {
    if (size < sizeof(wchar_t) || size % sizeof(wchar_t) != 0) {
        return false;
    }
    const size_t count = size / sizeof(wchar_t);
    for (size_t i = 0; i < count; ++i) {
        wchar_t c;
        std::memcpy(&c, data + i * sizeof(wchar_t), sizeof(wchar_t));
        if (i + 1 == count) {
            return c == L'\0';
        }
        if (c < L' ') {
            return false;
        }
    }
    return false;
}

void AppendHex(std::wstring& line, const wchar_t* prefix, const BYTE* data, DWORD size) {
    line += prefix;
    static const wchar_t kDigits[] = L"0123456789abcdef";
    size_t column = line.size();
    for (DWORD i = 0; i < size; ++i) {
        line += kDigits[data[i] >> 4];
        line += kDigits[data[i] & 0xF];
        if (i + 1 == size) {
            break;
        }
        line += L',';
        column += 3;
        if (column >= kHexWrapColumn) {
            line += kHexBreak;
            column = kHexBreakIndent;
        }
    }
}

}  // namespace

std::wstring RegKeyLine(const std::wstring& keyName) { return L"[" + keyName + L"]\r\n"; }

std::wstring RegValueLine(const std::wstring& name, DWORD type, const BYTE* data, DWORD size) {
    std::wstring line;
    if (name.empty()) {
        line += L'@';
    } else {
        AppendQuoted(line, name.data(), name.size());
    }
    line += L'=';
    if (type == REG_SZ && QuotableText(data, size)) {
        std::wstring text(size / sizeof(wchar_t) - 1, L'\0');
        std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
        AppendQuoted(line, text.data(), text.size());
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value;
        std::memcpy(&value, data, sizeof(value));
        wchar_t text[16];
        std::swprintf(text, 16, L"dword:%08lx", static_cast<unsigned long>(value));
        line += text;
    } else if (type == REG_BINARY) {
        AppendHex(line, L"hex:", data, size);
    } else {
        wchar_t prefix[24];
        std::swprintf(prefix, 24, L"hex(%lx):", static_cast<unsigned long>(type));
        AppendHex(line, prefix, data, size);
    }
    line += L"\r\n";
    return line;
}

std::wstring RegCommentLine(const std::wstring& text) {
    std::wstring line = L"; " + text;
    for (wchar_t& c : line) {
        if (c == L'\r' || c == L'\n') {
            c = L' ';  // a comment ends at the line's end
        }
    }
    return line + L"\r\n";
}

bool WritableName(const std::wstring& name) {
    return name.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos;
}
