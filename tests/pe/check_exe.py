"""Checks the shipped 32-bit TallowbriskCleaner.exe, or its 64-bit twin, from the built file itself."""

import sys
import unittest

import pefile

EXE = sys.argv[1]

# DLLs that every Windows installation has; the program may import nothing else.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "comctl32.dll", "msvcrt.dll"}


def parse_dialog_ex(data):
    """The style of an extended dialog template and (class, id, style) of each control; a class
    given by its atom is the number (0x80 button, 0x82 static), a class name is in capitals
    (windres writes them so; Windows compares them without regard to case)."""
    def word(at):
        return int.from_bytes(data[at:at + 2], "little")

    def dword(at):
        return int.from_bytes(data[at:at + 4], "little")

    def name_or_ordinal(at):
        if word(at) == 0xFFFF:
            return word(at + 2), at + 4
        end = at
        while word(end):
            end += 2
        return data[at:end].decode("utf-16-le"), end + 2

    assert (word(0), word(2)) == (1, 0xFFFF), "not an extended dialog template"
    style, count = dword(12), word(16)
    at = 26
    _, at = name_or_ordinal(at)  # menu
    _, at = name_or_ordinal(at)  # class
    _, at = name_or_ordinal(at)  # caption
    if style & 0x40:  # DS_SETFONT: point size, weight, italic, character set, face name
        _, at = name_or_ordinal(at + 6)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        control_style, control_id = dword(at + 8), dword(at + 20)
        control_class, at = name_or_ordinal(at + 24)
        _, at = name_or_ordinal(at)  # text
        at += 2 + word(at)  # creation data
        if isinstance(control_class, str):
            control_class = control_class.upper()
        controls.append((control_class, control_id & 0xFFFF, control_style))
    return style, controls


class ShippedExecutable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)

    def is_64bit(self):
        return self.pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]

    def test_is_a_32_bit_gui_program_or_its_64_bit_twin(self):
        self.assertIn(self.pe.FILE_HEADER.Machine, (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
                                                    pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]))
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_image_is_hardened_as_an_elevated_program_should_be(self):
        flags = self.pe.OPTIONAL_HEADER.DllCharacteristics
        wanted = {"IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE": 0x0040,  # loaded at a random address
                  "IMAGE_DLLCHARACTERISTICS_NX_COMPAT": 0x0100,  # data is never run
                  # no compatibility layer on a terminal server (the system's Windows folder)
                  "IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE": 0x8000}
        if self.is_64bit():
            wanted["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"] = 0x0020  # anywhere in 64-bit space
        for name, bit in wanted.items():
            self.assertTrue(flags & bit, "%s missing from DllCharacteristics 0x%04x" % (name, flags))
        # A random base needs the relocations: without them Windows loads the image at its
        # preferred address whatever the flag says.
        self.assertFalse(self.pe.FILE_HEADER.Characteristics & 0x0001, "IMAGE_FILE_RELOCS_STRIPPED")
        relocations = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertGreater(relocations.Size, 0, "no base relocations")
        if self.is_64bit():
            self.assertGreater(self.pe.OPTIONAL_HEADER.ImageBase, 0xFFFFFFFF, "preferred base below 4 GB")

    def test_narrows_the_dll_search_ends_on_heap_corruption_and_guards_its_stack(self):
        imported = {(entry.dll.decode().lower(), imp.name.decode()) for entry in self.pe.DIRECTORY_ENTRY_IMPORT
                    for imp in entry.imports if imp.name}
        self.assertIn(("kernel32.dll", "HeapSetInformation"), imported)
        self.assertIn(("kernel32.dll", "GetProcAddress"), imported)
        image = bytes(self.pe.__data__)
        # Looked up at run time (Windows 7 has it only with an update), so its name is data.
        self.assertIn(b"SetDefaultDllDirectories\0", image)
        self.assertIn(b"SetDllDirectoryW", {name.encode() for _, name in imported})
        # The stack protector's run-time, which only functions with a canary pull in.
        self.assertIn(b"stack smashing detected", image)

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

    def test_dialog_template_styles(self):
        template = list(self.resources("RT_DIALOG")[129].values())[0]
        dialog, controls = parse_dialog_ex(template)
        ds_setfont, ds_modalframe, ds_fixedsys = 0x40, 0x80, 0x08
        ws_popup, ws_caption, ws_sysmenu = 0x80000000, 0x00C00000, 0x00080000
        self.assertEqual(dialog, ds_setfont | ds_modalframe | ds_fixedsys | ws_popup | ws_caption | ws_sysmenu)
        ws_child_visible, ws_group, ws_tabstop, ws_border = 0x50000000, 0x00020000, 0x00010000, 0x00800000
        ss_noprefix, bs_defpushbutton = 0x80, 0x01
        static_text = ws_child_visible | ws_group | ss_noprefix  # SS_LEFT is 0
        self.assertEqual(controls, [
            ("BITMAPVIEW", 0xFFFF, ws_child_visible | ws_border | 0x000D),
            (0x82, 0xFFFF, static_text),
            (0x82, 0xFFFF, static_text),
            (0x82, 0xFFFF, static_text),
            ("MHYPERLINK", 0xFFFF, ws_child_visible | ws_tabstop),
            (0x80, 1, ws_child_visible | ws_tabstop | bs_defpushbutton),
            (0x80, 2, ws_child_visible | ws_tabstop | bs_defpushbutton),
        ])

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
