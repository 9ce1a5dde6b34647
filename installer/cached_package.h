#pragma once
// What Windows Installer keeps on disk for an installed product: the cached copy of its package
// (named by the product's LocalPackage value, in %WINDIR%\Installer) and its icons, in a folder
// named by the braced product code (%WINDIR%\Installer for a machine's install, the user's
// roaming Microsoft\Installer for a user's).

#include <string>
#include <vector>

#include "files/removal_steps.h"
#include "platform/shell_folder.h"

class OperationsLogger;

// The name of the cached package that `localPackage` names, when it names a ".msi" file
// directly inside `installerFolder` (letter case aside): no further folder, no stream, no other
// spelling of the folder. Empty otherwise: such a package is not the installer's to remove.
std::wstring CachedPackageName(const std::wstring& installerFolder, const std::wstring& localPackage);

// What the installer keeps on disk for some products: the cached packages that their
// LocalPackage values name (as written), and their braced codes, which name their icons folders.
struct InstallerFiles {
    std::vector<std::wstring> localPackages;
    std::vector<std::wstring> codes;
};

// Deletes each cached package of `files` that lies directly inside the Windows folder's
// "Installer", through the folder's handle and its own, as the product folders are: one
// "remove file: " record each, "fail" for a link or a folder of that name, nothing for a package
// that is gone already or lies elsewhere. Then removes the icons folder of each of its codes below
// the Windows folder's "Installer", and below "Microsoft\Installer" in the roaming folder of the
// current user and of each of `otherUsers`, one "remove folder: " record each.
void RemoveInstallerFiles(const InstallerFiles& files, OperationsLogger* logger, SpecialFolderLookup lookUp,
                          const std::vector<SpecialFolderLookup>& otherUsers, RemovalSteps& steps);
