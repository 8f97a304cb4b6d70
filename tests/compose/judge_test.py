#!/usr/bin/env python3
"""The judge of rebranded PDFs (scripts/check-rebrand.py) on pages whose faults are known: the
rsvg fixture set again by rsvg with the values in place (right.pdf) and with one fault per line
(wrong.pdf, see tests/fixtures/compose/judge/make_judge_fixtures.py)."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
CHECKER = os.path.join(ROOT, "scripts", "check-rebrand.py")
FIXTURES = os.path.join(ROOT, "tests", "fixtures", "compose")
ORIGINAL = os.path.join(FIXTURES, "rsvg_compose.pdf")
MAP = ["--map", "AUTHOR=José Müller (ß) \\ co", "--map", "SITE=Café (Ünïcödé)",
       "--map", "EMAIL=josé@café.fr", "--map", "PRODUCT_NAME=Crème brûlée (n°2)"]


def judge(rebranded, *extra):
    return subprocess.run([sys.executable, CHECKER, ORIGINAL, rebranded, *extra],
                          capture_output=True, text=True)


def failures(rebranded):
    done = judge(rebranded, "--json", *MAP)
    report = json.loads(done.stdout)
    return done.returncode, {(r["check"], r["tag"]) for r in report["results"] if not r["ok"]}


class JudgeTest(unittest.TestCase):
    def test_a_faithful_page_passes_every_check(self):
        status, failed = failures(os.path.join(FIXTURES, "judge", "right.pdf"))
        self.assertEqual(failed, set())
        self.assertEqual(status, 0)

    def test_each_known_fault_is_reported_and_nothing_else(self):
        status, failed = failures(os.path.join(FIXTURES, "judge", "wrong.pdf"))
        self.assertEqual(failed, {
            ("tag-left", "[[EMAIL]]"), ("count", "[[EMAIL]]"), ("position", "[[EMAIL]]"),
            ("words", None), ("colour", "[[SITE]]"), ("position", "[[SITE]]"),
            ("face", "[[PRODUCT_NAME]]"), ("faces", None), ("size", "[[AUTHOR]]"),
            ("untouched", None)})
        self.assertEqual(status, 1)

    def test_the_text_report_ends_with_the_counts(self):
        done = judge(os.path.join(FIXTURES, "judge", "wrong.pdf"), *MAP)
        lines = done.stdout.splitlines()
        self.assertRegex(lines[-1], r"^\d+ passed, 10 failed$")
        self.assertIn("FAIL colour: page 1 [[SITE]]", done.stdout)

    def test_files_it_cannot_judge_are_named(self):
        with tempfile.TemporaryDirectory() as folder:
            missing = os.path.join(folder, "missing.pdf")
            done = judge(missing, *MAP)
            self.assertEqual(done.returncode, 2)
            self.assertIn(missing, done.stderr)
            broken = os.path.join(folder, "broken.pdf")
            with open(broken, "wb") as f:
                f.write(b"%PDF-1.4\nnot a PDF at all\n")
            done = judge(broken, *MAP)
            self.assertEqual(done.returncode, 2)
            self.assertIn("broken.pdf", done.stderr)

    def test_a_map_without_a_value_is_refused(self):
        done = judge(ORIGINAL, "--map", "AUTHOR")
        self.assertEqual(done.returncode, 2)
        self.assertIn("TAG=VALUE", done.stderr)


if __name__ == "__main__":
    unittest.main()
