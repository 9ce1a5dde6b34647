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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
