"""The whole program under wine64 and Xvfb: the Outlook check, the dialog, and a cleaning session."""

import glob
import os
import shutil
import subprocess
import sys
import time
import unittest

import wine_harness as wine

CLEANER, DRIVER, OUTLOOK, PLANTED, OWN_DRIVER = sys.argv[1:6]
WOW64 = wine.is_32bit(CLEANER)
WM_KEYDOWN, VK_ESCAPE, WM_CLOSE, WM_COMMAND, BM_CLICK = 0x0100, 0x1B, 0x0010, 0x0111, 0x00F5
IDOK, IDCANCEL = 1, 2
# Enough of the product's COM classes that removing them takes a session seconds.
MANY_CLASSES = 1000
SETTINGS = b"<configuration><userSettings><Tallowbrisk4Outlook.Properties.Settings>" \
    b"</Tallowbrisk4Outlook.Properties.Settings></userSettings></configuration>"
PROGRAM_FILES = os.path.join(wine.DRIVE_C, "Program Files")
PROGRAM_FILES_X86 = os.path.join(wine.DRIVE_C, "Program Files (x86)")
OUTSIDE = os.path.join(wine.DRIVE_C, "precious")
ADDINS = r"HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\Addins"
PRODUCT_KEYS = [
    ADDINS + r"\Tallowbrisk.Addin",
    ADDINS + r"\Other.Addin",  # names the product in a value
    r"HKEY_LOCAL_MACHINE\Software\Tallowbrisk",
    r"HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\Resiliency",
    r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Tallowbrisk",  # the 32-bit view's
]
SEED_REG = "\r\n".join([
    "Windows Registry Editor Version 5.00", "",
    "[%s\\Tallowbrisk.Addin]" % ADDINS, '"LoadBehavior"=dword:00000003', "",
    "[%s\\Other.Addin]" % ADDINS, '"Description"="Shipped with Tallowbrisk"', "",
    r"[HKEY_LOCAL_MACHINE\Software\Tallowbrisk\Settings\Deeper]", '"Path"="C:\\\\x"', "",
    r"[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Tallowbrisk\Updates]", '"Channel"="stable"', "",
    r"[HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\Resiliency\DisabledItems]",
    '"1"=hex:01,02', "", ""])


# Other users of the machine, for "/allusers": one logged on (hives under HKEY_USERS\<SID>),
# one not (hive files in the profile), one whose profile folder is gone.
PROFILE_LIST = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\ProfileList"
LOGGED_ON, NOT_LOGGED_ON, GONE = ("S-1-5-21-1111-2222-3333-%d" % rid for rid in (1001, 1002, 1003))
USER_ADDINS = r"Software\Microsoft\Office\16.0\Outlook\Addins"
USER_CLASS = r"CLSID\{6F1C2D3E-4A5B-4C6D-8E7F-901A2B3C4D5E}"
SHELL_FOLDERS = r"Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


def reg_expand_sz(text):
    """A REG_EXPAND_SZ value as a .reg file writes it."""
    return "hex(2):" + ",".join("%02x" % b for b in (text + "\0").encode("utf-16-le"))


class Program:
    """The cleaner, started in the background."""

    def __init__(self, *args):
        self.process = wine.start(CLEANER, *args)

    def exit_code(self, timeout=120):
        return self.process.wait(timeout=wine.limit(timeout))


class DialogTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The first Wine process of a fresh prefix starts Wine's services; a second one that starts
        # beside it meanwhile (the driver looking for the dialog of a cleaner just started) can
        # leave the other hanging. One listing to its end first, and the tests start on a running
        # server, as every test after the first does.
        wine.windows(DRIVER)

    def setUp(self):
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)

    def open_dialog(self, *args):
        program = Program(*args)
        return program, wine.wait_for_window(DRIVER, wine.is_main_dialog)

    def test_the_dialog_comes_up_centred_with_its_texts_picture_and_link(self):
        program, dialog = self.open_dialog()
        wine.screenshot("dialog")
        screen = wine.windows(DRIVER)["screen"]
        left, top, right, bottom = dialog["rect"]
        self.assertLessEqual(abs(left + right - screen[0]), 1)
        self.assertLessEqual(abs(top + bottom - screen[1]), 1)

        children = dialog["children"]
        self.assertEqual([c["class"] for c in children],
                         ["BitmapView", "Static", "Static", "Static", "mHyperlink", "Button", "Button"])
        self.assertEqual([c["text"] for c in children[:4]], [
            "TALLOWBRISKBMP", "Tallowbrisk Cleaner, Version 1.15",
            "Tallowbrisk Cleaner for Outlook will uninstall Tallowbrisk files that may be causing problems.\n\n"
            "After the cleaning process you will be able to do an updated install with the latest Addin version.",
            "Tallowbrisk cleaner can take a few minutes depending on your configuration."])
        self.assertRegex(children[4]["text"], r"^Download link for the latest Addin version\.\$http://[^/]+"
                                              r"/quiver-backoffice/outlook-jsp/DownloadOutlookAddin\.action$")
        self.assertEqual([(c["text"], c["id"]) for c in children[5:]], [("OK", 1), ("Cancel", 2)])
        picture = children[0]["rect"]
        self.assertEqual((picture[2] - picture[0], picture[3] - picture[1]), (178, 200))
        cancel, ok = children[6]["rect"], children[5]["rect"]
        self.assertLess(cancel[2], ok[0], "Cancel stands left of OK")

        wine.click(DRIVER, dialog, "Cancel")
        self.assertEqual(program.exit_code(), 0)

    def seed_leftovers(self, links=True):
        """Seeds all three kinds of leftovers beside things that must stay, and returns what the
        checks after a session need."""
        # Parents of the seeded keys exist before the "before" picture is taken.
        # The parents of the product's keys, and another add-in, are there before and after.
        wine.import_registry("Windows Registry Editor Version 5.00\r\n\r\n[%s\\Unrelated.Addin]\r\n"
                        "\"LoadBehavior\"=dword:00000003\r\n\r\n" % ADDINS)
        seeded = {"registry_before": wine.export_registry()}
        wine.import_registry(SEED_REG)
        seeded["settings"] = os.path.join(wine.LOCAL_APPDATA, "Microsoft_Corporation", "Addin_Url", "1.0",
                                          "user.config")
        wine.write(seeded["settings"], SETTINGS)
        # Both program files folders: the shipped exe, under WOW64, must reach the 64-bit one too.
        seeded["folders"] = [os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk"),
                             os.path.join(PROGRAM_FILES_X86, "Tallowbrisk by marlpit"),
                             os.path.join(PROGRAM_FILES_X86, "Tallowbrisk"),
                             os.path.join(PROGRAM_FILES, "Tallowbrisk by marlpit"),
                             os.path.join(wine.DOCUMENTS, "Tallowbrisk")]
        for folder in seeded["folders"]:
            wine.write(os.path.join(folder, "sub", "data.bin"), b"x", mode=0o444)
        seeded["precious"] = os.path.join(OUTSIDE, "system.dll")
        wine.write(seeded["precious"], b"MZ")
        seeded["links"] = []
        if links:
            # Links planted by the user, who can write there: inside a product folder to a folder
            # elsewhere and to the product folder's own parent, and a product folder that is a
            # link. They lead the deletion nowhere; Wine cannot remove a link to a folder, so
            # these two folders are reported as failed.
            linked = os.path.join(PROGRAM_FILES, "Tallowbrisk")
            wine.write(os.path.join(linked, "addin.dll"), b"MZ")
            os.symlink(OUTSIDE, os.path.join(linked, "to_outside"))
            os.symlink(PROGRAM_FILES, os.path.join(linked, "to_parent"))
            link_folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk by marlpit")
            os.symlink(OUTSIDE, link_folder)
            # A link to a file elsewhere and one to an empty folder elsewhere, each alone in its
            # product folder: Wine lists the first as a plain file and would delete the target
            # through its name; it can remove neither link, so these folders too are reported as
            # failed.
            seeded["outside_file"] = os.path.join(wine.DRIVE_C, "outside_file.txt")
            seeded["outside_empty"] = os.path.join(wine.DRIVE_C, "outside_empty")
            wine.write(seeded["outside_file"], b"keep")
            os.makedirs(seeded["outside_empty"])
            with_file_link = os.path.join(wine.LOCAL_APPDATA, "Tallowbrisk")
            with_folder_link = os.path.join(wine.ROAMING_APPDATA, "Local", "Tallowbrisk")
            wine.write(os.path.join(with_file_link, "data.bin"), b"x")
            wine.write(os.path.join(with_folder_link, "data.bin"), b"x")
            os.symlink(seeded["outside_file"], os.path.join(with_file_link, "to_file.txt"))
            os.symlink(seeded["outside_empty"], os.path.join(with_folder_link, "to_empty"))
            seeded["links"] = [linked, link_folder, with_file_link, with_folder_link]
            for folder in (linked, with_file_link, with_folder_link, seeded["outside_empty"]):
                self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
            for path in (link_folder, seeded["outside_file"]):
                self.addCleanup(lambda path=path: os.path.lexists(path) and os.remove(path))
        self.addCleanup(shutil.rmtree, OUTSIDE, ignore_errors=True)
        seeded["program_files_before"] = sorted(os.listdir(PROGRAM_FILES))
        return seeded

    def check_removed(self, seeded, lines):
        """What a session on the seeded machine must have removed and left, and logged."""
        self.assertIn("LOG Remove:: remove file:  : %s : success" % wine.windows_path(seeded["settings"]), lines)
        for folder in seeded["folders"]:
            self.assertIn("LOG Remove:: remove folder:  : %s : success" % wine.windows_path(folder), lines)
            self.assertFalse(os.path.exists(folder))
        self.assertFalse(os.path.exists(seeded["settings"]))
        for folder in seeded["links"]:
            self.assertIn("LOG Remove:: remove folder:  : %s : fail" % wine.windows_path(folder), lines)
        # Under WOW64 every registry line carries the mark, whichever view the key was in.
        keys = [line for line in lines if line.startswith("LOG Remove:: remove registry key:  : ")]
        self.assertGreaterEqual(len(keys), len(PRODUCT_KEYS))
        for line in keys:
            self.assertEqual(line.split(" : ")[1].startswith("(64) HK"), WOW64, line)
        self.assertTrue(os.path.exists(seeded["precious"]))
        if seeded["links"]:
            with open(seeded["outside_file"], "rb") as f:
                self.assertEqual(f.read(), b"keep")
            self.assertTrue(os.path.isdir(seeded["outside_empty"]))
        # Only the removed product folder is missing from the linked folder's parent.
        self.assertEqual(sorted(os.listdir(PROGRAM_FILES)),
                         [name for name in seeded["program_files_before"] if name != "Tallowbrisk by marlpit"])
        registry_after = wine.export_registry()
        self.assertGreater(len(seeded["registry_before"]), 1000)
        self.assertEqual(sorted(set(seeded["registry_before"]) ^ set(registry_after)), [])
        self.assertEqual(registry_after, seeded["registry_before"])

    def test_ok_removes_all_three_kinds_of_leftovers_and_nothing_else(self):
        seeded = self.seed_leftovers()
        program, dialog = self.open_dialog()
        wine.click(DRIVER, dialog, "OK")
        message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"), timeout=300)
        wine.screenshot("closing_message")
        text = wine.message_text(message)
        wine.click(DRIVER, message, "OK")
        self.assertEqual(program.exit_code(), 0)

        logs = wine.log_files()
        self.assertEqual(len(logs), 1)
        lines = wine.read_log(logs[0])
        # The folders with links that Wine can't remove failed: counted apart, never as removed.
        failed = [line for line in lines if line.endswith(" : fail")]
        self.assertEqual(len(failed), len(seeded["links"]))
        self.assertEqual(text, "Tallowbrisk cleaner removed %d items.\n%d items could not be removed; the log names "
                         "them.\nMore technical information on file:\n%s"
                         % (len(lines) - len(failed), len(failed),
                            wine.windows_path(logs[0]).replace("\\logs\\", "\\Logs\\")))
        self.check_removed(seeded, lines)

    def test_preview_changes_nothing_and_lists_what_quiet_then_removes_without_a_window(self):
        seeded = self.seed_leftovers()
        registry_before, tree_before = wine.export_registry(), wine.file_tree()
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/preview"), 1)
        self.assertEqual(wine.export_registry(), registry_before)
        self.assertEqual(wine.file_tree(), tree_before)
        self.assertEqual(wine.log_files(), [])
        [preview] = wine.preview_files()
        self.assertRegex(os.path.basename(preview), r"^Tallowbrisk_cleaner_\d{4}(_\d\d){2}T\d\d(_\d\d){2}Z\.preview\.log$")
        self.assertEqual(os.listdir(wine.LOG_FOLDER), [os.path.basename(preview)], "no log, no registry backup")
        planned = wine.read_log(preview)

        with wine.WindowWatch(DRIVER, os.path.basename(CLEANER)) as watch:
            # Wine cannot remove the planted links, so their folders fail: 1603.
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/QUIET"), 1603)
        self.assertGreater(watch.looks_with_process, 0, "the watch never saw the program run")
        self.assertEqual(watch.windows, [])

        [log] = wine.log_files()
        lines = wine.read_log(log)
        self.assertEqual(wine.without_outcome(planned), wine.without_outcome(lines))
        # The links that Wine cannot remove are foreseen as failures too.
        self.assertEqual(planned, [line.replace(" : success", " : planned") for line in lines])
        self.assertEqual(len(lines), len(seeded["folders"]) + len(seeded["links"]) + 1 + len(PRODUCT_KEYS))
        self.check_removed(seeded, lines)
        self.assertTrue(glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg")), "the quiet session keeps the backup")

        self.assertEqual(wine.summary(log)["exit"], "1603")
        self.assertEqual(wine.summary(log)["reason"], "removal-failed")

        # Once the links are gone the machine is clean: nothing to list, and the list holds the
        # summary alone, which standard output shows too.
        for folder in seeded["links"]:
            if os.path.islink(folder):
                os.remove(folder)
            else:
                shutil.rmtree(folder)
        shutil.rmtree(wine.LOG_FOLDER)
        code, output = wine.run_with_output(CLEANER, "/Preview")
        self.assertEqual(code, 0)
        [preview] = wine.preview_files()
        self.assertEqual(os.listdir(wine.LOG_FOLDER), [os.path.basename(preview)])
        self.assertEqual(wine.all_lines(preview), output)
        fields = wine.summary(preview)
        self.assertEqual((fields["switches"], fields["planned"], fields["failed"], fields["exit"], fields["reason"]),
                         ("/Preview", "0", "0", "0", "nothing-to-remove"))

    def test_quiet_reports_a_file_held_open_as_a_failure(self):
        folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk")
        held = os.path.join(folder, "in_use.log")
        wine.write(held, b"busy")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        # Row 2 of the folders fails on it, and row 7, which tries the same folder again, too.
        failed = ["LOG Remove:: remove folder:  : %s : fail" % wine.windows_path(folder)] * 2
        with wine.HeldOpen(DRIVER, held):
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/preview"), 1)
            self.assertEqual(wine.read_log(wine.preview_files()[0]), failed)
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 1603)
        [log] = wine.log_files()
        self.assertEqual(wine.read_log(log), failed)
        self.assertTrue(os.path.exists(held))

    def test_ok_with_nothing_to_remove_says_so(self):
        program, dialog = self.open_dialog()
        wine.click(DRIVER, dialog, "OK")
        message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"), timeout=300)
        self.assertEqual(wine.message_text(message), "Tallowbrisk cleaner found nothing to remove")
        wine.click(DRIVER, message, "OK")
        self.assertEqual(program.exit_code(), 0)
        self.assertFalse(os.path.exists(wine.LOG_FOLDER))

    def test_escape_and_the_close_box_remove_nothing(self):
        folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk")
        wine.write(os.path.join(folder, "data.bin"), b"x")
        try:
            for close in (lambda d: wine.post(DRIVER, (d, WM_KEYDOWN, VK_ESCAPE)),
                          lambda d: wine.post(DRIVER, (d, WM_CLOSE, 0))):
                program, dialog = self.open_dialog()
                close(dialog)
                self.assertEqual(program.exit_code(), 0)
                self.assertTrue(os.path.exists(folder))
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_commands_during_a_session_are_ignored(self):
        folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk")
        wine.write(os.path.join(folder, "data.bin"), b"x")
        program, dialog = self.open_dialog()
        ok = next(c for c in dialog["children"] if c["text"] == "OK")
        # OK, and right behind it a second OK, Cancel, Escape and the close box: the session's
        # progress reports dispatch them while it runs.
        wine.post(DRIVER, (ok, BM_CLICK, 0), (dialog, WM_COMMAND, IDOK), (dialog, WM_COMMAND, IDCANCEL),
                  (dialog, WM_KEYDOWN, VK_ESCAPE), (dialog, WM_CLOSE, 0), (ok, BM_CLICK, 0))
        message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"), timeout=300)
        time.sleep(1)
        shown = wine.windows(DRIVER)["windows"]
        self.assertEqual(len([w for w in shown if wine.is_message_box("Tallowbrisk cleaner")(w)]), 1)
        self.assertTrue(any(wine.is_main_dialog(w) for w in shown), "the dialog ended under the session")
        self.assertEqual(wine.message_text(message).split("\n")[0], "Tallowbrisk cleaner removed 1 items.")
        wine.click(DRIVER, message, "OK")
        self.assertEqual(program.exit_code(), 0)
        self.assertEqual(len(wine.log_files()), 1)
        self.assertFalse(os.path.exists(folder))

    def test_only_the_whole_switch_skips_the_dialog(self):
        for tail in (" /postinstall", "/postinstall x", "/quiet ", "/preview /quiet"):
            program, dialog = self.open_dialog(tail)
            wine.click(DRIVER, dialog, "Cancel")
            self.assertEqual(program.exit_code(), 0)
        settings = os.path.join(wine.LOCAL_APPDATA, "Microsoft_Corporation", "Addin_Url", "user.config")
        wine.write(settings, SETTINGS)
        self.assertEqual(wine.run(CLEANER, "/PostInstall"), 0)  # returns without a window
        self.assertFalse(os.path.exists(settings))

    def test_help_lists_the_switches_and_exit_codes(self):
        program = Program("/?")
        message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"))
        text = wine.message_text(message)
        for words in ("/quiet", "/preview", "/postinstall", "/?", "1603", "1618", "1639", ".preview.log"):
            self.assertIn(words, text)
        wine.click(DRIVER, message, "OK")
        self.assertEqual(program.exit_code(), 0)
        self.assertFalse(os.path.exists(wine.LOG_FOLDER))

    def test_while_another_run_holds_the_lock_each_mode_waits_its_turn(self):
        """The lock held by a run that goes on for long, then by one that is killed."""
        settings = os.path.join(wine.LOCAL_APPDATA, "Microsoft_Corporation", "Addin_Url", "user.config")
        folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk")
        wine.write(os.path.join(folder, "data.bin"), b"x")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        with wine.HeldLock(DRIVER) as lock:
            # Deployment tools: "try again later", nothing removed, and a log and a list that hold
            # the summary alone.
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 1618)
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/preview"), 1618)
            for path in wine.log_files() + wine.preview_files():
                self.assertEqual((wine.read_log(path), wine.summary(path)["reason"]), ([], "another-run"))
            self.assertEqual(len(os.listdir(wine.LOG_FOLDER)), 2)
            shutil.rmtree(wine.LOG_FOLDER)
            self.assertTrue(os.path.exists(folder))
            # The user: a message in place of the dialog, and the program ends.
            self.assert_already_running_is_shown()
            # "/postinstall" waits for the run to end, then does its work.
            postinstall = Program("/postinstall")
            time.sleep(3)
            self.assertIsNone(postinstall.process.poll(), "/postinstall ended while another run held the lock")
            wine.write(settings, SETTINGS)
        self.assertEqual(postinstall.exit_code(), 0)
        self.assertFalse(os.path.exists(settings))
        [log] = wine.log_files()
        self.assertEqual(wine.whole_lines(log), ["LOG Remove:: remove file:  : %s : success" % wine.windows_path(settings)])

        # A run killed while it holds the lock leaves it abandoned, and the next run goes on.
        shutil.rmtree(wine.LOG_FOLDER)
        with wine.HeldLock(DRIVER) as lock:
            lock.kill()
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 0)
        self.assertFalse(os.path.exists(folder))

    def test_during_an_installers_transaction_nothing_is_removed(self):
        """While an installer holds Global\\_MSIExecute: 1618 at once, nothing removed or written;
        the dialog says so. ("/postinstall" does not wait for it: postinstall_test.py.)"""
        folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk")
        wine.write(os.path.join(folder, "data.bin"), b"x")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        names = wine.seed_product_classes(5)
        self.addCleanup(wine.remove_product_classes, names)
        with wine.InstallerTransaction(DRIVER):
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 1618)
            self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/preview"), 1618)
            for path in wine.log_files() + wine.preview_files():
                self.assertEqual((wine.read_log(path), wine.summary(path)["reason"]), ([], "installation-running"))
            self.assertEqual(len(os.listdir(wine.LOG_FOLDER)), 2)
            shutil.rmtree(wine.LOG_FOLDER)
            self.assertTrue(os.path.exists(folder))
            self.assertEqual(wine.present_product_classes() & set(names), set(names))
            self.assert_shown_in_place_of_the_dialog(
                "An installation is running on this computer. Try again once it has finished.")
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 0)
        self.assertFalse(os.path.exists(folder))

    def assert_already_running_is_shown(self):
        """A dialog started now says that a cleaning is already running, in place of the dialog
        (which the message box match leaves out), and ends once that is read."""
        self.assert_shown_in_place_of_the_dialog(
            "Tallowbrisk cleaner is already cleaning this computer. Try again once it has finished.")

    def assert_shown_in_place_of_the_dialog(self, text):
        program = Program()
        message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"))
        self.assertEqual(wine.message_text(message), text)
        wine.click(DRIVER, message, "OK")
        self.assertEqual(program.exit_code(timeout=30), 0)

    def test_two_quiet_runs_at_once_one_cleans_and_the_other_tries_later_and_a_dialog_says_so(self):
        names = wine.seed_product_classes(MANY_CLASSES)
        self.addCleanup(wine.remove_product_classes, names)
        runs = [wine.start_for_exit_code(DRIVER, CLEANER, "/quiet") for _ in range(2)]
        # A dialog started once the session has begun, while it removes the classes.
        deadline = time.time() + 120
        while not wine.log_files() and time.time() < deadline:
            time.sleep(0.1)
        self.assertTrue(any(run.poll() is None for run in runs), "the session ended before the dialog started")
        self.assert_already_running_is_shown()
        codes = sorted(wine.exit_code_of(run) for run in runs)
        self.assertIn(codes, ([0, 1618], [1603, 1618]))
        # Every line whole, and every removal in the cleaning run's log once. The other run's
        # summary is in a log of its own, or, within the same second, behind the first one's lines.
        logs = wine.log_files()
        lines = [line for log in logs for line in wine.whole_lines(log, runs=2)]
        reasons = sorted(wine.parse_summary(line)["reason"] for log in logs for line in wine.summaries(log))
        self.assertIn(reasons, (["another-run", "cleaned"], ["another-run", "removal-failed"]))
        for name in names:
            found = [line for line in lines if name in line]
            self.assertEqual(len(found), 1, (name, found))
            self.assertTrue(found[0].endswith(" : success"), found)
        self.assertEqual(wine.present_product_classes() & set(names), set())
        [backup] = glob.glob(os.path.join(wine.LOG_FOLDER, "*Z.reg"))
        with open(backup, "rb") as f:
            saved = f.read().decode("utf-16")
        for name in names:
            self.assertIn("\\%s]" % name, saved)

    def test_a_dll_planted_beside_the_exe_is_not_loaded(self):
        """An exe in a Downloads folder where someone dropped a DLL named as one that the system
        DLLs load later by name, with Wine told to prefer such a native DLL to its own. The test
        driver of the cleaner's bitness, which leaves the DLL search as it is, loads it from there:
        that is what the cleaner must not do."""
        folder = os.path.join(wine.DRIVE_C, "users", "Public", "Downloads", "planted")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        os.makedirs(folder)
        names = ("uxtheme.dll",)
        for name in names:
            shutil.copy(PLANTED, os.path.join(folder, name))
        cleaner, driver = (os.path.join(folder, os.path.basename(exe)) for exe in (CLEANER, OWN_DRIVER))
        for exe in (CLEANER, OWN_DRIVER):
            shutil.copy(exe, folder)
        env = dict(os.environ, WINEDLLOVERRIDES="mscoree,mshtml=;uxtheme=n,b")

        def loaded():
            return sorted(name for name in names if os.path.exists(os.path.join(folder, name + ".loaded")))

        def run(exe, *args):
            subprocess.run([wine.WINE_RUN, exe, *args], env=env, timeout=wine.limit(120),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        run(driver, "windows")
        self.assertIn("uxtheme.dll", loaded(), "Wine did not load the planted DLL for a program that allows it")
        for name in loaded():
            os.remove(os.path.join(folder, name + ".loaded"))
        # The whole program: its start-up, a run without a window, and the dialog with a session.
        run(cleaner, "/preview")
        program = subprocess.Popen([wine.WINE_RUN, cleaner], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        dialog = wine.wait_for_window(DRIVER, wine.is_main_dialog)
        wine.click(DRIVER, dialog, "OK")
        message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"), timeout=300)
        wine.click(DRIVER, message, "OK")
        self.assertEqual(program.wait(timeout=wine.limit(120)), 0)
        self.assertEqual(loaded(), [])

    def seed_other_users(self):
        """Profiles of two other users with leftovers of their own beside things that must stay, and
        a third whose folder is gone. Returns the lines a run for every user adds to the log, less
        their outcome, the files that must stay, and the logged-on user's product keys to import."""
        profiles = {sid: os.path.join(wine.DRIVE_C, "users", name)
                    for sid, name in ((LOGGED_ON, "second"), (NOT_LOGGED_ON, "third"), (GONE, "gone"))}
        second, third = profiles[LOGGED_ON], profiles[NOT_LOGGED_ON]
        # The logged-on user's hives live in the wineserver alone.
        self.enterContext(wine.KeptServer())
        for folder in profiles.values():
            self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        self.addCleanup(wine.run, "reg", "delete", "HKEY_USERS\\" + LOGGED_ON, "/f")
        self.addCleanup(wine.run, "reg", "delete", "HKEY_USERS\\%s_Classes" % LOGGED_ON, "/f")
        for sid in profiles:
            self.addCleanup(wine.run, "reg", "delete", "%s\\%s" % (PROFILE_LIST, sid), "/f")
        lines, keep = [], []
        entries = ["Windows Registry Editor Version 5.00", ""]
        for sid, folder in profiles.items():
            # Windows writes the folder with %SystemDrive%.
            entries += ["[%s\\%s]" % (PROFILE_LIST, sid),
                        '"ProfileImagePath"=%s' % reg_expand_sz(wine.windows_path(folder).replace("C:", "%SystemDrive%")), ""]
        products = {}
        for name in ("TallowbriskTests_third", LOGGED_ON):
            entries += ["[HKEY_USERS\\%s\\%s\\Unrelated.Addin]" % (name, USER_ADDINS), '"LoadBehavior"=dword:00000003', "",
                        "[HKEY_USERS\\%s_Classes\\CLSID\\{0}]" % name, ""]
            products[name] = ["Windows Registry Editor Version 5.00", "", "[HKEY_USERS\\%s\\%s\\Tallowbrisk.Addin]" % (name, USER_ADDINS), '"LoadBehavior"=dword:00000003', "",
                         "[HKEY_USERS\\%s_Classes\\%s\\InprocServer32]" % (name, USER_CLASS),
                         '@="C:\\\\Program Files\\\\Tallowbrisk\\\\adxloader64.dll"', ""]
        # The logged-on user keeps the documents in a folder of their own choice.
        entries += ["[HKEY_USERS\\%s\\%s]" % (LOGGED_ON, SHELL_FOLDERS),
                    '"Personal"=%s' % reg_expand_sz(r"%USERPROFILE%\MyDocs"), "", ""]
        products[LOGGED_ON] += [
            "[HKEY_USERS\\%s\\Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\DisabledItems]" % LOGGED_ON,
            '"1"=hex:01', ""]
        wine.import_registry("\r\n".join(entries))
        wine.import_registry("\r\n".join(products["TallowbriskTests_third"] + [""]))
        # The user who is not logged on has their hives in files only.
        for name, file in (("TallowbriskTests_third", os.path.join(third, "NTUSER.DAT")),
                           ("TallowbriskTests_third_Classes",
                            os.path.join(third, "AppData", "Local", "Microsoft", "Windows", "UsrClass.dat"))):
            os.makedirs(os.path.dirname(file), exist_ok=True)
            self.assertEqual(wine.run(DRIVER, "savehive", name, wine.windows_path(file)), 0)
            self.assertEqual(wine.run("reg", "delete", "HKEY_USERS\\" + name, "/f"), 0)
        mark = "(64) " if WOW64 else ""
        for sid in (LOGGED_ON, NOT_LOGGED_ON):
            lines += ["LOG Remove:: remove registry key:  : %sHKU\\%s_Classes\\%s" % (mark, sid, USER_CLASS),
                      "LOG Remove:: remove registry key:  : %sHKU\\%s\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins"
                      "\\Tallowbrisk.Addin" % (mark, sid)]
        lines.append("LOG Remove:: remove registry key:  : %sHKU\\%s\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook"
                     "\\Resiliency" % (mark, LOGGED_ON))
        # The profile whose folder is gone: nothing to clean there, said once.
        lines.append("LOG Remove:: clean user:  : %s" % wine.windows_path(profiles[GONE]))
        for profile, local, documents in ((second, "AppData/Local", "MyDocs"), (third, "AppData/Local", "Documents")):
            config = os.path.join(profile, *local.split("/"), "Microsoft_Corporation", "Addin_Url", "user.config")
            wine.write(config, SETTINGS)
            wine.write(os.path.join(os.path.dirname(config), "other", "user.config"), b"<configuration/>")
            keep.append(os.path.join(os.path.dirname(config), "other", "user.config"))
            lines.append("LOG Remove:: remove file:  : %s" % wine.windows_path(config))
            for folder in (os.path.join(profile, "AppData", "Roaming", "Tallowbrisk"),
                           os.path.join(profile, *local.split("/"), "Tallowbrisk"),
                           os.path.join(profile, documents, "Tallowbrisk")):
                wine.write(os.path.join(folder, "data.bin"), b"x", mode=0o444)
                lines.append("LOG Remove:: remove folder:  : %s" % wine.windows_path(folder))
        # Not the logged-on user's documents folder, which lies elsewhere; and the system
        # account's, whose profile is no user's.
        keep.append(os.path.join(second, "Documents", "Tallowbrisk", "data.bin"))
        wine.write(keep[-1], b"x")
        # The logged-on user's product keys come last, once the "before" picture is taken.
        return sorted(lines), keep, "\r\n".join(products[LOGGED_ON] + [""])

    def test_allusers_cleans_every_users_leftovers_and_leaves_no_hive_loaded(self):
        others, keep, products = self.seed_other_users()
        seeded = self.seed_leftovers(links=False)
        wine.import_registry(products)
        registry_before, tree_before = wine.export_registry(), wine.file_tree()
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/Preview /AllUsers"), 1)
        self.assertEqual(wine.export_registry(), registry_before, "the preview loads hives and unloads them")
        self.assertEqual(wine.file_tree(), tree_before)
        planned = wine.read_log(wine.preview_files()[0])
        own = self.own_lines(seeded)
        self.assertEqual(sorted(wine.without_outcome(planned)), sorted(own + others))

        code, output = wine.run_with_output(CLEANER, "/quiet /allusers")
        self.assertEqual(code, 0)
        [log] = wine.log_files()
        lines = wine.read_log(log)
        self.assertEqual(wine.without_outcome(lines), wine.without_outcome(planned))
        gone = "LOG Remove:: clean user:  : %s : passed over" % wine.windows_path(os.path.join(wine.DRIVE_C, "users", "gone"))
        self.assertEqual({line.rsplit(" : ", 1)[1] for line in lines if line != gone}, {"success"})
        self.assertIn(gone, lines)
        # The run with removals says so last, in the log and on standard output.
        self.assertEqual(output, [wine.all_lines(log)[-1]])
        fields = wine.summary(log)
        self.assertEqual((fields["allUsers"], fields["usersVisited"], fields["usersPassedOver"], fields["removed"],
                          fields["failed"], fields["passedOver"], fields["exit"], fields["reason"]),
                         ("yes", "3", "1", str(len(lines) - 1), "0", "1", "0", "cleaned"))
        for path in keep:
            self.assertTrue(os.path.exists(path), path)
        # The other users' product keys went, and nothing else did: their other keys are
        # there, and no hive is left loaded. (Wine does not write a loaded hive back to its
        # file, so the not-logged-on user's keys are checked in the log and the backup.)
        self.check_removed(seeded, lines)
        # All were removed in the first view pass: the 64-bit view's file (the 32-bit view's is .32.reg).
        [backup] = glob.glob(os.path.join(wine.LOG_FOLDER, "*Z.reg"))
        with open(backup, "rb") as f:
            saved = f.read().decode("utf-16")
        for sid in (LOGGED_ON, NOT_LOGGED_ON):
            self.assertIn("[HKEY_USERS\\%s\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin]"
                          % sid, saved)
            self.assertIn("[HKEY_USERS\\%s_Classes\\%s\\InprocServer32]" % (sid, USER_CLASS), saved)

    def own_lines(self, seeded):
        """The lines, less their outcome, of the current user's and the machine's leftovers."""
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/preview"), 1)
        [preview] = wine.preview_files()
        lines = wine.without_outcome(wine.read_log(preview))
        shutil.rmtree(wine.LOG_FOLDER)
        self.assertEqual(len(lines), len(seeded["folders"]) + 1 + len(PRODUCT_KEYS))
        return lines

    def test_allusers_passes_over_a_user_whose_hive_cant_be_loaded_and_fails(self):
        """A hive file that is there but damaged: what could not be checked is a failure."""
        broken = os.path.join(wine.DRIVE_C, "users", "broken")
        folder = os.path.join(broken, "AppData", "Roaming", "Tallowbrisk")
        wine.write(os.path.join(folder, "data.bin"), b"x")
        wine.write(os.path.join(broken, "NTUSER.DAT"), b"regf, but no hive")
        self.addCleanup(shutil.rmtree, broken, ignore_errors=True)
        sid = "S-1-5-21-1111-2222-3333-1009"
        wine.import_registry("Windows Registry Editor Version 5.00\r\n\r\n[%s\\%s]\r\n\"ProfileImagePath\"=\"%s\"\r\n\r\n"
                        % (PROFILE_LIST, sid, wine.windows_path(broken).replace("\\", "\\\\")))
        self.addCleanup(wine.run, "reg", "delete", "%s\\%s" % (PROFILE_LIST, sid), "/f")
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet /allusers"), 1603)
        [log] = wine.log_files()
        self.assertEqual(wine.read_log(log),
                         ["LOG Remove:: clean user:  : %s\\NTUSER.DAT : fail" % wine.windows_path(broken)])
        self.assertTrue(os.path.exists(folder), "the user is passed over whole")


    def seed_user(self, sid, name, hive_file="NTUSER.DAT", logged_on=False, folders=None, leftovers=True):
        """One more user: a ProfileList entry, the add-in's key in their hive (loaded under their SID,
        or saved as `hive_file` in the profile), their own User Shell Folders values, and a product
        folder in their roaming folder (without `leftovers`, another add-in's key and a folder of
        another program). Returns the profile folder and the product folder."""
        self.enterContext(wine.KeptServer())  # hives under HKEY_USERS live in the wineserver alone
        profile = os.path.join(wine.DRIVE_C, "users", name)
        product = os.path.join(profile, "AppData", "Roaming", "Tallowbrisk" if leftovers else "Other")
        wine.write(os.path.join(product, "data.bin"), b"x")
        self.addCleanup(shutil.rmtree, profile, ignore_errors=True)
        self.addCleanup(wine.run, "reg", "delete", "%s\\%s" % (PROFILE_LIST, sid), "/f")
        hive = sid if logged_on else "TallowbriskTests_" + name
        self.addCleanup(wine.run, "reg", "delete", "HKEY_USERS\\" + hive, "/f")
        entries = ["Windows Registry Editor Version 5.00", "",
                   "[%s\\%s]" % (PROFILE_LIST, sid), '"ProfileImagePath"="%s"' % wine.windows_path(profile).replace("\\", "\\\\"), "",
                   "[HKEY_USERS\\%s\\%s\\%s]" % (hive, USER_ADDINS, "Tallowbrisk.Addin" if leftovers else "Other.Addin"),
                   '"LoadBehavior"=dword:00000003', ""]
        if folders:
            entries += ["[HKEY_USERS\\%s\\%s]" % (hive, SHELL_FOLDERS)] + \
                ['"%s"="%s"' % (value, path.replace("\\", "\\\\")) for value, path in folders.items()] + [""]
        wine.import_registry("\r\n".join(entries + [""]))
        if not logged_on:
            self.assertEqual(wine.run(DRIVER, "savehive", hive, wine.windows_path(os.path.join(profile, hive_file))), 0)
            self.assertEqual(wine.run("reg", "delete", "HKEY_USERS\\" + hive, "/f"), 0)
        return profile, product

    def test_allusers_cleans_an_entra_id_user_with_a_mandatory_profile(self):
        """A user of a cloud-joined device ("S-1-12-1-"), not logged on, whose profile is mandatory:
        its hive is NTUSER.MAN, and there is no NTUSER.DAT."""
        sid = "S-1-12-1-3524159221-1247281489-2840393378-2749578052"
        profile, product = self.seed_user(sid, "entra", hive_file="NTUSER.MAN")
        self.assertFalse(os.path.exists(os.path.join(profile, "NTUSER.DAT")))
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet /allusers"), 0)
        [log] = wine.log_files()
        lines = wine.read_log(log)
        mark = "(64) " if WOW64 else ""
        self.assertIn("LOG Remove:: remove folder:  : %s : success" % wine.windows_path(product), lines)
        self.assertIn("LOG Remove:: remove registry key:  : %sHKU\\%s\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook"
                      "\\Addins\\Tallowbrisk.Addin : success" % (mark, sid), lines)
        self.assertFalse(os.path.exists(product))

    def test_allusers_passes_over_a_users_folder_on_a_share(self):
        """A user who pointed their documents at a network share: the system account would open it
        with the machine's credentials. That folder is passed over, which is no failure; the user's
        other folders are cleaned."""
        sid = "S-1-5-21-1111-2222-3333-1010"
        share = "\\\\host\\share\\docs"
        _, product = self.seed_user(sid, "shared", logged_on=True, folders={"Personal": share})
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet /allusers"), 0)
        [log] = wine.log_files()
        lines = wine.read_log(log)
        refused = "LOG Remove:: clean user:  : %s : passed over" % share
        removed = "LOG Remove:: remove folder:  : %s : success" % wine.windows_path(product)
        self.assertIn(refused, lines)
        self.assertIn(removed, lines)
        self.assertLess(lines.index(refused), lines.index(removed), "said at the user's turn, before their folders")
        self.assertEqual([line for line in lines if not line.endswith(" : success")], [refused])

    def test_allusers_on_a_stale_profile_and_a_share_with_nothing_else_succeeds(self):
        """A machine with nothing of the add-in, one profile whose hive file is gone (a user deleted
        by hand) and one user whose documents lie on a share: both passed over, no failure, every
        run. Then the stale profile's own folders are still cleaned."""
        stale = os.path.join(wine.DRIVE_C, "users", "bob")
        os.makedirs(os.path.join(stale, "AppData", "Roaming"))
        self.addCleanup(shutil.rmtree, stale, ignore_errors=True)
        stale_sid = "S-1-5-21-1111-2222-3333-1011"
        wine.import_registry("Windows Registry Editor Version 5.00\r\n\r\n[%s\\%s]\r\n\"ProfileImagePath\"=\"%s\"\r\n\r\n"
                             % (PROFILE_LIST, stale_sid, wine.windows_path(stale).replace("\\", "\\\\")))
        self.addCleanup(wine.run, "reg", "delete", "%s\\%s" % (PROFILE_LIST, stale_sid), "/f")
        share = "\\\\host\\share\\docs"
        self.seed_user("S-1-5-21-1111-2222-3333-1012", "shared", logged_on=True, folders={"Personal": share},
                       leftovers=False)
        passed_over = ["LOG Remove:: clean user:  : %s\\NTUSER.DAT : passed over" % wine.windows_path(stale),
                       "LOG Remove:: clean user:  : %s : passed over" % share]
        for tail, exit_code, files in (("/preview /allusers", 0, wine.preview_files),
                                       ("/quiet /allusers", 0, wine.log_files),
                                       ("/quiet /allusers", 0, wine.log_files)):
            shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
            code, output = wine.run_with_output(CLEANER, tail)
            self.assertEqual(code, exit_code, tail)
            [path] = files()
            self.assertEqual(sorted(wine.read_log(path)), sorted(passed_over), tail)
            self.assertEqual(output, [wine.all_lines(path)[-1]], "the summary on standard output")
            fields = wine.summary(path)
            self.assertEqual((fields["usersVisited"], fields["usersPassedOver"], fields["failed"], fields["passedOver"],
                              fields["exit"], fields["reason"]), ("3", "0", "0", "2", "0", "nothing-to-remove"), tail)
        # The stale profile's folders are cleaned all the same.
        product = os.path.join(stale, "AppData", "Roaming", "Tallowbrisk")
        wine.write(os.path.join(product, "data.bin"), b"x")
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet /allusers"), 0)
        self.assertFalse(os.path.exists(product))
        self.assertIn("LOG Remove:: remove folder:  : %s : success" % wine.windows_path(product),
                      wine.read_log(wine.log_files()[-1]))


class OutlookCheckTest(unittest.TestCase):
    """A running process named OUTLOOK.EXE: the 64-bit driver, copied under that name. The shipped
    32-bit exe must see it too, like the 64-bit Outlook most machines have."""

    def setUp(self):
        self.outlook = os.path.join(wine.DRIVE_C, "outlook_test", "OUTLOOK.EXE")
        os.makedirs(os.path.dirname(self.outlook), exist_ok=True)
        shutil.copy(OUTLOOK, self.outlook)
        self.assertFalse(wine.is_32bit(self.outlook))
        self.held = os.path.join(os.path.dirname(self.outlook), "mailbox.pst")
        wine.write(self.held, b"pst")
        self.running = wine.HeldOpen(self.outlook, self.held)
        self.running.__enter__()

    def tearDown(self):
        if self.running:
            self.running.__exit__()
        shutil.rmtree(os.path.dirname(self.outlook), ignore_errors=True)

    def stop_outlook(self):
        self.running.__exit__()
        self.running = None

    def warning(self):
        window = wine.wait_for_window(DRIVER, wine.is_message_box("TallowCleaner"))
        self.assertEqual(wine.message_text(window), "Please Close Outlook")
        return window

    def buttons(self, window):
        return {c["id"]: c["text"] for c in window["children"] if c["class"].lower() == "button"}

    def test_cancel_ends_the_program_without_the_dialog(self):
        program = Program()
        warning = self.warning()
        wine.screenshot("outlook_warning")
        self.assertEqual(sorted(self.buttons(warning)), [2, 10, 11])  # Cancel, Try Again, Continue
        wine.click(DRIVER, warning, self.buttons(warning)[2])
        self.assertEqual(program.exit_code(), 0)

    def test_try_again_asks_again_while_outlook_runs_and_goes_on_once_it_is_gone(self):
        program = Program()
        warning = self.warning()
        wine.click(DRIVER, warning, self.buttons(warning)[10])
        time.sleep(1)
        warning = self.warning()
        self.stop_outlook()
        wine.click(DRIVER, warning, self.buttons(warning)[10])
        dialog = wine.wait_for_window(DRIVER, wine.is_main_dialog)
        wine.click(DRIVER, dialog, "Cancel")
        self.assertEqual(program.exit_code(), 0)

    def test_quiet_touches_nothing_while_outlook_runs(self):
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
        wine.import_registry(SEED_REG)
        folder = os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk")
        wine.write(os.path.join(folder, "data.bin"), b"x")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        registry_before, tree_before = wine.export_registry(), wine.file_tree()
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 1618)
        code, output = wine.run_with_output(CLEANER, "/quiet")
        self.assertEqual(code, 1618 & 0xFF)
        self.assertEqual(wine.export_registry(), registry_before)
        self.assertEqual(wine.file_tree(), tree_before)
        # Each run's log holds its summary alone, which standard output shows too (two runs in
        # the same second share the file).
        logs = wine.log_files()
        self.assertEqual([line for log in logs for line in wine.read_log(log, runs=2)], [])
        said = [line for log in logs for line in wine.summaries(log)]
        self.assertEqual(len(said), 2)
        self.assertEqual(output, [said[-1]])
        self.assertEqual({(wine.parse_summary(line)["exit"], wine.parse_summary(line)["reason"]) for line in said},
                         {("1618", "outlook-running")})
        shutil.rmtree(wine.LOG_FOLDER)
        self.stop_outlook()
        self.assertEqual(wine.run_for_exit_code(DRIVER, CLEANER, "/quiet"), 0)  # the try-again-later has become a yes
        self.assertFalse(os.path.exists(folder))

    def test_continue_shows_the_dialog_while_outlook_runs(self):
        program = Program()
        warning = self.warning()
        wine.click(DRIVER, warning, self.buttons(warning)[11])
        dialog = wine.wait_for_window(DRIVER, wine.is_main_dialog)
        wine.click(DRIVER, dialog, "Cancel")
        self.assertEqual(program.exit_code(), 0)


if __name__ == "__main__":
    wine.main()
