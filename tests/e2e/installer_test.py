"""The cleaner against a real Windows Installer registration of the add-in.

Stand-in installer packages (packages/*.wxs) are built with wixl into the build tree and
installed with Wine's msiexec: the add-in per machine or per user, and another vendor's add-in
beside it. After "/quiet" nothing may name the old product, and the next version must install
and uninstall as on a machine that never had the add-in, while the other vendor's product stays
exactly as it was.
"""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest

import wine_harness as wine

CLEANER, DRIVER, DRIVER64 = sys.argv[1], sys.argv[2], sys.argv[3]
SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "packages")
PACKAGES = os.path.join(os.path.dirname(wine.PREFIX), "packages")
INSTALLER_FOLDER = os.path.join(wine.DRIVE_C, "windows", "Installer")
PROGRAM_FILES_X86 = os.path.join(wine.DRIVE_C, "Program Files (x86)")
ROAMING_INSTALLER = os.path.join(wine.ROAMING_APPDATA, "Microsoft", "Installer")
UNINSTALL = r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall"
USER_DATA = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Installer\UserData"
MACHINE_SID = "S-1-5-18"

OTHER_PRODUCT = "{D4C3B2A1-9F8E-4D7C-B6A5-0F1E2D3C4B5A}"
OTHER_FOLDER = os.path.join(PROGRAM_FILES_X86, "Quillfen")

with open(os.path.join(SOURCES, "addin.wxs"), encoding="utf-8") as f:
    ADDIN_SOURCE = f.read()
# Every code the add-in's installer registers besides its product codes: its upgrade code,
# its components, its COM class.
ADDIN_GUIDS = re.findall(r'(?:UpgradeCode|Guid)="(\{[0-9A-F-]+\})"', ADDIN_SOURCE) + \
    re.findall(r"CLSID\\(\{[0-9A-F-]+\})\"", ADDIN_SOURCE)


def stand_in_icon():
    """A 16 x 16 icon of one colour, 32 bits a pixel."""
    pixels, mask = b"\x20\x80\xe0\xff" * 256, b"\0" * 64
    bitmap = (40).to_bytes(4, "little") + (16).to_bytes(4, "little") + (32).to_bytes(4, "little") + \
        (1).to_bytes(2, "little") + (32).to_bytes(2, "little") + b"\0" * 24 + pixels + mask
    return b"\0\0\1\0\1\0" + bytes([16, 16, 0, 0, 1, 0, 32, 0]) + len(bitmap).to_bytes(4, "little") + \
        (22).to_bytes(4, "little") + bitmap


def build_package(name, source, **defines):
    """Builds a package with wixl into the build tree and returns its path."""
    os.makedirs(PACKAGES, exist_ok=True)
    for stand_in in ("Tallowbrisk.Addin.dll", "Tallowbrisk.Addin.manifest", "Quillfen.Tagger.dll"):
        with open(os.path.join(PACKAGES, stand_in), "wb") as f:
            f.write(b"MZ stand-in for " + stand_in.encode("ascii"))
    with open(os.path.join(PACKAGES, "addin.ico"), "wb") as f:
        f.write(stand_in_icon())
    path = os.path.join(PACKAGES, name)
    command = ["wixl", "-o", path] + [arg for item in sorted(defines.items()) for arg in ("-D", "%s=%s" % item)] + \
        [os.path.join(SOURCES, source)]
    subprocess.run(command, cwd=PACKAGES, check=True, timeout=120)
    return path


def install(package, properties=""):
    return wine.msiexec(DRIVER64, '/i "Z:%s" /qn %s' % (package.replace("/", "\\"), properties))


def uninstall(product):
    return wine.msiexec(DRIVER64, "/x %s /qn" % product)


def value(keys, key, name):
    """The data of a string value in an export, unescaped."""
    for line in wine.values(keys.get(key, [])):
        if line.startswith('"%s"="' % name):
            return line[len(name) + 4:-1].replace("\\\\", "\\")
    return None


def user_sid(keys):
    """The SID of the prefix's one user, whose hive is HKEY_CURRENT_USER."""
    [sid] = [k.split("\\")[1] for k in keys if re.match(r"^HKEY_USERS\\S-1-5-21-[0-9-]+$", k)]
    return sid


def unix_path(path):
    assert path[:3].upper() == "C:\\", path
    return os.path.join(wine.DRIVE_C, *path[3:].split("\\"))


def read_tree(folder):
    """Every file below a folder with its bytes."""
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                found[os.path.join(root, name)] = f.read()
    return found


def other_vendors_files(package):
    """The other vendor's program files and its cached package, with their bytes."""
    files = read_tree(OTHER_FOLDER)
    if package and os.path.isfile(unix_path(package)):
        with open(unix_path(package), "rb") as f:
            files[package] = f.read()
    return files


def plant_user_entries(product):
    """What any user can write into their own hive beside another vendor's product: its code in
    their Programs and Features, shown as the add-in's, and in their installer Products keys,
    named as the add-in. Returns the keys planted."""
    keys = [r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\%s" % product,
            r"HKEY_CURRENT_USER\Software\Microsoft\Installer\Products\%s" % wine.packed(product)]
    wine.import_registry("\r\n".join([
        "Windows Registry Editor Version 5.00", "",
        "[%s]" % keys[0], '"DisplayName"="Tallowbrisk helper"', "",
        "[%s]" % keys[1], '"ProductName"="Tallowbrisk for Outlook"', "", ""]))
    return keys


def tree_names(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, folders, files in os.walk(folder) for name in folders + files)


class Story:
    """What one install, clean, reinstall and uninstall did, step by step. Each step is traced
    on standard error as it ends: a step that hangs is the one after the last one traced."""

    def __setattr__(self, name, result):
        super().__setattr__(name, result)
        print("%s story: %s done" % (time.strftime("%H:%M:%S"), name), file=sys.stderr, flush=True)


class InstallerChecks:
    """The checks of one story; a subclass says how the add-in is installed."""

    maxDiff = None
    scope = None           # "perMachine" or "perUser"
    codes = None           # the product codes of the two versions
    per_user = False       # registered in the user's UserData, not the machine's
    program_folder = None  # where the add-in's files go
    delete_cached_package = False

    @classmethod
    def setUpClass(cls):
        first, second = cls.codes
        cls.packed = [wine.packed(code) for code in cls.codes]
        cls.marks = ["Tallowbrisk"] + list(cls.codes) + cls.packed + \
            [g for guid in ADDIN_GUIDS for g in (guid, wine.packed(guid))]
        packages = [build_package("addin-%s-%d.msi" % (cls.scope, n), "addin.wxs", Version=version,
                                  ProductCode=code, Scope=cls.scope)
                    for n, (version, code) in enumerate([("1.0.0", first), ("2.0.0", second)], 1)]
        other = build_package("other-vendor.msi", "other_vendor.wxs")

        story = cls.story = Story()
        with wine.KeptServer():
            story.start = wine.export_registry()
            sid = user_sid(story.start) if cls.per_user else MACHINE_SID
            story.other_install = install(other)
            story.with_other = wine.export_registry()
            story.other_keys = {k: v for k, v in story.with_other.items() if k not in story.start}
            story.planted = plant_user_entries(OTHER_PRODUCT)
            story.other_package = value(story.with_other, "%s\\%s\\Products\\%s\\InstallProperties"
                                        % (USER_DATA, MACHINE_SID, wine.packed(OTHER_PRODUCT)), "LocalPackage")
            story.other_files = other_vendors_files(story.other_package)
            story.installer_folder = tree_names(INSTALLER_FOLDER)
            story.roaming_installer = tree_names(ROAMING_INSTALLER)

            story.first_install = install(packages[0])
            story.installed = wine.export_registry()
            story.installed_files = tree_names(cls.program_folder)
            story.local_package = value(story.installed, "%s\\%s\\Products\\%s\\InstallProperties"
                                        % (USER_DATA, sid, cls.packed[0]), "LocalPackage")
            story.cached = story.local_package and os.path.isfile(unix_path(story.local_package))
            story.icons = [folder for folder in (os.path.join(INSTALLER_FOLDER, first),
                                                 os.path.join(ROAMING_INSTALLER, first)) if os.path.isdir(folder)]
            if cls.delete_cached_package and story.cached:
                os.remove(unix_path(story.local_package))

            shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
            story.preview_exit = wine.run_for_exit_code(DRIVER, CLEANER, "/preview")
            story.planned = [wine.read_log(path) for path in wine.preview_files()]
            story.quiet_exit = wine.run_for_exit_code(DRIVER, CLEANER, "/quiet")
            story.logged = [wine.read_log(path) for path in wine.log_files()]
            story.cleaned = wine.export_registry()
            story.cleaned_other_files = other_vendors_files(story.other_package)

            story.second_install = install(packages[1])
            story.reinstalled = wine.export_registry()
            story.reinstalled_files = tree_names(cls.program_folder)
            story.second_uninstall = uninstall(second)
            story.end = wine.export_registry()
            story.end_files = {folder: tree_names(folder) for folder in
                               (INSTALLER_FOLDER, ROAMING_INSTALLER, cls.program_folder)}
            story.end_other_files = other_vendors_files(story.other_package)
            story.other_uninstall = uninstall(OTHER_PRODUCT)
            story.other_left = os.path.exists(OTHER_FOLDER)

    @classmethod
    def tearDownClass(cls):
        # Whatever a failed step left goes, so that the next story starts clean.
        for product in list(cls.codes) + [OTHER_PRODUCT]:
            uninstall(product)
        left = {line.split(": ", 1)[0] for line in wine.registry_lines_naming(wine.export_registry(), cls.marks)}
        if left:
            wine.import_registry("\r\n".join(["Windows Registry Editor Version 5.00", ""] +
                                               ["[-%s]" % key for key in sorted(left)] + ["", ""]))
        shutil.rmtree(cls.program_folder, ignore_errors=True)
        for name in set(tree_names(INSTALLER_FOLDER)) - set(cls.story.installer_folder):
            path = os.path.join(INSTALLER_FOLDER, name)
            if os.path.lexists(path):
                shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        for code in cls.codes:
            shutil.rmtree(os.path.join(ROAMING_INSTALLER, code), ignore_errors=True)

    def test_the_packages_install_and_register_the_product(self):
        story = self.story
        self.assertEqual((story.other_install, story.first_install), (0, 0))
        self.assertEqual(story.installed_files, ["Tallowbrisk.Addin.dll", "Tallowbrisk.Addin.manifest"])
        self.assertIn("%s\\%s" % (UNINSTALL, self.codes[0]), story.installed)
        self.assertTrue(story.cached, "no cached package at %s" % story.local_package)
        self.assertEqual(len(story.icons), 1, "the product's icon was not kept")
        self.assertIn(story.other_package, story.other_files, "the other vendor's package is not cached")
        self.assertIn(os.path.join(OTHER_FOLDER, "Quillfen.Tagger.dll"), story.other_files)
        self.assertEqual(wine.registry_lines_naming(story.start, self.marks), [], "the add-in was there before")

    def test_preview_lists_exactly_what_quiet_then_logs(self):
        story = self.story
        self.assertEqual(story.preview_exit, 1)
        self.assertEqual(story.quiet_exit, 0, story.logged)
        [planned], [logged] = story.planned, story.logged
        self.assertEqual(wine.without_outcome(planned), wine.without_outcome(logged))
        self.assertEqual([line.rsplit(" : ", 1)[1] for line in planned], ["planned"] * len(planned))
        self.assertEqual([line.rsplit(" : ", 1)[1] for line in logged], ["success"] * len(logged))

    def test_quiet_leaves_nothing_that_names_the_old_product(self):
        story = self.story
        self.assertEqual(wine.registry_lines_naming(story.cleaned, [self.codes[0], self.packed[0]]), [])
        self.assertFalse(os.path.exists(unix_path(story.local_package)), "the cached package is still there")
        self.assertEqual([folder for folder in story.icons if os.path.exists(folder)], [], "the icons are still there")
        self.assertFalse(os.path.exists(self.program_folder))
        if story.cached and not self.delete_cached_package:
            [logged] = story.logged
            self.assertTrue(any(story.local_package.lower() in line.lower() for line in logged),
                            "the cached package's removal is not logged")

    def test_the_next_version_installs_and_is_listed_once(self):
        story = self.story
        self.assertEqual(story.second_install, 0)
        self.assertEqual(story.reinstalled_files, ["Tallowbrisk.Addin.dll", "Tallowbrisk.Addin.manifest"])
        entries = [k for k in story.reinstalled if k.startswith(UNINSTALL + "\\") and
                   "Tallowbrisk" in (value(story.reinstalled, k, "DisplayName") or "")]
        self.assertEqual(entries, ["%s\\%s" % (UNINSTALL, self.codes[1])], "Programs and Features lists")

    def test_the_next_versions_uninstall_leaves_no_file_of_the_add_in(self):
        story = self.story
        self.assertEqual(story.second_uninstall, 0)
        # Its folder, and every cached package and icon of both versions, are gone.
        self.assertEqual(story.end_files, {INSTALLER_FOLDER: story.installer_folder,
                                           ROAMING_INSTALLER: story.roaming_installer, self.program_folder: []})
        self.assertFalse(os.path.exists(self.program_folder))

    def test_the_next_versions_uninstall_leaves_no_key_of_the_add_in(self):
        story = self.story
        self.assertEqual(story.second_uninstall, 0)
        self.assertEqual(wine.registry_lines_naming(story.end, self.marks), [])
        # What the installs made and left is only empty parents, as on a machine never cleaned.
        self.assertEqual({k: v for k, v in story.end.items() if k not in story.with_other and v}, {})

    def test_entries_a_user_planted_go_from_their_hive_alone(self):
        story = self.story
        # The user's keys, under HKEY_CURRENT_USER or under their SID, however the export names them.
        planted = [key.split("\\", 1)[1].lower() for key in story.planted]

        def found(export):
            return sorted({p for k in export for p in planted if k.lower().endswith("\\" + p)})

        self.assertEqual(set(found(story.installed)), set(planted), "the planted keys are not there")
        self.assertEqual(found(story.cleaned), [])
        self.assertEqual({k: story.cleaned.get(k) for k in story.other_keys}, story.other_keys)
        self.assertEqual(story.other_uninstall, 0)

    def test_the_other_vendors_product_stays_as_it_was_and_still_uninstalls(self):
        story = self.story
        for export in (story.cleaned, story.end):
            self.assertEqual({k: export.get(k) for k in story.other_keys}, story.other_keys)
        self.assertEqual(story.cleaned_other_files, story.other_files)
        self.assertEqual(story.end_other_files, story.other_files)
        self.assertEqual(story.other_uninstall, 0)
        self.assertFalse(story.other_left)


class PerMachine(InstallerChecks, unittest.TestCase):
    """A per-machine install, its cached package in place."""

    scope = "perMachine"
    codes = ("{5D0A9C21-7E3B-4F68-A1C2-3B4D5E6F7081}", "{5D0A9C21-7E3B-4F68-A1C2-3B4D5E6F7082}")
    program_folder = os.path.join(PROGRAM_FILES_X86, "Tallowbrisk")


class PerUserBroken(InstallerChecks, unittest.TestCase):
    """A per-user install whose cached package has been deleted: msiexec can no longer remove it."""

    scope = "perUser"
    codes = ("{5D0A9C21-7E3B-4F68-A1C2-3B4D5E6F7083}", "{5D0A9C21-7E3B-4F68-A1C2-3B4D5E6F7084}")
    per_user = True
    program_folder = os.path.join(wine.LOCAL_APPDATA, "Tallowbrisk")
    delete_cached_package = True


if __name__ == "__main__":
    wine.main()
