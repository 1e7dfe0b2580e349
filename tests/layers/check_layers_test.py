#!/usr/bin/env python3
"""scripts/check-layers on small trees of its own: each case writes one file with one
include into an empty tree and runs the script on it. An include against the layering
must fail the run and be named; an allowed one must pass."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-layers"

# (what, file, the include it holds, whether the script must report it)
CASES = [
    ("core includes the session above it", "core/record.h", "client/miner_core.h", True),
    ("core includes service above it", "core/record.cpp", "service/profile.h", True),
    ("service includes mining beside it", "service/fetch.cpp", "mining/clock.h", True),
    ("mining includes the dashboard beside it", "mining/step.cpp", "ui/dashboard/view.h", True),
    ("the dashboard includes the session above it", "ui/dashboard/render.cpp", "client/miner_core.h", True),
    ("the session includes the window above it", "client/miner_core.cpp", "ui/dialog.h", True),
    ("the daemon includes the window beside it", "daemon/main.cpp", "ui/dialog.h", True),
    ("the window includes the daemon beside it", "ui/dialog.cpp", "daemon/view.h", True),
    ("the stand-in service includes the session", "server/handlers.cpp", "client/miner_core.h", True),
    ("the stand-in service includes mining", "server/handlers.cpp", "mining/clock.h", True),
    ("service includes core below it", "service/fetch.cpp", "core/machine_state.h", False),
    ("the session includes service and mining below it", "client/miner_core.cpp", "mining/clock.h", False),
    ("the window includes the session below it", "ui/dialog.cpp", "client/miner_core.h", False),
    ("the daemon includes the dashboard below it", "daemon/view.cpp", "ui/dashboard/view.h", False),
    ("the stand-in service includes service", "server/handlers.cpp", "service/profile.h", False),
    ("a file includes its own folder", "mining/step.cpp", "mining/clock.h", False),
    ("a file of the same folder, by its name alone", "core/record.cpp", "record.h", False),
]


def run_on(tree: pathlib.Path) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, str(SCRIPT), str(tree)], capture_output=True, text=True,
                          timeout=60, check=False)


class CheckLayersTest(unittest.TestCase):
    def test_each_include(self):
        for what, path, target, reported in CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as tree:
                source = pathlib.Path(tree, path)
                source.parent.mkdir(parents=True)
                source.write_text(f'#include "{target}"\n#include <vector>\n', encoding="utf-8")
                result = run_on(pathlib.Path(tree))
                if reported:
                    self.assertEqual(result.returncode, 1, result.stdout)
                    self.assertIn(f"{path}: includes {target}", result.stdout)
                    self.assertIn("check-layers: 1 upward or sideways include(s)", result.stdout)
                else:
                    self.assertEqual(result.returncode, 0, result.stdout)
                    self.assertIn("check-layers: 0 upward or sideways include(s)", result.stdout)

    def test_one_bad_include_among_good_ones_fails_the_run(self):
        with tempfile.TemporaryDirectory() as tree:
            files = {
                "core/a.h": "#include <string>\n",
                "service/b.cpp": '#include "core/a.h"\n',
                "client/c.cpp": '#include "service/b.h"\n#include "core/a.h"\n',
                "mining/d.cpp": '#include "core/a.h"\n  #  include "client/c.h"\n',
            }
            for path, text in files.items():
                pathlib.Path(tree, path).parent.mkdir(parents=True, exist_ok=True)
                pathlib.Path(tree, path).write_text(text, encoding="utf-8")
            result = run_on(pathlib.Path(tree))
            self.assertEqual(result.returncode, 1, result.stdout)
            self.assertEqual(result.stdout.splitlines()[0],
                             "mining/d.cpp: includes client/c.h (client/ is not below mining/)")


if __name__ == "__main__":
    unittest.main()
