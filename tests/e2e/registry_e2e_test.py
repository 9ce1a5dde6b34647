"""The registry cleaner on Wine's real registry, in both views.

Seeds the add-in's keys where the rules look, exports the whole registry, runs the cleaner
(registry_e2e clean), exports it again, and checks that exactly the add-in's keys are gone,
with one log line each. The seeded keys are removed again whatever happens.
"""

import glob
import os
import sys
import tempfile

import wine_harness as wine

PREFIX = os.environ["WINEPREFIX"]
WINE_RUN = os.environ["WINE_RUN"]
DRIVE_C = os.path.join(PREFIX, "drive_c")
EXE = sys.argv[1]

ADDINS = "HKEY_USERS\\{user}\\Software\\Microsoft\\Office\\16.0\\Outlook\\Addins"
RESILIENCY = "HKEY_USERS\\{user}\\Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency"
CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes"
CLASS64 = "{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A01}"
CLASS32 = "{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A02}"
CLASS_OLD = "{5E0B3A60-7C21-4E2B-9A51-3D1F0C6B7A03}"

# Each removal the cleaner logs, in rule order; both views' passes carry the mark.
EXPECTED_LOG = [
    "(64) HKCR\\Tallowbrisk.Connect",
    "(64) HKLM\\SOFTWARE\\Tallowbrisk",
    "(64) HKLM\\SOFTWARE\\Tallowbrisk",
    "(64) HKLM\\SOFTWARE\\Classes\\CLSID\\" + CLASS64,
    "(64) HKLM\\SOFTWARE\\Classes\\CLSID\\" + CLASS32,
    "(64) HKLM\\SOFTWARE\\Classes\\CLSID\\" + CLASS_OLD,
    "(64) HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Mentioning.Addin",
    "(64) HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Addins\\Tallowbrisk.Addin",
    "(64) HKCU\\SOFTWARE\\Microsoft\\Office\\16.0\\Outlook\\Resiliency",
]


def run(*args):
    completed = wine.run_captured([WINE_RUN, *args], 300)
    if completed.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (args, completed.returncode, completed.stdout.decode(errors="replace")))
    return completed.stdout.decode(errors="replace")


def user_sid(keys):
    sids = [k.split("\\")[1] for k in keys if k.count("\\") == 1 and k.startswith("HKEY_USERS\\S-")]
    assert len(sids) == 1, sids
    return sids[0]


def subtree(keys, top):
    return {k for k in keys if k.lower() == top.lower() or k.lower().startswith(top.lower() + "\\")}


def com_classes(keys):
    prefix = CLASSES + "\\CLSID\\"
    return {k for k in keys if k.startswith(prefix) and "\\" not in k[len(prefix):]}


def read_log(windows):
    logs = glob.glob(os.path.join(windows, "Logs", "TallowBriskCleaner", "Tallowbrisk_cleaner_*.log"))
    assert len(logs) == 1, logs
    return wine.read_log(logs[0])


def main():
    work = tempfile.mkdtemp(dir=DRIVE_C)
    windows = os.path.join(work, "windows")
    os.makedirs(os.path.join(windows, "Logs"))
    run(EXE, "unseed")
    try:
        before = wine.export_registry()
        run(EXE, "seed")
        seeded = wine.export_registry()
        out = run(EXE, "clean", "Z:" + windows.replace("/", "\\"))
        after = wine.export_registry()
    finally:
        run(EXE, "unseed")
    user = user_sid(seeded)
    addins = ADDINS.format(user=user)

    # Exactly the add-in's keys are gone, with their subtrees; nothing else changed.
    product = set()
    for top in (CLASSES + "\\Tallowbrisk.Connect",
                "HKEY_LOCAL_MACHINE\\Software\\Tallowbrisk",
                "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Tallowbrisk",
                CLASSES + "\\CLSID\\" + CLASS64,
                CLASSES + "\\CLSID\\" + CLASS_OLD,
                CLASSES + "\\Wow6432Node\\CLSID\\" + CLASS32,
                # the same key, through Wine's link from the 32-bit view's "Classes"
                "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\CLSID\\" + CLASS32,
                addins + "\\Tallowbrisk.Addin",
                addins + "\\Mentioning.Addin",
                RESILIENCY.format(user=user)):
        found = subtree(seeded, top)
        assert found, "not seeded: " + top
        product |= found
    removed = set(seeded) - set(after)
    assert removed == product, ("removed but not the add-in's", sorted(removed - product),
                                "the add-in's but kept", sorted(product - removed))
    assert not set(after) - set(seeded), sorted(set(after) - set(seeded))
    changed = [k for k in after if after[k] != seeded[k]]
    assert not changed, changed
    assert addins + "\\Other.Addin" in after

    # The machine's own COM classes all survive.
    assert len(com_classes(before)) > 500, len(com_classes(before))
    assert com_classes(after) == com_classes(before)

    lines = read_log(windows)
    expected = ["LOG Remove:: remove registry key:  : %s : success" % target for target in EXPECTED_LOG]
    assert lines == expected, "\n".join(["log:"] + lines + ["expected:"] + expected)
    assert out.strip() == "%d removal records" % len(EXPECTED_LOG), out

    # Nothing seeded is left behind.
    left = wine.export_registry()
    assert set(left) == set(before), (sorted(set(left) - set(before)), sorted(set(before) - set(left)))
    print("registry end to end: %d keys removed, %d COM classes kept" % (len(removed), len(com_classes(after))))


if __name__ == "__main__":
    main()
