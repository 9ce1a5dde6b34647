#pragma once
// Special folders placed below one temporary folder, for the cleaners that look them up.

#include <windows.h>

#include <map>
#include <string>

#include "tests/unit/support/temp_folder.h"

// Special folders placed below one temporary folder; tests choose which CSIDLs resolve.
struct SpecialFolders {
    TempFolder root;
    std::map<int, std::wstring> places;

    SpecialFolders() {
        places = {{0x1A, root / L"Roaming"},
                  {0x2A, root / L"ProgramFilesX86"},
                  {0x26, root / L"ProgramFiles"},
                  {0x1C, root / L"Local"},
                  {0x05, root / L"Documents"},
                  {0x24, root / L"Windows"}};
        for (auto& [csidl, path] : places) CreateDirectoryW(path.c_str(), nullptr);
        current = this;
    }
    ~SpecialFolders() { current = nullptr; }

    static bool LookUp(int csidl, std::wstring& path) {
        ++current->lookups[csidl];
        auto it = current->places.find(csidl);
        if (it == current->places.end()) {
            path.clear();
            return false;
        }
        path = it->second;
        return true;
    }

    std::wstring operator()(int csidl, const std::wstring& relative) const {
        return places.at(csidl) + L"\\" + relative;
    }

    std::map<int, int> lookups;
    inline static SpecialFolders* current = nullptr;
};
