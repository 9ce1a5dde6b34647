"""Checks the shipped 32-bit TallowbriskCleaner.exe from the built file itself."""

import sys
import unittest

import pefile

EXE = sys.argv[1]

# DLLs that every Windows installation has; the program may import nothing else.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "comctl32.dll", "msvcrt.dll"}


class ShippedExecutable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)

    def test_is_a_32_bit_gui_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_imports_windows_system_dlls_only(self):
        imported = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertTrue(imported, "no imports found")
        self.assertLessEqual(imported, SYSTEM_DLLS, "imports beyond Windows' own DLLs")


    def resources(self, kind):
        """{name or id: {language: bytes}} of one resource type."""
        found = {}
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            type_name = str(entry.name) if entry.name else pefile.RESOURCE_TYPE.get(entry.id, entry.id)
            if type_name != kind:
                continue
            for resource in entry.directory.entries:
                name = str(resource.name) if resource.name else resource.id
                for language in resource.directory.entries:
                    data = language.data.struct
                    found.setdefault(name, {})[language.id] = self.pe.get_data(data.OffsetToData, data.Size)
        return found

    def test_has_exactly_one_manifest_asking_for_administrator_rights(self):
        manifests = [data for languages in self.resources("RT_MANIFEST").values() for data in languages.values()]
        self.assertEqual(len(manifests), 1)
        self.assertEqual(list(self.resources("RT_MANIFEST")), [1])
        text = manifests[0].decode("utf-8")
        self.assertIn('level="requireAdministrator"', text)
        self.assertIn('uiAccess="false"', text)
        self.assertIn('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', text)
        self.assertNotIn("asInvoker", text)

    def test_has_the_dialog_strings_icons_and_picture(self):
        self.assertIn(129, self.resources("RT_DIALOG"))
        strings = {}
        for block, languages in self.resources("RT_STRING").items():
            data = languages[0x0409]
            offset = 0
            for index in range(16):
                length = int.from_bytes(data[offset:offset + 2], "little")
                strings[(block - 1) * 16 + index] = data[offset + 2:offset + 2 + 2 * length].decode("utf-16-le")
                offset += 2 + 2 * length
        self.assertEqual(strings[103], "TallowCleaner")
        self.assertEqual(strings[115], "Please Close Outlook")

        group = list(self.resources("RT_GROUP_ICON")[130].values())[0]
        self.assertEqual(int.from_bytes(group[4:6], "little"), 13)

        picture = list(self.resources("BMPGZDATA")["TALLOWBRISKBMP"].values())[0]
        self.assertEqual(picture[:3], b"\x1f\x8b\x08")

    def test_version_strings(self):
        self.pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        strings = {}
        for info in self.pe.FileInfo[0]:
            for table in getattr(info, "StringTable", []):
                self.assertEqual(table.LangID.lower(), b"040904b0")
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        self.assertEqual(strings, {
            "CompanyName": "Tallowbrisk Cleaner",
            "FileDescription": "Tallowbrisk Cleaner for Tallowbrisk for Outlook",
            "FileVersion": "1.15.1",
            "InternalName": "TallowbriskCleaner",
            "OriginalFileName": "TallowbriskCleaner.exe",
            "ProductName": "Tallowbrisk",
            "ProductVersion": "1.15.1"})
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x0001000F, 0x00010000))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x0001000F, 0x00010000))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
