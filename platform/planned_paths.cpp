#include "platform/planned_paths.h"

#include <windows.h>

std::wstring FoldedName(std::wstring name) {
    if (!name.empty()) {
        CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    }
    return name;
}

bool IsAtOrBelowAny(const std::set<std::wstring>& planned, const std::wstring& folded) {
    if (planned.empty() || folded.empty()) {
        return false;
    }
    for (size_t end = folded.find(L'\\'); end != std::wstring::npos; end = folded.find(L'\\', end + 1)) {
        if (planned.count(folded.substr(0, end))) {
            return true;
        }
    }
    return planned.count(folded) != 0;
}
