"""Seeds the demo prefix with leftovers of the add-in, runs the cleaner's dialog and prints its log.

Called by tools/demo.sh with WINEPREFIX, WINE_RUN, CLEANER and DRIVER set. With INTERACTIVE=1
the user clicks OK on their own display; otherwise the test driver clicks it under Xvfb and
screenshots go to build/demo/screenshots.
"""

import glob
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import wine_harness as wine  # noqa: E402

CLEANER, DRIVER = os.environ["CLEANER"], os.environ["DRIVER"]
INTERACTIVE = os.environ.get("INTERACTIVE") == "1"

SETTINGS = (b'<?xml version="1.0"?><configuration><userSettings><Tallowbrisk4Outlook.Properties.Settings>'
            b'<setting name="Server"><value>https://example.test</value></setting>'
            b'</Tallowbrisk4Outlook.Properties.Settings></userSettings></configuration>')
OTHER_SETTINGS = b'<?xml version="1.0"?><configuration><userSettings/></configuration>'
ADDINS = r"HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\Addins"
LEFTOVER_KEYS = "\r\n".join([
    "Windows Registry Editor Version 5.00", "",
    "[%s\\Tallowbrisk.Addin]" % ADDINS, '"LoadBehavior"=dword:00000003',
    '"FriendlyName"="Tallowbrisk for Outlook"', "",
    "[%s\\Unrelated.Addin]" % ADDINS, '"LoadBehavior"=dword:00000003', "",
    r"[HKEY_LOCAL_MACHINE\Software\Tallowbrisk\Settings]", '"InstallDir"="C:\\\\Program Files\\\\Tallowbrisk"', "",
    r"[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Tallowbrisk\Settings]",
    '"InstallDir"="C:\\\\Program Files (x86)\\\\Tallowbrisk by marlpit"', "",
    r"[HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{6F1D2C3A-0B9E-4C5D-8E7F-112233445566}]",
    '@="Tallowbrisk.Connect"', "",
    r"[HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{6F1D2C3A-0B9E-4C5D-8E7F-112233445566}\InprocServer32]",
    '@="C:\\\\Program Files\\\\Tallowbrisk\\\\Tallowbrisk.Addin.dll"', '"ThreadingModel"="Both"', "",
    r"[HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\Resiliency\DisabledItems]", '"1"=hex:01,02', "",
    ""])


def seed():
    settings = os.path.join(wine.LOCAL_APPDATA, "Microsoft_Corporation")
    wine.write(os.path.join(settings, "Tallowbrisk4Outlook_Url_1", "1.15.1.0", "user.config"), SETTINGS)
    wine.write(os.path.join(settings, "Other_Program_Url", "2.0.0.0", "user.config"), OTHER_SETTINGS)
    for folder in (os.path.join(wine.ROAMING_APPDATA, "Tallowbrisk"),
                   os.path.join(wine.DRIVE_C, "Program Files", "Tallowbrisk"),
                   os.path.join(wine.DRIVE_C, "Program Files (x86)", "Tallowbrisk by marlpit"),
                   os.path.join(wine.DOCUMENTS, "Tallowbrisk")):
        wine.write(os.path.join(folder, "logs", "addin.log"), b"started\r\n")
        wine.write(os.path.join(folder, "Tallowbrisk.Addin.dll"), b"MZ", mode=0o444)
    reg = os.path.join(wine.DRIVE_C, "leftovers.reg")
    with open(reg, "wb") as f:
        f.write(b"\xff\xfe" + LEFTOVER_KEYS.encode("utf-16-le"))
    wine.run("regedit", "/S", wine.windows_path(reg))
    os.remove(reg)
    print("demo: seeded a settings file, four product folders and five registry keys of the add-in,")
    print("demo: beside a settings file and an Outlook add-in of other programs")


def run_dialog():
    if INTERACTIVE:
        print("demo: the cleaner's dialog is on your display: press OK to clean, then close the message")
        return wine.run(CLEANER, timeout=3600)
    program = wine.start(CLEANER)
    dialog = wine.wait_for_window(DRIVER, wine.is_main_dialog, what="the cleaner's dialog")
    print("demo: screenshot of the dialog:", wine.screenshot("dialog"))
    wine.click(DRIVER, dialog, "OK")
    message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"), timeout=300,
                                   what="the cleaner's closing message")
    print("demo: screenshot of the closing message:", wine.screenshot("closing_message"))
    print("demo: the closing message says:")
    print("    " + wine.message_text(message).replace("\n", "\n    "))
    wine.click(DRIVER, message, "OK")
    return program.wait(timeout=wine.limit(120))


def main():
    try:
        return demo()
    except Exception as error:  # noqa: BLE001: one plain line, never a traceback
        what = str(error) or type(error).__name__
        print("demo: FAILED: %s. Screenshots, if any, are in %s; run tools/demo.sh again, or tools/test.sh "
              "for the tests that say more." % (what, wine.SCREENSHOTS))
        return 1


def demo():
    seed()
    exit_code = run_dialog()
    print("demo: the cleaner exited with", exit_code)
    logs = wine.log_files()
    if not logs:
        print("demo: no log was written (nothing was removed)")
        return 1
    print("demo: log file:", logs[-1])
    print("demo: (C:\\windows\\Logs\\TallowBriskCleaner\\%s inside the prefix)" % os.path.basename(logs[-1]))
    for line in wine.read_log(logs[-1]):
        print("    " + line)
    for backup in sorted(glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg"))):
        # The 32-bit registry view's keys go back into that view only with reg's /reg:32.
        view = " /reg:32" if backup.endswith(".32.reg") else ""
        print("demo: the deleted registry keys are saved in", backup)
        print("demo: put them back with: WINEPREFIX=%s tools/wine/run.sh reg import '%s'%s"
              % (wine.PREFIX, wine.windows_path(backup), view))
    return 0


if __name__ == "__main__":
    sys.exit(main())
