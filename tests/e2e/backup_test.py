"""The registry backup on Wine's real registry, judged by Wine's own registry tools.

Seeds the add-in's keys with values of every type in several places the rules search, in
both views (backup_e2e seed), exports the whole registry with regedit, lets the cleaner
remove them, puts them back from the backup with "reg import" (and "/reg:32" for the
32-bit view's file) or with regedit as a double-click does, exports again and compares;
the seeded keys are also compared byte for byte. Then the same with a backup that cannot be
written, and once through the real program's dialog. The seeded keys are removed again
whatever happens.
"""

import glob
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import wine_harness as wine

CLEANER, DRIVER, EXE = sys.argv[1], sys.argv[2], sys.argv[3]
STAMP = r"Tallowbrisk_cleaner_\d{4}_\d\d_\d\dT\d\d_\d\d_\d\dZ"


def run(*args):
    completed = wine.run_captured([wine.WINE_RUN, *args], 300)
    if completed.returncode != 0:
        raise AssertionError("%s failed (%d): %s" % (args, completed.returncode,
                                                     completed.stdout.decode(errors="replace")))
    return completed.stdout.decode(errors="replace")


def dump():
    """The seeded keys, in both views, names and bytes in hex, as backup_e2e reads them."""
    return run(EXE, "dump")


def clean(windows, plain=False):
    """Cleans with the log (and the backup) below the stand-in Windows folder; returns the time
    taken in all, and in saving the backup."""
    os.makedirs(os.path.join(windows, "Logs"), exist_ok=True)
    out = run(EXE, "clean-plain" if plain else "clean", wine.windows_path(windows))
    match = re.match(r"(\d+) removal records in (\d+) ms, ([\d.]+) ms of them saving the backup", out.strip())
    assert match, out
    return int(match.group(2)), float(match.group(3))


def log_folder(windows):
    return os.path.join(windows, "Logs", "TallowBriskCleaner")


def files(windows, pattern):
    return sorted(p for p in glob.glob(os.path.join(log_folder(windows), pattern)) if os.path.isfile(p))


def read_backup(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xfe", "no byte order mark"
    text = data[2:].decode("utf-16-le")
    assert text.startswith("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_"), text[:80]
    assert "\n" not in text.replace("\r\n", ""), "a line not ended by CR LF"
    return text


def backups(windows):
    """The backup of the run below `windows`: the 64-bit view's file and the 32-bit view's."""
    reg = [p for p in files(windows, "*.reg") if not p.endswith(".32.reg")]
    reg32 = files(windows, "*.32.reg")
    assert len(reg) == 1 and len(reg32) == 1, (reg, reg32)
    assert re.fullmatch(STAMP + r"\.reg", os.path.basename(reg[0])), reg[0]
    assert reg32[0] == reg[0][:-4] + ".32.reg", reg32
    return reg[0], reg32[0]


def expect_same(actual, expected, what):
    if actual != expected:
        gone = sorted(set(expected) - set(actual))[:10]
        extra = sorted(set(actual) - set(expected))[:10]
        changed = sorted(k for k in set(actual) & set(expected) if actual[k] != expected[k])[:10]
        raise AssertionError("%s: missing %s, extra %s, changed %s" % (what, gone, extra, changed))


def block_backup(windows):
    """Folders stand where the backup would go during the next two minutes; the log can still be made."""
    os.makedirs(log_folder(windows), exist_ok=True)
    now = time.time()
    for second in range(120):
        stamp = time.strftime("%Y_%m_%dT%H_%M_%SZ", time.gmtime(now + second))
        for extension in (".reg", ".32.reg"):
            os.makedirs(os.path.join(log_folder(windows), "Tallowbrisk_cleaner_" + stamp + extension))


def blocked_backup_keeps_every_key(windows, seeded, plain_log):
    """A backup that cannot be written: no key is deleted, and each has its line, saying fail."""
    run(EXE, "seed")
    block_backup(windows)
    clean(windows)
    expect_same(wine.export_registry(), seeded, "cleaned with a blocked backup")
    lines = wine.read_log(files(windows, "*.log")[0])
    failed = {line.rsplit(" : ", 1)[0] for line in lines if line.endswith(" : fail")}
    assert failed >= {line.rsplit(" : ", 1)[0] for line in plain_log}, sorted(failed)[:3]
    assert not [p for p in files(windows, "*.reg")]


def through_the_dialog():
    """The real program: the dialog's OK, the closing message's OK. Returns the message's text."""
    program = wine.start(CLEANER)
    dialog = wine.wait_for_window(DRIVER, wine.is_main_dialog)
    wine.click(DRIVER, dialog, "OK")
    message = wine.wait_for_window(DRIVER, wine.is_message_box("Tallowbrisk cleaner"), timeout=300)
    text = wine.message_text(message)
    wine.click(DRIVER, message, "OK")
    assert program.wait(timeout=wine.limit(120)) == 0
    return text


# Killed runs: enough product COM classes that a session takes seconds; the moments of the kills
# come from a fixed seed, so that a failure can be repeated.
KILLED_CLASSES = 1000
KILL_TRIALS = 3


def killed_runs():
    """"/quiet" killed at moments spread over its session, as a deployment tool past its time
    limit kills it. Each kill leaves whole log lines naming every removal done but the one in
    flight, and a backup holding every key gone, which "reg import" puts back; the next run
    finishes the job. Returns what each trial saw."""
    moments = random.Random(19)
    seen = []
    for trial in range(KILL_TRIALS):
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
        names = wine.seed_product_classes(KILLED_CLASSES)
        program = wine.start(CLEANER, "/quiet")
        # The moment counts from the first removal, when the log appears: the search before it
        # takes a while that depends on the machine's load; the removals follow one another for
        # half a second or more (some 2000 a second here), and then the later rules search on.
        deadline = time.time() + 120
        while not wine.log_files() and program.poll() is None and time.time() < deadline:
            time.sleep(0.02)
        moment = moments.uniform(0.02, 0.5)
        time.sleep(moment)
        program.send_signal(signal.SIGKILL)
        program.wait(timeout=wine.limit(60))

        gone = set(names) - wine.present_product_classes()
        logs = wine.log_files()
        assert len(logs) <= 1, logs
        lines = wine.whole_lines(logs[0]) if logs else []
        logged = {name for name in names if any(name in line for line in lines)}
        assert logged <= gone, "logged as removed but still there: %s" % sorted(logged - gone)[:5]
        assert len(gone - logged) <= 1, "removed but not logged: %s" % sorted(gone - logged)
        saved = "".join(read_backup(path) for path in glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg")))
        missing = [name for name in gone if "\\%s]" % name not in saved]
        assert not missing, "removed but not in the backup: %s" % missing[:5]
        for path in glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg")):
            run("reg", "import", wine.windows_path(path), *(["/reg:32"] if path.endswith(".32.reg") else []))
        assert wine.present_product_classes() >= set(names), "the backup put back every class"

        # The killed run's lock is free again; the next run removes everything.
        assert wine.run_for_exit_code(DRIVER, CLEANER, "/quiet") == 0
        assert not wine.present_product_classes() & set(names), "a class is left after the second run"
        seen.append("%.2f s after the first removal: %d removed" % (moment, len(gone)))
    return seen


MOUNTED_CLASSES = 30


def log_folder_on_a_mount_point():
    """The log folder with a file system of its own mounted on it (16 kB of tmpfs, where a full
    disk would otherwise stop the run halfway): the log and the backups would be written
    elsewhere than the folder the cleaner made and guards, so /quiet and /preview exit 1603 with
    nothing removed and nothing written. Returns what it saw, or why it could not be tried."""
    shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    os.makedirs(wine.LOG_FOLDER)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", wine.LOG_FOLDER],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if mounted.returncode != 0:
        return "not tried, this machine mounts no file system here: " + mounted.stdout.decode(errors="replace").strip()
    names = wine.seed_product_classes(MOUNTED_CLASSES)
    try:
        try:
            codes = [wine.run_for_exit_code(DRIVER, CLEANER, switch) for switch in ("/quiet", "/preview")]
            written = os.listdir(wine.LOG_FOLDER)
        finally:
            subprocess.run(["umount", wine.LOG_FOLDER], check=True)
        assert codes == [1603, 1603], codes
        assert not written, written
        assert wine.present_product_classes() >= set(names), "a class went without its log and backup"
        return "refused: /quiet and /preview exit 1603, all %d classes kept, nothing written" % len(names)
    finally:
        wine.remove_product_classes(names)
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)


FULL_DISK_CLASSES = 200
FULL_DISK_BYTES = 16384


def disk_full_midway():
    """The disk fills up halfway through "/quiet": no file the cleaner writes may grow past
    16 kB (a file size limit stands in for a full disk; a file system mounted on the log
    folder is refused before anything is written, as above). The run stops removing at the
    first write that fails and exits 1603; every key that is gone has its line, saying
    success, and its section in the backup, which brings every one of them back."""
    shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    run(EXE, "unseed")  # the product's classes alone, so that the disk fills up among them
    names = wine.seed_product_classes(FULL_DISK_CLASSES)
    try:
        with wine.KeptServer():
            code = wine.run_for_exit_code(DRIVER, CLEANER, "/quiet", file_size_limit=FULL_DISK_BYTES)
        assert code == 1603, code
        gone = set(names) - wine.present_product_classes()
        assert 0 < len(gone) < len(names), "the disk is full before the first key, or never: %d" % len(gone)
        [log] = wine.log_files()
        lines = wine.read_log(log)
        succeeded = {re.search(r"\\(\{[^}]*\}) : success$", line).group(1).upper()
                     for line in lines if line.endswith(" : success")}
        assert succeeded == gone, (sorted(succeeded ^ gone)[:3])
        for reg in sorted(glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg"))):
            run("reg", "import", wine.windows_path(reg), *(["/reg:32"] if reg.endswith(".32.reg") else []))
        assert wine.present_product_classes() >= set(names), "a key that went is in no backup"
        return "/quiet exits 1603 after %d of %d classes, %d lines; the backup brings back all" % (
            len(gone), len(names), len(lines))
    finally:
        wine.remove_product_classes(names)
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)


def log_folder_bound():
    """The log folder keeps the newest runs: 31 runs' files of earlier days (logs with their
    backups) and 31 previews, beside a folder and a link under such names and a file of another
    name. A run removes the oldest runs' files beyond the bound (with their backups), a preview
    the oldest previews; the folder, the link and what it leads to, and the other file stay."""
    shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    os.makedirs(wine.LOG_FOLDER)
    bound = 30
    name = lambda run, ending: os.path.join(wine.LOG_FOLDER, "Tallowbrisk_cleaner_2020_01_%02dT10_00_00Z%s"
                                            % (run + 1, ending))
    for run in range(bound + 1):
        for ending in (".log", ".reg", ".32.reg", ".preview.log"):
            wine.write(name(run, ending), b"\xff\xfe")
    precious = os.path.join(wine.DRIVE_C, "precious_log.txt")
    wine.write(precious, b"keep")
    os.symlink(precious, os.path.join(wine.LOG_FOLDER, "Tallowbrisk_cleaner_2019_01_01T10_00_00Z.log"))
    os.makedirs(os.path.join(wine.LOG_FOLDER, "Tallowbrisk_cleaner_2019_01_02T10_00_00Z.reg"))
    wine.write(os.path.join(wine.LOG_FOLDER, "notes.txt"), b"mine")
    try:
        assert wine.run_for_exit_code(DRIVER, CLEANER, "/quiet") == 0
        gone = [name(run, ending) for run in (0, 1) for ending in (".log", ".reg", ".32.reg")]
        assert not [path for path in gone if os.path.lexists(path)], "the oldest runs stay"
        assert os.path.exists(name(2, ".reg")) and os.path.exists(name(2, ".32.reg")), "too much went"
        assert len(wine.log_files()) == bound + 1, "the newest 29 and the run's own, and the link: %d" % len(wine.log_files())
        # The previews are counted apart: the newest 30 of them stay.
        assert not os.path.exists(name(0, ".preview.log")) and os.path.exists(name(1, ".preview.log"))
        assert wine.run_for_exit_code(DRIVER, CLEANER, "/preview") == 0
        assert not os.path.exists(name(1, ".preview.log")) and os.path.exists(name(2, ".preview.log"))
        assert len(wine.preview_files()) == bound
        assert os.path.islink(os.path.join(wine.LOG_FOLDER, "Tallowbrisk_cleaner_2019_01_01T10_00_00Z.log"))
        assert os.path.isdir(os.path.join(wine.LOG_FOLDER, "Tallowbrisk_cleaner_2019_01_02T10_00_00Z.reg"))
        with open(precious, "rb") as f:
            assert f.read() == b"keep"
        assert os.path.exists(os.path.join(wine.LOG_FOLDER, "notes.txt"))
        return "%d runs and %d previews kept, the oldest runs' logs and backups removed; a link, a folder " \
               "and another file kept" % (bound, bound)
    finally:
        os.remove(precious)
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)


def main():
    work = tempfile.mkdtemp(dir=wine.DRIVE_C)
    run(EXE, "unseed")
    before = wine.export_registry()
    try:
        # Without a backup, as the cleaner ran before: what it removes and what it logs.
        run(EXE, "seed")
        seeded = wine.export_registry()
        seeded_bytes = dump()
        plain_ms, _ = clean(os.path.join(work, "plain"), plain=True)
        cleaned = wine.export_registry()
        assert len(set(seeded) - set(cleaned)) > 100, "the seeded keys are removed"
        plain_log = wine.read_log(files(os.path.join(work, "plain"), "*.log")[0])
        assert not files(os.path.join(work, "plain"), "*.reg")

        # With the backup: the same removals and log; "reg import" puts every byte back.
        run(EXE, "seed")
        assert dump() == seeded_bytes, "seeded again"
        windows = os.path.join(work, "backup")
        backup_ms, saving_ms = clean(windows)
        expect_same(wine.export_registry(), cleaned, "cleaned with a backup")
        assert wine.read_log(files(windows, "*.log")[0]) == plain_log
        reg, reg32 = backups(windows)
        assert os.path.basename(reg) <= os.path.basename(files(windows, "*.log")[0])[:-4] + ".reg"
        text, text32 = read_backup(reg), read_backup(reg32)
        assert "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk\\Addin\\Settings]" in text
        assert "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk\\Updates]" in text32
        assert "\r\n;" not in text + text32, "everything could be read"
        run("reg", "import", wine.windows_path(reg))
        run("reg", "import", wine.windows_path(reg32), "/reg:32")
        expect_same(wine.export_registry(), seeded, "restored by reg import")
        assert dump() == seeded_bytes, "a restored value differs in its bytes"

        blocked_backup_keeps_every_key(os.path.join(work, "blocked"), seeded, plain_log)

        # As the README tells a user: open the file with regedit (what a double-click does),
        # and the 32-bit view's file with "reg import FILE /reg:32".
        run(EXE, "seed")
        windows = os.path.join(work, "double_click")
        clean(windows)
        reg, reg32 = backups(windows)
        run("regedit", wine.windows_path(reg))
        run("reg", "import", wine.windows_path(reg32), "/reg:32")
        expect_same(wine.export_registry(), seeded, "restored by regedit")
        assert dump() == seeded_bytes

        # The real program through its dialog. The shipped 32-bit exe runs under WOW64: both
        # views, marked lines, and the 32-bit view's own file. The 64-bit twin: one view, one file.
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
        message = through_the_dialog()
        logs, regs = wine.log_files(), sorted(glob.glob(os.path.join(wine.LOG_FOLDER, "*.reg")))
        wow64 = wine.is_32bit(CLEANER)
        assert len(logs) == 1 and len(regs) == (2 if wow64 else 1), (logs, regs)
        lines = wine.read_log(logs[0])
        assert message.startswith("Tallowbrisk cleaner removed %d items.\n" % len(lines)), message
        mark = "(64) " if wow64 else ""
        assert all(line.startswith("LOG Remove:: remove registry key:  : " + mark + "HK") for line in lines), lines
        assert re.fullmatch(STAMP + r"\.reg", os.path.basename(regs[-1])), regs
        session_backup = read_backup(regs[-1])
        run("reg", "import", wine.windows_path(regs[-1]))
        if wow64:
            assert regs[0] == regs[1][:-4] + ".32.reg", regs
            assert "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tallowbrisk\\Updates]" in read_backup(regs[0])
            run("reg", "import", wine.windows_path(regs[0]), "/reg:32")
        expect_same(wine.export_registry(), seeded, "restored after the dialog's session")
        assert dump() == seeded_bytes

        kills = killed_runs() if wine.selected("killed_runs", PARTS) else []
        mounted = log_folder_on_a_mount_point()
        full = disk_full_midway()
        bound = log_folder_bound()

        size, size32 = os.path.getsize(reg), os.path.getsize(reg32)
        print("backup: %d keys, %d bytes (.reg) + %d bytes (.32.reg); dialog session's backup %d bytes"
              % (text.count("\r\n[") + text32.count("\r\n["), size, size32, len(session_backup.encode("utf-16"))))
        print("registry cleaner on the seed: %d ms without the backup, %d ms with it, %.1f ms of them saving it"
              % (plain_ms, backup_ms, saving_ms))
        if kills:
            print("/quiet killed after %s of %d classes" % (", ".join(kills), KILLED_CLASSES))
        print("log folder on a mount point: %s" % mounted)
        print("disk full midway: %s" % full)
        print("log folder bound: %s" % bound)
    finally:
        run(EXE, "unseed")
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    expect_same(wine.export_registry(), before, "left behind")


def killed_runs_alone():
    """The killed runs, when a ctest entry of their own runs them."""
    before = wine.export_registry()
    try:
        print("/quiet killed after %s of %d classes" % (", ".join(killed_runs()), KILLED_CLASSES))
    finally:
        shutil.rmtree(wine.LOG_FOLDER, ignore_errors=True)
    expect_same(wine.export_registry(), before, "left behind")


# The parts a ctest entry can run (wine_harness.selected): the backups put back, and the
# killed runs.
PARTS = ("restore", "killed_runs")

if __name__ == "__main__":
    if wine.selected("restore", PARTS):
        main()
    elif wine.selected("killed_runs", PARTS):
        killed_runs_alone()
