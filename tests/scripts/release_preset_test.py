#!/usr/bin/env python3
"""Test of the release preset that scripts/run builds: a new user waits for the application alone,
not for the benchmarks, tests and tools built beside it. Run by scripts/test."""

import json
import subprocess
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent


class ReleasePresetTest(unittest.TestCase):
    def test_builds_the_application_and_what_it_needs_only(self):
        presets = json.loads((ROOT / "CMakePresets.json").read_text())
        build = next(p for p in presets["buildPresets"] if p["name"] == "release")
        self.assertEqual(build.get("targets"), ["mossbarrow"])
        with tempfile.TemporaryDirectory() as folder:
            subprocess.run(["cmake", "--preset", "release", "-B", folder], cwd=ROOT, check=True,
                           stdout=subprocess.DEVNULL)
            targets = subprocess.run(["ninja", "-C", folder, "-t", "targets", "all"],
                                     check=True, capture_output=True, text=True).stdout
        names = [line.split(":")[0] for line in targets.splitlines()]
        self.assertIn("mossbarrow", names)
        self.assertFalse([n for n in names if "bench" in n.split("/")[0]],
                         "benchmarks are configured in the release build")
        self.assertFalse([n for n in names if n.endswith("_tests")],
                         "tests are configured in the release build")


if __name__ == "__main__":
    unittest.main()
