#pragma once

#include <string>

#include "platform/registry_api.h"

// The sections of a ".reg" file (reg_file_text.h) that put `parent`\`path` back with its whole
// subtree: the key named `keyName`, its subkeys named below it, parents before children,
// each with all its values, whole however long they are. Keys are opened for reading in the
// view that the view bits of `access` select, each as it is (REG_OPTION_OPEN_LINK). What
// cannot be read is named in a comment line and left out, and so is what lies more than
// kMaxKeyDepth levels down. Empty when the key itself cannot be opened or named, and when the
// subtree holds a name that the file cannot carry (WritableName) or a link: then the key must
// stay whole. Its `status` is the top key's open error (ERROR_FILE_NOT_FOUND: it is gone),
// ERROR_INVALID_NAME for a name the file cannot carry, kKeyIsLink for a link, or ERROR_SUCCESS.
struct ExportedKeyTree {
    std::wstring text;
    LSTATUS status = ERROR_SUCCESS;
};
ExportedKeyTree ExportKeyTree(RegistryApi& registry, HKEY parent, const std::wstring& path, REGSAM access,
                              const std::wstring& keyName);
