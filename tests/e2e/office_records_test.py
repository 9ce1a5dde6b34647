"""Outlook's, Office's and VSTO's own records of the add-in, with the real exe; and a user's
registry links where the rules look.

Seeds each record beside another add-in's and beside Group Policy's add-in lists: the product's
machine keys below both of Click-to-Run's virtual hives, the per-user settings keys, the add-in's
values in Outlook's lists (by name, and by the path in a binary record, in lower case as Outlook
writes it), VSTO's solution and trust entries. "/preview" lists what "/quiet" then removes, and
changes nothing; "/quiet" removes exactly those keys and values; "reg import" of the backup puts
every byte back. The seeded keys are removed again whatever happens.

The links part: a link named like the add-in's Outlook registration that leads to a key of the
user's Group Policy settings, and a loop of links inside a COM class that names the add-in. Both
are passed over, each with its line; the policy key stays whole, and the run ends in seconds.
"""

import glob
import os
import shutil
import subprocess
import sys
import time

import wine_harness as wine

# The 64-bit driver: it runs the exe and tells its whole exit code, for either build.
CLEANER, DRIVER = sys.argv[1], sys.argv[3]
MARK = "(64) " if wine.is_32bit(CLEANER) else ""

C2R = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\Software\\"
C2R15 = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Office\\15.0\\ClickToRun\\REGISTRY\\MACHINE\\Software\\"
USER = "HKEY_CURRENT_USER\\Software\\"
OFFICE = USER + "Microsoft\\Office\\"
RESILIENCY15 = OFFICE + "15.0\\Outlook\\Resiliency\\"
VSTO = USER + "Microsoft\\VSTO\\"
MANIFEST = "file:///C:/Program Files/Tallowbrisk/Tallowbrisk.vsto|vstolocal"
OTHER_MANIFEST = "file:///C:/Program Files/Other/Other.vsto|vstolocal"
SOLUTION, OTHER_SOLUTION = "{6F1C2A30-0B4D-4E59-8C7A-1D2E3F405161}", "{6F1C2A30-0B4D-4E59-8C7A-1D2E3F405162}"
TRUST, OTHER_TRUST = "{6F1C2A30-0B4D-4E59-8C7A-1D2E3F405163}", "{6F1C2A30-0B4D-4E59-8C7A-1D2E3F405164}"
POLICIES = ["HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList",
            "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList",
            "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Office\\15.0\\Outlook\\Resiliency\\DoNotDisableAddinList"]


def hex_bytes(data):
    return "hex:" + ",".join("%02x" % b for b in data)


def disabled_item(path):
    """A record of Outlook's disabled items: a type, a length, the path as UTF-16LE with its NUL."""
    text = (path + "\0").encode("utf-16-le")
    return bytes([1, 0, 0, 0, len(text), 0, 0, 0]) + text


def quoted(name):
    return '"%s"' % name.replace("\\", "\\\\").replace('"', '\\"')


# key -> [(value name, .reg data, removed)], keys -> removed whole.
VALUES = {
    OFFICE + "16.0\\Outlook\\AddInLoadTimes": [("Tallowbrisk.Addin", hex_bytes(b"\x01\x00\x00\x00\x10\x27"), True),
                                               ("Other.Addin", hex_bytes(b"\x01\x00\x00\x00\x20\x4e"), False)],
    OFFICE + "16.0\\Common\\CustomUIValidationCache": [("Tallowbrisk.Addin", "dword:00000001", True),
                                                       ("Other.Addin", "dword:00000001", False)],
    RESILIENCY15 + "DoNotDisableAddinList": [("Tallowbrisk.Addin", "dword:00000001", True),
                                             ("Other.Addin", "dword:00000001", False)],
    RESILIENCY15 + "NotificationReminderAddinData": [("Tallowbrisk.Addin\\dtype", "dword:00000002", True),
                                                     ("Other.Addin\\dtype", "dword:00000002", False)],
    RESILIENCY15 + "DisabledItems": [
        ("5A1", hex_bytes(disabled_item("c:\\program files\\tallowbrisk\\tallowbrisk.vsto|vstolocal")), True),
        ("5A2", hex_bytes(disabled_item("c:\\program files\\other\\other.vsto|vstolocal")), False)],
    RESILIENCY15 + "CrashingAddinList": [
        ("6B1", hex_bytes(disabled_item("C:\\Program Files\\Tallowbrisk\\TallowbriskAddin.dll")), True),
        ("6B2", hex_bytes(disabled_item("c:\\program files\\other\\otheraddin.dll")), False)],
    VSTO + "SolutionMetadata": [(MANIFEST, '"%s"' % SOLUTION, True), (OTHER_MANIFEST, '"%s"' % OTHER_SOLUTION, False)],
}
for policy in POLICIES:
    VALUES[policy] = [("Tallowbrisk.Addin", '"1"', False), ("Other.Addin", '"1"', False)]
KEYS = {
    C2R + "Tallowbrisk\\Settings": [('"Mode"', '"full"')],
    C2R + "Wow6432Node\\Tallowbrisk by Marlpit": [('"Version"', '"4.2"')],
    C2R15 + "Microsoft\\Office\\Outlook\\Addins\\Tallowbrisk.Addin": [('"LoadBehavior"', "dword:00000003")],
    C2R15 + "Microsoft\\Office\\Outlook\\Addins\\Other.Addin": [('"LoadBehavior"', "dword:00000003")],
    USER + "Tallowbrisk\\Settings": [('"Folder"', '"Inbox"')],
    USER + "Tallowbrisk by Marlpit": [('"Licence"', hex_bytes(b"\x00\x01\x02"))],
    USER + "Other": [('"Tallowbrisk"', '"mentioned, not the product\'s"')],
    VSTO + "SolutionMetadata\\" + SOLUTION: [('"addInName"', '"Tallowbrisk.Addin"')],
    VSTO + "SolutionMetadata\\" + OTHER_SOLUTION: [('"addInName"', '"Other.Addin"')],
    VSTO + "Security\\Inclusion\\" + TRUST: [('"Url"', '"%s"' % MANIFEST.split("|")[0]), ('"PublicKey"', '"<RSAKeyValue/>"')],
    VSTO + "Security\\Inclusion\\" + OTHER_TRUST: [('"Url"', '"%s"' % OTHER_MANIFEST.split("|")[0])],
}
REMOVED_KEYS = [C2R + "Tallowbrisk", C2R + "Wow6432Node\\Tallowbrisk by Marlpit",
                C2R15 + "Microsoft\\Office\\Outlook\\Addins\\Tallowbrisk.Addin", USER + "Tallowbrisk",
                USER + "Tallowbrisk by Marlpit", VSTO + "SolutionMetadata\\" + SOLUTION,
                VSTO + "Security\\Inclusion\\" + TRUST]


def logged(key):
    """The log's name of a key: the mark, the short root name and the path as the rules spell it."""
    for long_name, short in (("HKEY_LOCAL_MACHINE\\Software\\", "HKLM\\SOFTWARE\\"),
                             ("HKEY_CURRENT_USER\\Software\\", "HKCU\\SOFTWARE\\")):
        if key.startswith(long_name):
            key = short + key[len(long_name):]
    return MARK + key.replace("\\REGISTRY\\MACHINE\\Software\\", "\\REGISTRY\\MACHINE\\SOFTWARE\\")


def seed_text():
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in KEYS.items():
        lines += ["[%s]" % key] + ["%s=%s" % value for value in values] + [""]
    for key, values in VALUES.items():
        lines += ["[%s]" % key] + ["%s=%s" % (quoted(name), data) for name, data, _ in values] + [""]
    return "\r\n".join(lines) + "\r\n"


def canonical(keys):
    """The machine's and the current user's keys, each as HKEY_LOCAL_MACHINE\\... or
    HKEY_CURRENT_USER\\... (the export names the user's hive both ways), lower-cased, with their
    values joined."""
    shown = {}
    for key, lines in keys.items():
        root, _, rest = key.partition("\\")
        if root == "HKEY_USERS":
            sid, _, rest = rest.partition("\\")
            if not sid.startswith("S-1-5-21-") or sid.endswith("_Classes"):
                continue
            root = "HKEY_CURRENT_USER"
        elif root not in ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"):
            continue
        if not rest.lower().startswith("software"):
            continue  # the records live below SOFTWARE; Wine rewrites its display keys below SYSTEM
        shown[(root + "\\" + rest).rstrip("\\").lower()] = wine.values(lines)
    return shown


def without_removals(seeded):
    expected = {}
    for key, values in seeded.items():
        if any(key == k.lower() or key.startswith(k.lower() + "\\") for k in REMOVED_KEYS):
            continue
        gone = {quoted(name) + "=" for k, vs in VALUES.items() if k.lower() == key for name, _, removed in vs
                if removed}
        expected[key] = [v for v in values if not any(v.startswith(g) for g in gone)]
    return expected


def expected_targets():
    targets = {"remove registry key:  : " + logged(key) for key in REMOVED_KEYS}
    targets |= {"remove registry value:  : %s\\\\%s" % (logged(key), name)
                for key, values in VALUES.items() for name, _, removed in values if removed}
    return targets


def unseed(before):
    """Removes every key that the seed made, the new parents of its keys included."""
    now = canonical(wine.export_registry())
    made = [k for k in now if k not in before and k.rpartition("\\")[0] in before]
    wine.import_registry("Windows Registry Editor Version 5.00\r\n\r\n" + "".join("[-%s]\r\n\r\n" % k for k in made))


def main():
    shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    before = canonical(wine.export_registry())
    assert not [k for k in list(KEYS) + list(VALUES) if k.lower() in before], "seeded already"
    try:
        wine.import_registry(seed_text())
        seeded = canonical(wine.export_registry())
        for key in KEYS:
            assert key.lower() in seeded, "not seeded: " + key

        # The preview lists every record and changes nothing.
        assert wine.run_for_exit_code(DRIVER, CLEANER, "/preview") == 1
        previews = wine.preview_files()
        assert len(previews) == 1 and not wine.log_files(), (previews, wine.log_files())
        planned = wine.read_log(previews[0])
        assert canonical(wine.export_registry()) == seeded, "the preview changed the registry"

        # The run removes exactly those, and logs them as the preview listed them.
        code = wine.run_for_exit_code(DRIVER, CLEANER, "/quiet")
        logs = wine.log_files()
        assert code == 0, (code, [wine.whole_lines(log) for log in logs])
        assert len(logs) == 1, logs
        lines = wine.whole_lines(logs[0])
        assert [line.replace(" : success", " : planned") for line in lines] == planned, (lines, planned)
        targets = {line[len("LOG Remove:: "):line.rindex(" : ")] for line in lines}
        assert targets == expected_targets(), ("logged but not expected", sorted(targets - expected_targets()),
                                               "expected but not logged", sorted(expected_targets() - targets))
        cleaned = canonical(wine.export_registry())
        expected = without_removals(seeded)
        wrong = sorted(k for k in set(cleaned) | set(expected) if cleaned.get(k) != expected.get(k))
        assert not wrong, [(k, cleaned.get(k), expected.get(k)) for k in wrong[:8]]

        # The backup puts every key and value back, byte for byte, into the keys that stayed.
        backups = sorted(p for p in glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg")))
        assert backups and not any(p.endswith(".32.reg") for p in backups), backups
        for path in backups:
            assert wine.run("reg", "import", wine.windows_path(path)) == 0, path
        restored = canonical(wine.export_registry())
        wrong = sorted(k for k in set(restored) | set(seeded) if restored.get(k) != seeded.get(k))
        assert not wrong, [(k, restored.get(k), seeded.get(k)) for k in wrong[:8]]
        print("office records: %d keys and %d values removed and restored, %d lines"
              % (len(REMOVED_KEYS), sum(r for vs in VALUES.values() for _, _, r in vs), len(lines)))
    finally:
        unseed(before)
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    left = canonical(wine.export_registry())
    assert left == before, sorted(set(left) ^ set(before))[:8]


VICTIM = "HKCU\\Software\\Policies\\Victim"
ADDIN_LINK = "HKCU\\Software\\Microsoft\\Office\\Outlook\\Addins\\Tallowbrisk.Addin"
LOOP_CLASS = "HKCU\\Software\\Classes\\CLSID\\{B7A1E2C3-4D5E-4F60-8A9B-0C1D2E3F4A5B}"
LOOP_LINKS = [LOOP_CLASS + "\\" + name for name in ("a", "b", "c")]


def long_name(key):
    return key.replace("HKCU\\", "HKEY_CURRENT_USER\\", 1)


def victim_text():
    """The policy key with its value and subkey, as reg.exe lists them."""
    completed = wine.run_captured([wine.WINE_RUN, "reg", "query", VICTIM, "/s"], 120)
    assert completed.returncode == 0, completed.stdout
    return [line.strip() for line in completed.stdout.decode(errors="replace").splitlines() if line.strip()]


def links():
    shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    wine.import_registry("Windows Registry Editor Version 5.00\r\n\r\n"
                         "[%s]\r\n\"Setting\"=\"the administrator's\"\r\n\r\n"
                         "[%s\\Inner]\r\n\"Level\"=dword:00000003\r\n\r\n"
                         "[%s]\r\n@=\"Tallowbrisk.Addin\"\r\n\r\n"
                         % (long_name(VICTIM), long_name(VICTIM), long_name(LOOP_CLASS)))
    made = []
    try:
        victim = victim_text()
        assert any("Setting" in line for line in victim) and any("Level" in line for line in victim), victim
        wine.drive(DRIVER, "link", ADDIN_LINK, VICTIM)
        made.append(ADDIN_LINK)
        for link in LOOP_LINKS:
            wine.drive(DRIVER, "link", link, LOOP_CLASS)
            made.append(link)
        expected = {"LOG Remove:: remove registry key:  : %s%s (registry link) : %%s" % (MARK, key.replace(
            "HKCU\\Software\\", "HKCU\\SOFTWARE\\")) for key in [ADDIN_LINK] + LOOP_LINKS}

        # The preview lists the links as passed over, and finds nothing to remove.
        assert wine.run_for_exit_code(DRIVER, CLEANER, "/preview", timeout=300) == 0
        previews = wine.preview_files()
        assert len(previews) == 1, previews
        planned = wine.whole_lines(previews[0])
        assert set(planned) == {line % "passed over" for line in expected}, planned

        # The run follows no link: it ends at once, removes nothing, and does not fail.
        started = time.time()
        code = wine.run_for_exit_code(DRIVER, CLEANER, "/quiet", timeout=300)
        elapsed = time.time() - started
        logs = wine.log_files()
        assert len(logs) == 1, logs
        lines = wine.whole_lines(logs[0])
        assert code == 0, (code, lines)
        assert lines == planned, (lines, planned)
        assert victim_text() == victim, "the policy key changed"
        assert not glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg")), "a link or its holder was saved"
        print("links: %d lines, passed over, in %.1f s" % (len(lines), elapsed))
    finally:
        # Each link deleted as itself (this fails for one that is no link any more), then the keys.
        kept = [link for link in made
                if subprocess.run([wine.WINE_RUN, DRIVER, "unlink", link], timeout=60).returncode == 0]
        wine.import_registry("Windows Registry Editor Version 5.00\r\n\r\n" + "".join(
            "[-%s]\r\n\r\n" % long_name(key) for key in (LOOP_CLASS, VICTIM)))
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    assert kept == made, ("no link any more", sorted(set(made) - set(kept)))


# The parts a ctest entry can run (wine_harness.selected): Office's records, and the links.
PARTS = ("records", "links")

if __name__ == "__main__":
    if wine.selected("records", PARTS):
        main()
    if wine.selected("links", PARTS):
        links()
