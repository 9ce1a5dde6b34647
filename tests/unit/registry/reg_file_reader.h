#pragma once
// Reads ".reg" text back the way the registry editor imports it, so that tests can check
// that what was written comes back byte for byte: sections, quoted names and text with their
// escapes, "dword:", "hex:" and "hex(N):" with continued lines, comments.

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

struct ReadValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const ReadValue& other) const {
        return name == other.name && type == other.type && data == other.data;
    }
};

struct ReadSection {
    std::wstring key;
    std::vector<ReadValue> values;
};

struct ReadRegFile {
    std::vector<ReadSection> sections;
    std::vector<std::wstring> comments;
    std::vector<std::wstring> errors;  // lines the import would not understand
};

// `text` starts after the byte order mark, with the header line when `withHeader`.
inline ReadRegFile ReadRegText(const std::wstring& text, bool withHeader = true) {
    ReadRegFile file;
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            file.errors.push_back(L"unended line: " + text.substr(start));
            break;
        }
        std::wstring line = text.substr(start, end - start);
        if (line.find_first_of(L"\r\n") != std::wstring::npos) file.errors.push_back(L"lone CR or LF: " + line);
        lines.push_back(line);
        start = end + 2;
    }
    size_t first = 0;
    if (withHeader) {
        if (lines.size() < 2 || lines[0] != L"Windows Registry Editor Version 5.00" || !lines[1].empty()) {
            file.errors.push_back(L"no header");
        }
        first = 2;
    }
    auto unescape = [&](const std::wstring& line, size_t& at, std::wstring& out) {
        for (++at; at < line.size(); ++at) {
            wchar_t c = line[at];
            if (c == L'"') return true;
            if (c == L'\\' && at + 1 < line.size()) {
                c = line[++at];
                c = c == L'n' ? L'\n' : c == L'r' ? L'\r' : c;
            }
            out += c;
        }
        return false;
    };
    auto hexBytes = [](const std::wstring& digits, std::vector<BYTE>& out) {
        for (size_t i = 0; i < digits.size();) {
            size_t comma = digits.find(L',', i);
            std::wstring pair = digits.substr(i, comma == std::wstring::npos ? std::wstring::npos : comma - i);
            if (pair.size() != 2) return false;
            out.push_back(static_cast<BYTE>(std::wcstoul(pair.c_str(), nullptr, 16)));
            if (comma == std::wstring::npos) break;
            i = comma + 1;
        }
        return true;
    };
    for (size_t i = first; i < lines.size(); ++i) {
        std::wstring line = lines[i];
        if (line.empty()) continue;
        if (line[0] == L';') {
            file.comments.push_back(line);
            continue;
        }
        if (line[0] == L'[') {
            size_t close = line.rfind(L']');
            if (close == std::wstring::npos || close + 1 != line.size()) file.errors.push_back(line);
            file.sections.push_back(ReadSection{line.substr(1, close - 1), {}});
            continue;
        }
        while (!line.empty() && line.back() == L'\\' && i + 1 < lines.size()) {
            std::wstring next = lines[++i];
            if (next.compare(0, 2, L"  ") != 0) file.errors.push_back(L"continuation without indent: " + next);
            line.pop_back();
            line += next.substr(next.find_first_not_of(L' '));
        }
        ReadValue value{L"", REG_NONE, {}};
        size_t at = 0;
        bool ok = !file.sections.empty();
        if (line[0] == L'"') {
            ok = ok && unescape(line, at, value.name);
            ++at;
        } else {
            ok = ok && line[0] == L'@';
            at = 1;
        }
        ok = ok && at < line.size() && line[at++] == L'=';
        const std::wstring data = ok ? line.substr(at) : L"";
        if (ok && !data.empty() && data[0] == L'"') {
            std::wstring text;
            size_t end = 0;
            ok = unescape(data, end, text) && end + 1 == data.size();
            value.type = REG_SZ;
            const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
            value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
        } else if (ok && data.compare(0, 6, L"dword:") == 0) {
            ok = data.size() == 14;
            DWORD number = std::wcstoul(data.c_str() + 6, nullptr, 16);
            value.type = REG_DWORD;
            value.data.assign(reinterpret_cast<BYTE*>(&number), reinterpret_cast<BYTE*>(&number) + 4);
        } else if (ok && data.compare(0, 4, L"hex:") == 0) {
            value.type = REG_BINARY;
            ok = hexBytes(data.substr(4), value.data);
        } else if (ok && data.compare(0, 4, L"hex(") == 0) {
            size_t close = data.find(L"):");
            ok = close != std::wstring::npos;
            value.type = std::wcstoul(data.c_str() + 4, nullptr, 16);
            ok = ok && hexBytes(data.substr(close + 2), value.data);
        } else {
            ok = false;
        }
        if (!ok) {
            file.errors.push_back(line);
            continue;
        }
        file.sections.back().values.push_back(value);
    }
    return file;
}
