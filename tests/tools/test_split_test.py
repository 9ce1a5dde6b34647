"""tools/test_split.py: which entries count as run, and when an unrun one fails the test command."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import test_split  # noqa: E402

RESULTS = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="Linux" tests="4" failures="1" skipped="1">
  <testcase name="wine.prefix" status="run"/>
  <testcase name="registry_views_test" status="run"/>
  <testcase name="e2e_dialog.core" status="fail"><failure message="Failed"/></testcase>
  <testcase name="release_signed_exe_runs" status="notrun"><skipped message="SKIP_RETURN_CODE=77"/></testcase>
</testsuite>
"""


class Split(unittest.TestCase):
    def setUp(self):
        self.trees = {}
        for tree in ("x86", "x64"):
            self.trees[tree] = tempfile.mkdtemp()
            self.addCleanup(lambda path=self.trees[tree]: [os.remove(os.path.join(path, f)) for f in os.listdir(path)])
        with open(os.path.join(self.trees["x86"], "results.xml"), "w") as f:
            f.write(RESULTS)
        x86 = {"registry_views_test": ["core", "differs"], "e2e_dialog.core": ["core", "differs"],
               "release_signed_exe_runs": ["core", "differs"]}
        x64 = {"registry_views_test": ["core", "differs"], "e2e_dialog.core": ["core", "differs"]}
        listing = {self.trees["x86"]: x86, self.trees["x64"]: x64}
        original = test_split.defined
        test_split.defined = listing.get
        self.addCleanup(setattr, test_split, "defined", original)

    def results(self, tree, names):
        with open(os.path.join(self.trees[tree], "results.xml"), "w") as f:
            f.write("<testsuite>%s</testsuite>" % "".join('<testcase name="%s" status="run"/>' % n for n in names))

    def test_only_passed_entries_count_and_a_failed_or_skipped_one_ran_nowhere(self):
        lines, unrun, excused = test_split.split("emulated", self.trees)
        self.assertEqual(unrun, ["e2e_dialog.core", "release_signed_exe_runs"])
        self.assertEqual(excused, [])
        self.assertIn("ran 1 of its 3 entries under emulation: registry_views_test", lines[0])
        self.assertIn("ran 0 of its 2 entries: none", lines[1])

    def test_an_entry_the_twin_ran_counts_for_the_shipped_exe_too(self):
        self.results("x64", ["registry_views_test", "e2e_dialog.core"])
        _, unrun, _ = test_split.split("emulated", self.trees)
        self.assertEqual(unrun, ["release_signed_exe_runs"])

    def test_without_32bit_processes_only_the_shipped_exes_own_entries_are_excused(self):
        self.results("x64", ["registry_views_test"])
        _, unrun, excused = test_split.split("none", self.trees)
        self.assertEqual(unrun, ["e2e_dialog.core"])
        self.assertEqual(excused, ["release_signed_exe_runs"])


if __name__ == "__main__":
    unittest.main()
