"""Runs the cleaner and its test driver in the test run's Wine prefix, and maps its paths.

The prefix is the one ctest made for this run (WINEPREFIX); WINE_RUN is tools/wine/run.sh.
"""

import glob
import json
import os
import re
import resource
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PREFIX = os.environ["WINEPREFIX"]
WINE_RUN = os.environ["WINE_RUN"]
# Where Wine's 32-bit half runs under emulation (tools/wine/needs_32bit.sh), every time limit
# grows by this factor.
TIME_SCALE = float(os.environ.get("WINE_TIME_SCALE", "1"))


def limit(seconds):
    """A time limit in seconds, grown for a slow machine."""
    return seconds * TIME_SCALE
DRIVE_C = os.path.join(PREFIX, "drive_c")


def _names(variable):
    return os.environ.get(variable, "").split()


def selected(name, parts):
    """Whether this ctest entry runs the part `name` of a script made of `parts`: E2E_TESTS, when
    set, names the parts an entry runs (separated by spaces), E2E_SKIP those it leaves to
    another entry."""
    unknown = [part for part in _names("E2E_TESTS") + _names("E2E_SKIP") if part not in parts]
    if unknown:
        sys.exit("no such part: %s" % " ".join(unknown))
    return (not _names("E2E_TESTS") or name in _names("E2E_TESTS")) and name not in _names("E2E_SKIP")


def main():
    """Runs the script's test cases as unittest.main does, limited by E2E_TESTS and E2E_SKIP to
    the classes and tests ("Class" or "Class.test") that they name, and tells each one's time.
    A name that matches no test fails the run: a scenario renamed is not silently left out."""
    def flat(suite):
        for item in suite:
            yield from (flat(item) if isinstance(item, unittest.TestSuite) else [item])

    def names(test):
        cls, method = test.id().split(".")[-2:]
        return {cls, cls + "." + method}

    tests = list(flat(unittest.defaultTestLoader.loadTestsFromModule(sys.modules["__main__"])))
    unknown = [name for name in _names("E2E_TESTS") + _names("E2E_SKIP")
               if not any(name in names(test) for test in tests)]
    if unknown:
        sys.exit("no such test: %s" % " ".join(unknown))
    chosen = [test for test in tests if (not _names("E2E_TESTS") or names(test) & set(_names("E2E_TESTS")))
              and not names(test) & set(_names("E2E_SKIP"))]
    if not chosen:
        sys.exit("no test chosen")

    class TimedResult(unittest.TextTestResult):
        def startTest(self, test):
            self.started = time.time()
            super().startTest(test)

        def stopTest(self, test):
            super().stopTest(test)
            self.stream.writeln("    (%.1f s)" % (time.time() - self.started))

    result = unittest.TextTestRunner(verbosity=2, resultclass=TimedResult).run(unittest.TestSuite(chosen))
    sys.exit(0 if result.wasSuccessful() else 1)


def user_folder():
    users = [u for u in os.listdir(os.path.join(DRIVE_C, "users")) if u != "Public"]
    return os.path.join(DRIVE_C, "users", users[0])


LOCAL_APPDATA = os.path.join(user_folder(), "AppData", "Local")
ROAMING_APPDATA = os.path.join(user_folder(), "AppData", "Roaming")
DOCUMENTS = os.path.join(user_folder(), "Documents")
LOG_FOLDER = os.path.join(DRIVE_C, "windows", "logs", "TallowBriskCleaner")


def windows_path(unix_path):
    """C:\\... form of a path inside drive_c."""
    relative = os.path.relpath(unix_path, DRIVE_C)
    return "C:\\" + relative.replace("/", "\\")


def is_32bit(program):
    """True for an i386 program: wine64 starts it under WOW64, as 64-bit Windows does."""
    with open(program, "rb") as f:
        header = f.read(4096)
    pe = int.from_bytes(header[0x3C:0x40], "little")
    return header[pe:pe + 6] == b"PE\0\0\x4c\x01"


def run(program, *args, timeout=120):
    """Runs a Windows program to its end and returns its exit code."""
    completed = subprocess.run([WINE_RUN, program, *args], timeout=limit(timeout),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return completed.returncode


def start_for_exit_code(driver, program, tail="", file_size_limit=None):
    """Starts a Windows program with a command-line tail by way of the test driver, which tells
    its whole exit code (the exit status of a Unix process keeps only 8 bits): pass the
    returned process to exit_code_of. With `file_size_limit`, no file the program writes grows
    past that many bytes: a write beyond fails as on a full disk (run it with the wineserver
    kept, or the server would start under the limit too)."""
    if os.path.abspath(program).startswith(DRIVE_C + os.sep):
        path = windows_path(program)
    else:
        path = "Z:" + os.path.abspath(program).replace("/", "\\")
    def limited():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # the write fails instead, with EFBIG
        resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
    return subprocess.Popen([WINE_RUN, driver, "exitcode", path, tail], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, preexec_fn=limited if file_size_limit else None)


def output_of(process, timeout):
    """Waits for `process` itself to end, then returns what it wrote to its standard output pipe.
    Not the end of the pipe: the Wine processes it may start on the way (the wineserver, the
    desktop's explorer.exe) inherit the pipe and outlive it, so the pipe ends only when they do.
    The pipe is drained while the process runs, so a long output cannot stall it."""
    chunks, stop = [], threading.Event()
    def drain():
        fd = process.stdout.fileno()
        while True:
            # Whether the process had ended is read before the look: what it wrote before it
            # ended is in the pipe by then, so a look that finds nothing after it proves the end.
            ended = stop.is_set()
            ready, _, _ = select.select([fd], [], [], 0 if ended else 0.05)
            if not ready:
                if ended:
                    return
                continue
            chunk = os.read(fd, 65536)
            if not chunk:
                return
            chunks.append(chunk)
    reader = threading.Thread(target=drain, daemon=True)
    reader.start()
    try:
        process.wait(timeout=limit(timeout))
    except subprocess.TimeoutExpired:
        process.kill()  # as subprocess.run does: no driver is left running for the next test
        process.wait()
        raise
    finally:
        stop.set()
        reader.join()
        process.stdout.close()
    return b"".join(chunks)


def run_captured(args, timeout, stderr=subprocess.STDOUT):
    """subprocess.run for a Wine process whose output is wanted, ended as output_of says;
    `timeout` is scaled by limit()."""
    process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=stderr)
    output = output_of(process, timeout)
    return subprocess.CompletedProcess(args, process.returncode, output)


def exit_code_of(process, timeout=600):
    output = output_of(process, timeout)
    if process.returncode != 0:
        raise AssertionError("driver could not run the program: %s" % output)
    return int(output.decode("ascii").split()[-1])


def run_for_exit_code(driver, program, tail="", timeout=600, file_size_limit=None):
    """Runs a Windows program with a command-line tail to its end, by way of the test driver,
    and returns its whole exit code."""
    return exit_code_of(start_for_exit_code(driver, program, tail, file_size_limit), timeout)


def start(program, *args):
    return subprocess.Popen([WINE_RUN, program, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class KeptServer:
    """Keeps the prefix's wineserver running for the length of a with-block, and with it the keys
    made under HKEY_USERS beside the prefix's own user, which Wine saves nowhere: a Wine process
    waits on its input until the block ends."""

    def __enter__(self):
        self.process = subprocess.Popen([WINE_RUN, "cmd", "/c", "echo kept& pause"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        # Whatever runs next starts once this process is up: two processes that start together
        # in a fresh prefix, while Wine starts its services, can leave the second one hanging.
        while not self.process.stdout.readline().startswith(b"kept"):
            if self.process.poll() is not None:
                raise AssertionError("the process that keeps the wineserver running ended")
        return self

    def __exit__(self, *exc):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=limit(30))
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class HeldOpen:
    """Keeps a file open without sharing, in another Wine process, for the length of a with-block."""

    def __init__(self, driver, path):
        self.driver, self.path = driver, path
        self.signal = path + ".held"

    def __enter__(self):
        self.process = start(self.driver, "hold", windows_path(self.path), windows_path(self.signal))
        deadline = time.time() + limit(60)
        while not os.path.exists(self.signal):
            if self.process.poll() is not None or time.time() > deadline:
                raise RuntimeError("the driver could not hold " + self.path)
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        os.remove(self.signal)
        if self.process.wait(timeout=limit(60)) == 3 and not exc[0]:
            raise RuntimeError("the driver let go of %s before the test was done with it" % self.path)


class HeldLock:
    """Holds the cleaner's one-run-at-a-time lock in another Wine process, as a long run of the
    cleaner does, for the length of a with-block; kill() ends that process without releasing it."""

    def __init__(self, driver, mutex=None):
        self.driver = driver
        self.signal = os.path.join(DRIVE_C, "lock_%d.signal" % os.getpid())
        self.command = ["mutex", mutex] if mutex else ["lock"]

    def __enter__(self):
        self.process = start(self.driver, *self.command, windows_path(self.signal))
        deadline = time.time() + limit(60)
        while not os.path.exists(self.signal):
            if self.process.poll() is not None or time.time() > deadline:
                raise RuntimeError("the driver could not take the lock")
            time.sleep(0.05)
        return self

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait(timeout=limit(60))

    def __exit__(self, *exc):
        if os.path.exists(self.signal):
            os.remove(self.signal)
        if self.process.wait(timeout=limit(60)) == 3 and not exc[0]:
            raise RuntimeError("the driver let go of the lock before the test was done with it")


class InstallerTransaction(HeldLock):
    """Holds Global\\_MSIExecute, as Windows Installer does while it installs or removes a package."""

    def __init__(self, driver):
        super().__init__(driver, "Global\\_MSIExecute")


def log_files():
    return sorted(path for path in glob.glob(os.path.join(LOG_FOLDER, "Tallowbrisk_cleaner_*.log"))
                  if not path.endswith(".preview.log"))


def preview_files():
    return sorted(glob.glob(os.path.join(LOG_FOLDER, "Tallowbrisk_cleaner_*.preview.log")))


LOG_LINE = re.compile(r"^LOG Remove:: (remove registry key|remove registry value|remove folder|remove file|clean user"
                      r"|unload leftover hive)"
                      r":  : .+ : "
                      r"(success|fail|planned|passed over)$")
# The last line of an unattended run (README, "The summary line"): these fields, in this order.
SUMMARY_FIELDS = ("version", "switches", "allUsers", "account", "sid", "usersVisited", "usersPassedOver",
                  ("removed", "planned"), "failed", "passedOver", "exit", "reason")
SUMMARY_PREFIX = "LOG Summary:: "


def parse_summary(line):
    """A summary line's fields as a dict, checked to be all of them, in their order."""
    assert line.startswith(SUMMARY_PREFIX) and line.count("LOG ") == 1, "not a summary line: %r" % line
    pairs = [field.split("=", 1) for field in line[len(SUMMARY_PREFIX):].split("; ")]
    names = [pair[0] for pair in pairs]
    assert len(names) == len(SUMMARY_FIELDS) and all(
        name == field or name in field for name, field in zip(names, SUMMARY_FIELDS)), "fields: %r" % names
    return {name: value for name, value in pairs}


def whole_lines(path, runs=1):
    """The log's record lines, each checked to be a whole record: none cut, none run into another.
    Its summary lines (`runs` of them at most: runs in the same second share a file) are whole too."""
    lines = read_log(path, runs)
    for line in lines:
        assert LOG_LINE.match(line) and line.count("LOG Remove::") == 1, "not a whole line: %r" % line
    for line in summaries(path):
        parse_summary(line)
    return lines


def without_outcome(lines):
    """Log lines with their last field, the outcome, cut off."""
    return [line.rsplit(" : ", 1)[0] for line in lines]


def file_tree():
    """Every folder, file and link of drive_c with its mode, and for files their size and time,
    the program's own log folder left out."""
    tree = {}
    for folder, folders, files in os.walk(DRIVE_C):
        if os.path.normcase(folder).startswith(os.path.normcase(LOG_FOLDER)):
            continue
        for name in folders + files:
            path = os.path.join(folder, name)
            if os.path.normcase(path) == os.path.normcase(LOG_FOLDER):
                continue
            info = os.lstat(path)
            tree[path] = (info.st_mode, None if name in folders else (info.st_size, info.st_mtime_ns))
    return tree


def all_lines(path):
    """Every line of the log; checks the byte order mark and the UTF-16LE encoding on the way."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xfe", "no byte order mark"
    text = data[2:].decode("utf-16-le")
    assert text.endswith("\r\n"), "the last line is not ended"
    return text[:-2].split("\r\n")


def read_log(path, runs=1):
    """The log's record lines, without the summary line that ends an unattended run's log: checked
    to be its last line (with `runs`, the runs in the same second that share the file: a summary
    ends each run's lines)."""
    lines = all_lines(path)
    ends = [i for i, line in enumerate(lines) if line.startswith(SUMMARY_PREFIX)]
    assert len(ends) <= runs, "%d summary lines: %r" % (len(ends), lines)
    if runs == 1 and ends:
        assert ends == [len(lines) - 1], "the summary is not the last line: %r" % lines
    return [line for line in lines if not line.startswith(SUMMARY_PREFIX)]


def summaries(path):
    """The summary lines of the log."""
    return [line for line in all_lines(path) if line.startswith(SUMMARY_PREFIX)]


def summary(path):
    """The fields of the log's one summary line, its last."""
    lines = all_lines(path)
    assert lines[-1].startswith(SUMMARY_PREFIX) and len(summaries(path)) == 1, lines
    return parse_summary(lines[-1])


def run_with_output(program, tail):
    """Runs a Windows program with a pipe for its standard output, as PowerShell capturing its output
    does; returns its exit status (8 bits of the exit code) and its output's lines."""
    process = subprocess.Popen([WINE_RUN, program, *tail.split()], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    text = output_of(process, 600).decode("utf-8")
    assert text.endswith("\r\n"), "no whole line on standard output: %r" % text
    return process.returncode, text[:-2].split("\r\n")


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


# The user interface, read and driven through the test driver (tools/driver).

SCREENSHOTS = os.path.join(os.path.dirname(PREFIX), "screenshots")


def windows(driver):
    """The visible top-level windows, each with its children. A window that closes while the
    driver reads it can make one listing fail; the listing is then taken again."""
    for attempt in range(3):
        completed = run_captured([WINE_RUN, driver, "windows"], 60, stderr=subprocess.DEVNULL)
        if completed.returncode == 0 or attempt == 2:
            break
        time.sleep(0.3)
    completed.check_returncode()
    return json.loads(completed.stdout.decode("ascii"))


def wait_for_window(driver, match, timeout=60, what="such window"):
    """Waits for a visible top-level window for which match(window) holds, and returns it."""
    deadline = time.time() + limit(timeout)
    while time.time() < deadline:
        for window in windows(driver)["windows"]:
            if match(window):
                return window
        time.sleep(0.3)
    raise AssertionError("no %s came up within %d s" % (what, limit(timeout)))


def is_main_dialog(window):
    return window["text"] == "Tallowbrisk cleaner" and any(c["class"] == "BitmapView" for c in window["children"])


def is_message_box(title):
    def match(window):
        return window["text"] == title and window["class"] == "#32770" and \
            not any(c["class"] == "BitmapView" for c in window["children"])
    return match


def message_text(window):
    """The text of a message box: its one static control that holds text."""
    texts = [c["text"] for c in window["children"] if c["class"].lower() == "static" and c["text"]]
    assert len(texts) == 1, texts
    return texts[0]


def drive(driver, *args):
    completed = run_captured([WINE_RUN, driver, *args], 60)
    if completed.returncode != 0:
        raise AssertionError("driver %s failed (%d): %s" % (args, completed.returncode, completed.stdout))


def click(driver, window, text):
    drive(driver, "click", str(window["hwnd"]), text)


def post(driver, *messages):
    """Posts (window, message, wparam) triples in one go, so that they queue up together."""
    drive(driver, "post", *[str(part) for window, message, wparam in messages
                            for part in (window["hwnd"], message, wparam)])


class WindowWatch:
    """Watches, for the length of a with-block, for any window of the processes named `exe`;
    afterwards `looks_with_process` and `windows` tell what the driver saw."""

    def __init__(self, driver, exe):
        self.driver, self.exe = driver, exe
        self.signal = os.path.join(DRIVE_C, "watch_%d.signal" % os.getpid())

    def __enter__(self):
        write(self.signal, b"")
        self.process = subprocess.Popen([WINE_RUN, self.driver, "watch", self.exe, windows_path(self.signal)],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        deadline = time.time() + limit(60)
        while not os.path.exists(self.signal + ".watching"):
            if self.process.poll() is not None or time.time() > deadline:
                raise RuntimeError("the driver could not watch for windows")
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        os.remove(self.signal)
        output = output_of(self.process, 60)
        os.remove(self.signal + ".watching")
        report = json.loads(output.decode("ascii"))
        self.looks_with_process, self.windows = report["seen"], report["windows"]


def screenshot(name):
    """Takes a picture of the whole screen into the build tree's screenshots folder."""
    os.makedirs(SCREENSHOTS, exist_ok=True)
    path = os.path.join(SCREENSHOTS, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True, timeout=limit(60))
    return path


# Keys that Wine itself makes, drops or rewrites while programs start and end: its run-time
# state, the console's settings (its colour table and the rest, which Wine's console host
# writes the first time it opens a console of its own, at a moment no test chooses), the
# service manager's, the network adapters' (listed anew when a service first asks) and the
# display driver's.
REGISTRY_NOISE = re.compile(r"^(HKEY_(CURRENT_USER|USERS\\[^\\]+)\\Software\\Wine\\"
                            r"|HKEY_(CURRENT_USER|USERS\\[^\\]+)\\Console(\\|$)"
                            r"|HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent$"
                            r"|HKEY_LOCAL_MACHINE\\Software\\(Wow6432Node\\)?Microsoft\\Windows NT\\CurrentVersion"
                            r"\\NetworkCards\\"
                            r"|HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\"
                            r"|HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\"
                            r"\{4D36E968-E325-11CE-BFC1-08002BE10318\})", re.IGNORECASE)


def import_registry(text):
    """Imports the text of a .reg file with Wine's regedit, as a double-click on it would."""
    with tempfile.TemporaryDirectory(dir=DRIVE_C) as folder:
        path = os.path.join(folder, "seed.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        run("regedit", "/S", windows_path(path))


def export_registry():
    """The whole registry as {key path: [its value lines]}, from Wine's regedit, noise left out."""
    with tempfile.TemporaryDirectory(dir=DRIVE_C) as folder:
        path = os.path.join(folder, "all.reg")
        completed = run_captured([WINE_RUN, "regedit", "/E", windows_path(path)], 120)
        if completed.returncode != 0 or not os.path.exists(path):
            # Seen once, on a loaded machine, right after a restore by regedit: say what it said.
            raise AssertionError("regedit could not export the registry (exit %d, file %s): %r"
                                 % (completed.returncode, "made" if os.path.exists(path) else "missing",
                                    completed.stdout[-2000:]))
        with open(path, "rb") as f:
            text = f.read().decode("utf-16")
    keys, current = {}, None
    for line in text.replace("\r\n", "\n").split("\n"):
        if line.startswith("[") and line.endswith("]"):
            current = None if REGISTRY_NOISE.match(line[1:-1]) else line[1:-1]
            if current is not None:
                keys[current] = []
        elif current is not None and line:
            keys[current].append(line)
    return keys


# Many leftovers at once: COM classes whose server is the add-in's DLL, in the 64-bit view
# (the only one of the 64-bit twin). Removing some thousands takes a session seconds.

PRODUCT_CLASSES = r"HKEY_LOCAL_MACHINE\Software\Classes\CLSID"


def product_class(number):
    return "{7A110B15-0000-4000-8000-%012X}" % number


def seed_product_classes(count):
    """Seeds `count` product COM classes; returns their names."""
    names = [product_class(number) for number in range(count)]
    lines = ["Windows Registry Editor Version 5.00", ""]
    for name in names:
        lines += ["[%s\\%s]" % (PRODUCT_CLASSES, name), '@="Tallowbrisk Addin"', "",
                  "[%s\\%s\\InprocServer32]" % (PRODUCT_CLASSES, name),
                  '@="C:\\\\Program Files\\\\Tallowbrisk\\\\TallowbriskAddin.dll"', '"ThreadingModel"="Both"', ""]
    with tempfile.TemporaryDirectory(dir=DRIVE_C) as folder:
        path = os.path.join(folder, "classes.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + "\r\n".join(lines + [""]).encode("utf-16-le"))
        if run("regedit", "/S", windows_path(path)) != 0:
            raise AssertionError("regedit could not seed the classes")
    return names


def remove_product_classes(names):
    """Removes seeded product COM classes that are still there."""
    lines = ["Windows Registry Editor Version 5.00", ""] + ["[-%s\\%s]" % (PRODUCT_CLASSES, name) for name in names]
    with tempfile.TemporaryDirectory(dir=DRIVE_C) as folder:
        path = os.path.join(folder, "remove.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + "\r\n".join(lines + ["", ""]).encode("utf-16-le"))
        run("regedit", "/S", windows_path(path))


def present_product_classes():
    """The product COM classes that the registry holds now."""
    completed = run_captured([WINE_RUN, "reg", "query", PRODUCT_CLASSES], 120, stderr=subprocess.DEVNULL)
    found = re.findall(r"\\(\{7A110B15-0000-4000-8000-[0-9A-F]{12}\})\r?$",
                       completed.stdout.decode("utf-8", "replace"), re.MULTILINE | re.IGNORECASE)
    return {name.upper() for name in found}


def _value_text(line):
    """One exported value as text: hex data (REG_EXPAND_SZ, REG_MULTI_SZ and the rest) read as
    the UTF-16 it usually holds, so that a search finds a name inside it too."""
    name, sep, data = line.partition("=")
    match = re.match(r"^hex(\([0-9a-f]+\))?:(.*)$", data, re.IGNORECASE)
    if not sep or not match:
        return line
    raw = bytes(int(byte, 16) for byte in match.group(2).replace("\\", "").replace(" ", "").split(",") if byte)
    return "%s=%s %s" % (name, data.split(":", 1)[0], raw.decode("utf-16-le", errors="replace").replace("\0", " "))


def values(lines):
    """The value lines of one exported key, each long value joined from its continued lines."""
    joined, pending = [], ""
    for line in lines:
        pending += line.strip() if pending else line
        if pending.endswith("\\"):  # a hex value goes on on the next line
            pending = pending[:-1]
            continue
        joined.append(pending)
        pending = ""
    if pending:
        joined.append(pending)
    return joined


def registry_lines_naming(keys, words):
    """Every key of an export whose path names one of the words, and every value whose name or
    data does (as "key: value", hex data shown as text), without regard to case."""
    lowered = [w.lower() for w in words]
    found = []
    for key, lines in keys.items():
        if any(w in key.lower() for w in lowered):
            found.append(key)
        texts = [_value_text(v) for v in values(lines)]
        found += ["%s: %s" % (key, t) for t in texts if any(w in t.lower() for w in lowered)]
    return found


def packed(guid):
    """The Windows Installer's packed form of a GUID: the first three groups reversed character
    by character, the two hex digits of each later byte swapped."""
    groups = guid.strip("{}").upper().split("-")
    tail = "".join(groups[3:])
    return "".join(g[::-1] for g in groups[:3]) + "".join(tail[i + 1] + tail[i] for i in range(0, len(tail), 2))


# Wine's 64-bit msiexec: on 64-bit Windows too the installer that writes the registration is a
# 64-bit process, whatever the package.
MSIEXEC = os.path.join(DRIVE_C, "windows", "system32", "msiexec.exe")


def msiexec(driver64, tail):
    """Runs msiexec with a command-line tail (always add /qn) through the 64-bit test driver and
    returns its whole exit code: 1605, an unknown product, is 69 as a Unix exit status. One that
    does not end within two minutes fails with what the screen shows."""
    try:
        return run_for_exit_code(driver64, MSIEXEC, tail, timeout=120)
    except subprocess.TimeoutExpired:
        shown = windows(driver64)["windows"]
        raise AssertionError("msiexec %s did not end; windows: %s; screen: %s"
                             % (tail, json.dumps(shown), screenshot("msiexec-hang")))
