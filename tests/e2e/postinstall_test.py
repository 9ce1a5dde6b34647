"""The silent post-install run of the real cleaner: TallowbriskCleaner.exe /postinstall."""

import os
import shutil
import sys
import time
import unittest

import wine_harness as wine

CLEANER, DRIVER = sys.argv[1], sys.argv[2]
MARKER = "<Tallowbrisk4Outlook.Properties.Settings>"
SETTINGS = '<?xml version="1.0" encoding="utf-8"?><configuration><userSettings>' + MARKER + \
    '<setting name="Server"><value>https://example.test</value></setting>' \
    '</Tallowbrisk4Outlook.Properties.Settings></userSettings></configuration>'
ROOT = os.path.join(wine.LOCAL_APPDATA, "Microsoft_Corporation")
OUTSIDE = os.path.join(wine.DRIVE_C, "outside_the_tree")


def padded(text, size):
    data = text.encode("utf-8")
    return data + b" " * (size - len(data))


class PostInstallRun(unittest.TestCase):
    def setUp(self):
        for folder in (ROOT, OUTSIDE, wine.LOG_FOLDER):
            shutil.rmtree(folder, ignore_errors=True)

    def tearDown(self):
        for folder in (ROOT, OUTSIDE):
            shutil.rmtree(folder, ignore_errors=True)

    def seed(self, relative, data, mode=0o644):
        path = os.path.join(ROOT, relative)
        wine.write(path, data, mode)
        return path

    def test_removes_marked_settings_files_and_logs_each_removal(self):
        removed = [
            self.seed("Addin_Url_a/1.0.0.0/user.config", b"\xff\xfe" + SETTINGS.encode("utf-16-le")),
            self.seed("Addin_Url_b/user.config", SETTINGS.encode("utf-16-le")),
            self.seed("Addin_Url_c/1/2/3/4/user.config", b"\xef\xbb\xbf" + SETTINGS.encode("utf-8")),
            self.seed("Addin_Url_d/user.config", padded(SETTINGS, 262144)),
            self.seed("Addin_Url_e/user.config", SETTINGS.encode("utf-8"), mode=0o444),  # read-only
        ]
        kept = [
            self.seed("Other_Url/user.config", SETTINGS.lower().encode("utf-8")),
            self.seed("Addin_Url_f/User.config", SETTINGS.encode("utf-8")),
            self.seed("Addin_Url_g/user.config", padded(SETTINGS, 262145)),
        ]
        held = self.seed("Addin_Url_h/user.config", SETTINGS.encode("utf-8"))
        kept.append(held)

        # A link inside the tree to a folder elsewhere: nothing there may be touched.
        outside_settings = os.path.join(OUTSIDE, "user.config")
        outside_readonly = os.path.join(OUTSIDE, "notes.txt")
        wine.write(outside_settings, SETTINGS.encode("utf-8"))
        wine.write(outside_readonly, b"notes", mode=0o444)
        os.symlink(OUTSIDE, os.path.join(ROOT, "Linked_Url"))
        os.symlink(ROOT, os.path.join(ROOT, "Addin_Url_a", "loop"))  # a link to an ancestor
        # Links to files elsewhere, which Wine lists as plain files: a marked settings file, and a
        # read-only file, whose bit stays.
        os.makedirs(os.path.join(ROOT, "Addin_Url_i"))
        os.symlink(outside_settings, os.path.join(ROOT, "Addin_Url_i", "user.config"))
        os.symlink(outside_readonly, os.path.join(ROOT, "Addin_Url_i", "notes.txt"))

        with wine.HeldOpen(DRIVER, held):
            self.assertEqual(wine.run(CLEANER, "/postinstall"), 0)

        for path in removed:
            self.assertFalse(os.path.exists(path), path)
        for path in kept + [outside_settings, outside_readonly]:
            self.assertTrue(os.path.exists(path), path)
        self.assertEqual(os.stat(outside_readonly).st_mode & 0o222, 0, "a read-only file outside lost its bit")

        logs = wine.log_files()
        self.assertEqual(len(logs), 1)
        self.assertRegex(os.path.basename(logs[0]), r"^Tallowbrisk_cleaner_\d{4}_\d\d_\d\dT\d\d_\d\d_\d\dZ\.log$")
        expected = {"LOG Remove:: remove file:  : %s : success" % wine.windows_path(p) for p in removed}
        self.assertEqual(sorted(wine.read_log(logs[0])), sorted(expected))

    def test_during_an_installation_it_does_not_wait(self):
        """The add-in's installer runs "/postinstall" from its own transaction, holding
        Global\\_MSIExecute until it has ended: the run does its work at once, while the mutex is held."""
        path = self.seed("Addin_Url/user.config", SETTINGS.encode("utf-8"))
        with wine.InstallerTransaction(DRIVER):
            started = time.monotonic()
            self.assertEqual(wine.run(CLEANER, "/postinstall"), 0)
            ran = time.monotonic() - started
            self.assertFalse(os.path.exists(path))
        [log] = wine.log_files()
        self.assertEqual(wine.whole_lines(log), ["LOG Remove:: remove file:  : %s : success" % wine.windows_path(path)])
        print("/postinstall during an installation: %.1f s" % ran, file=sys.stderr)

    def test_the_switch_is_matched_in_any_letter_case(self):
        path = self.seed("Addin_Url/user.config", SETTINGS.encode("utf-8"))
        self.assertEqual(wine.run(CLEANER, "/POSTINSTALL"), 0)
        self.assertFalse(os.path.exists(path))
        self.assertEqual(len(wine.log_files()), 1)

    def test_nothing_to_remove_leaves_no_log_folder(self):
        self.seed("Other_Url/user.config", b"<configuration/>")
        self.assertEqual(wine.run(CLEANER, "/postinstall"), 0)
        self.assertFalse(os.path.exists(wine.LOG_FOLDER))

    def test_no_settings_folder_at_all(self):
        self.assertEqual(wine.run(CLEANER, "/postinstall"), 0)
        self.assertFalse(os.path.exists(wine.LOG_FOLDER))


if __name__ == "__main__":
    wine.main()
