#include "installer/cached_package.h"

#include <windows.h>

#include "files/folder_removal.h"
#include "platform/folder_listing.h"
#include "platform/text.h"
#include "report/operations_logger.h"

namespace {

constexpr wchar_t kInstaller[] = L"Installer";
constexpr wchar_t kUserInstaller[] = L"Microsoft\\Installer";
constexpr wchar_t kPackageExtension[] = L".msi";

// Opened for deletion only, shared for reading as the installer leaves its packages.
constexpr ACCESS_MASK kPackageAccess = DELETE;
constexpr ULONG kPackageShare = FILE_SHARE_READ;

void RemoveCachedPackage(const std::wstring& windows, const std::wstring& name, OperationsLogger* logger,
                         RemovalSteps& steps) {
    const std::wstring installerFolder = windows + L'\\' + kInstaller;
    const std::wstring path = installerFolder + L'\\' + name;
    const auto report = [&](int outcome) {
        if (logger) logger->log(L"remove file: ", path.c_str(), outcome);
    };
    OpenedEntry folder;
    // Opened below the Windows folder, so that an Installer folder that is a link is seen as one.
    const OpenResult folderResult = OpenFolderBelow(windows, kInstaller, 0, folder);
    if (folderResult == OpenResult::Missing || folderResult == OpenResult::NotFolder) {
        return;
    }
    if (folderResult != OpenResult::Opened || folder.isLink) {
        report(0);  // the Installer folder is a link: nothing is deleted through it
        return;
    }
    const OpenFolder parent{std::move(folder.handle), installerFolder, std::move(folder.finalPath)};
    OpenedEntry opened;
    switch (OpenNamedEntry(parent, name, kPackageAccess, kPackageShare, false, opened)) {
        case OpenResult::Opened:
            break;
        case OpenResult::Missing:
            return;  // gone already: a broken install, or removed by hand
        default:
            report(0);
            return;
    }
    if (steps.isGone(opened.handle.get())) {
        return;
    }
    // A link or a folder bears the package's name, but is not a package: it stays. The handle
    // is asked, since where links are followed the open knows no attributes of its own.
    DWORD attributes = 0;
    DWORD tag = 0;
    if (opened.isLink || !QueryAttributes(opened.handle.get(), attributes, tag) ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(attributes, tag)) {
        report(0);
        return;
    }
    report(steps.remove(opened.handle.get()) ? 1 : 0);
}

}  // namespace

std::wstring CachedPackageName(const std::wstring& installerFolder, const std::wstring& localPackage) {
    const size_t folderLength = installerFolder.size();
    if (installerFolder.empty() || localPackage.size() <= folderLength + 1 ||
        !SameText(std::wstring_view(localPackage).substr(0, folderLength), installerFolder) ||
        localPackage[folderLength] != L'\\') {
        return std::wstring();
    }
    const std::wstring name = localPackage.substr(folderLength + 1);
    const size_t extensionLength = sizeof kPackageExtension / sizeof kPackageExtension[0] - 1;
    // A name only: no further folder (either separator), no drive or stream, no wildcard.
    if (name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos || name.size() <= extensionLength ||
        !EndsWithText(name, kPackageExtension)) {
        return std::wstring();
    }
    for (wchar_t c : name) {
        if (c < L' ') return std::wstring();
    }
    return name;
}

void RemoveInstallerFiles(const InstallerFiles& files, OperationsLogger* logger, SpecialFolderLookup lookUp,
                          const std::vector<SpecialFolderLookup>& otherUsers, RemovalSteps& steps) {
    const std::vector<std::wstring>& codes = files.codes;
    std::wstring windows;
    if (lookUp(kCsidlWindows, windows)) {
        const std::wstring installer = windows + L'\\' + kInstaller;
        for (const std::wstring& package : files.localPackages) {
            const std::wstring name = CachedPackageName(installer, package);
            if (!name.empty()) RemoveCachedPackage(windows, name, logger, steps);
        }
        for (const std::wstring& code : codes) {
            RemoveFolderIfPresent(windows, (std::wstring(kInstaller) + L'\\' + code).c_str(), logger, steps);
        }
    }
    std::vector<SpecialFolderLookup> users{lookUp};
    users.insert(users.end(), otherUsers.begin(), otherUsers.end());
    for (const SpecialFolderLookup& user : users) {
        std::wstring roaming;
        if (!user(kCsidlAppData, roaming)) continue;
        for (const std::wstring& code : codes) {
            RemoveFolderIfPresent(roaming, (std::wstring(kUserInstaller) + L'\\' + code).c_str(), logger, steps);
        }
    }
}
