#include "registry/registry_rules.h"

namespace {

#define HKCR HKEY_CLASSES_ROOT
#define HKCU HKEY_CURRENT_USER
#define HKLM HKEY_LOCAL_MACHINE

const RegistryRule kRules[] = {
    {HKLM, L"SOFTWARE\\Classes\\TestRegistryRedirectGV", L"TallowBrisk", MatchNameOrContent, 1},
    {HKCR, L"", L"Tallowbrisk", MatchName, 1},
    {HKLM, L"SOFTWARE\\Tallowbrisk", L"Tallowbrisk", RemoveKey, 1},
    {HKLM, L"SOFTWARE\\Tallowbrisk by Marlpit", L"Tallowbrisk", RemoveKey, 1},
    {HKLM, L"SOFTWARE\\Wow6432Node\\Tallowbrisk", L"Tallowbrisk", RemoveKey, 1},
    {HKLM, L"SOFTWARE\\Wow6432Node\\Tallowbrisk by Marlpit", L"Tallowbrisk", RemoveKey, 1},
    // COM and Windows Installer areas, once for each capitalisation of the product's name.
    {HKCU, L"SOFTWARE\\Classes\\CLSID", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKLM, L"SOFTWARE\\Classes\\CLSID", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCR, L"Installer\\Assemblies", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCR, L"Installer\\Products", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCR, L"Interface", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCR, L"Record", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCR, L"TypeLib", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCR, L"CLSID", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCU, L"BidonSoft\\BidonClasses\\BidonCLSID", L"TallowBrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Classes\\CLSID", L"TallowBrisk", MatchNameOrContent, 10},
    {HKLM, L"SOFTWARE\\Classes\\CLSID", L"TallowBrisk", MatchNameOrContent, 10},
    {HKCR, L"Installer\\Assemblies", L"TallowBrisk", MatchNameOrContent, 10},
    {HKCR, L"Installer\\Products", L"TallowBrisk", MatchNameOrContent, 10},
    {HKCR, L"Interface", L"TallowBrisk", MatchNameOrContent, 10},
    {HKCR, L"Record", L"TallowBrisk", MatchNameOrContent, 10},
    {HKCR, L"TypeLib", L"TallowBrisk", MatchNameOrContent, 10},
    {HKCR, L"CLSID", L"TallowBrisk", MatchNameOrContent, 20},
    {HKCU, L"SOFTWARE\\Caphyon\\Advanced Installer\\LZMA", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKLM, L"SOFTWARE\\Caphyon\\Advanced Installer\\LZMA", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Installer\\Assemblies", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKLM, L"SOFTWARE\\Microsoft\\Installer\\Assemblies", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCU, L"SOFTWARE\\Microsoft\\Installer\\Products", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKLM, L"SOFTWARE\\Microsoft\\Installer\\Products", L"Tallowbrisk", MatchNameOrContent, 10},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKLM, L"SOFTWARE\\Microsoft\\Office\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components", L"Tallowbrisk",
     MatchNameOrContent, 10},
    {HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products", L"Tallowbrisk",
     MatchNameOrContent, 10},
    // Outlook's own records of the add-in, for each Office version.
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\12.0\\Common\\CustomUIValidationCache", L"Tallowbrisk", MatchNameOrContent,
     1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\12.0\\Outlook\\AddInLoadTimes", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\12.0\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\13.0\\Common\\CustomUIValidationCache", L"Tallowbrisk", MatchNameOrContent,
     1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\13.0\\Outlook\\AddInLoadTimes", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\13.0\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\14.0\\Common\\CustomUIValidationCache", L"Tallowbrisk", MatchNameOrContent,
     1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\14.0\\Outlook\\AddInLoadTimes", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\14.0\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\15.0\\Common\\CustomUIValidationCache", L"Tallowbrisk", MatchNameOrContent,
     1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\15.0\\Outlook\\AddInLoadTimes", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\15.0\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\16.0\\Common\\CustomUIValidationCache", L"Tallowbrisk", MatchNameOrContent,
     1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\AddInLoadTimes", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\17.0\\Common\\CustomUIValidationCache", L"Tallowbrisk", MatchNameOrContent,
     1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\17.0\\Outlook\\AddInLoadTimes", L"Tallowbrisk", MatchNameOrContent, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\17.0\\Outlook\\Addins", L"Tallowbrisk", MatchNameOrContent, 1},
    // Outlook's list of add-ins it disabled (there is none for Office 15.0).
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\12.0\\Outlook\\Resiliency", L"Tallowbrisk", RemoveKey, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\13.0\\Outlook\\Resiliency", L"Tallowbrisk", RemoveKey, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\14.0\\Outlook\\Resiliency", L"Tallowbrisk", RemoveKey, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency", L"Tallowbrisk", RemoveKey, 1},
    {HKCU, L"SOFTWARE\\Microsoft\\Office\\17.0\\Outlook\\Resiliency", L"Tallowbrisk", RemoveKey, 1},
    {nullptr, nullptr, nullptr, 0, 0},
};

}  // namespace

const RegistryRule* RegistryRuleTable() { return kRules; }
