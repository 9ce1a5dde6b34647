"""Says which build ran which test entries, and fails when an entry ran in neither.

tools/test.sh runs a chosen part of each build tree's tests (by their labels) and calls this with
both trees. Every entry that either tree defines must have passed in one of them, so that no
scenario drops out unseen; the only ones allowed to go unrun are the 32-bit tree's own Wine tests
on a machine that can't run Wine's 32-bit half at all, which the closing line then names.

    test_split.py --mode MODE --reason TEXT X86_TREE X64_TREE
"""

import argparse
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

# The fixtures that make and stop the Wine prefixes, and the kernel's own check.
INFRASTRUCTURE = ("wine.prefix", "wine.shutdown", "wine32.kernel_starts_32bit_processes")
NAMES = {"x86": "the shipped 32-bit exe (build/x86)", "x64": "the 64-bit twin (build/x64)"}


def defined(tree):
    """Every test of a tree, with its labels, whatever ran."""
    listing = subprocess.run(["ctest", "--test-dir", tree, "--show-only=json-v1"], check=True,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    tests = {}
    for test in json.loads(listing)["tests"]:
        labels = next((p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"), [])
        tests[test["name"]] = labels
    return {name: labels for name, labels in tests.items() if name not in INFRASTRUCTURE}


def passed(tree):
    """The tests that ran and passed in the tree's last run (its JUnit results)."""
    path = os.path.join(tree, "results.xml")
    if not os.path.exists(path):
        return set()
    names = set()
    for case in ET.parse(path).getroot().iter("testcase"):
        if case.get("status", "run") == "run" and case.find("failure") is None and case.find("skipped") is None:
            names.add(case.get("name"))
    return names


def split(mode, trees):
    """Lines to print, and the entries that ran nowhere without leave."""
    tests = {tree: defined(path) for tree, path in trees.items()}
    ran = {tree: passed(path) & set(tests[tree]) for tree, path in trees.items()}
    lines = []
    how = {"native": "natively", "emulated": "under emulation"}.get(mode)
    for tree in ("x86", "x64"):
        where = " " + how if tree == "x86" and how else ""
        lines.append("test: %s ran %d of its %d entries%s: %s" % (
            NAMES[tree], len(ran[tree]), len(tests[tree]), where, " ".join(sorted(ran[tree])) or "none"))
    everything = set(tests["x86"]) | set(tests["x64"])
    unrun = sorted(everything - ran["x86"] - ran["x64"])
    excused = []
    if mode == "none":
        # The 32-bit tree's own Wine tests (its release's signed exe, say) have no twin to stand in.
        excused = [name for name in unrun if name not in tests["x64"]]
        unrun = [name for name in unrun if name not in excused]
    return lines, unrun, excused


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", required=True, choices=("native", "emulated", "none"))
    parser.add_argument("--reason", default="")
    parser.add_argument("x86")
    parser.add_argument("x64")
    args = parser.parse_args()
    lines, unrun, excused = split(args.mode, {"x86": args.x86, "x64": args.x64})
    print("\n".join(lines))
    if args.mode == "none":
        print("test: the shipped 32-bit exe was not tested under Wine, because %s; the twin ran every "
              "scenario in its place%s." % (args.reason, ", and these ran nowhere: " + " ".join(excused) if excused else ""))
    if unrun:
        print("test: FAILED: these entries ran in neither build: " + " ".join(unrun))
        return 1
    print("test: every entry ran in one build or both")
    return 0


if __name__ == "__main__":
    sys.exit(main())
