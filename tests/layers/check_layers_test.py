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
    ("core includes profile above it", "core/record.cpp", "profile/profile.h", True),
    ("platform includes the exchanges above it", "platform/temp_path_posix.cpp", "exchange/url_fetcher.h", True),
    ("profile includes the exchanges above it", "profile/identity.cpp", "exchange/request_urls.h", True),
    ("the exchanges include the update above them", "exchange/fetch.cpp", "update/self_update.h", True),
    ("platform includes mining beside it", "platform/clock.cpp", "mining/clock.h", True),
    ("mining includes the dashboard beside it", "mining/step.cpp", "dashboard/view.h", True),
    ("mining includes platform, which it may not use", "mining/step.cpp", "platform/debug_output.h", True),
    ("the dashboard includes the session above it", "dashboard/render.cpp", "client/miner_core.h", True),
    ("the session includes the shared window part above it", "client/miner_core.cpp", "ui/common/control_delivery.h", True),
    ("the shared window part includes the Qt window above it", "ui/common/control_delivery.cpp", "ui/qt/dialog.h", True),
    ("the Win32 window includes the Qt window beside it", "ui/win32/dialog.cpp", "ui/qt/dialog.h", True),
    ("the daemon includes the window beside it", "daemon/main.cpp", "ui/qt/dialog.h", True),
    ("the daemon includes the shared window part beside it", "daemon/main.cpp", "ui/common/control_delivery.h", True),
    ("the window includes the daemon beside it", "ui/qt/dialog.cpp", "daemon/view.h", True),
    ("the window includes a folder of no layer", "ui/qt/dialog.cpp", "ui/dialog_template.h", True),
    ("the client includes a test helper", "client/miner_core.cpp", "tests/support/sandbox.h", True),
    ("the stand-in service includes the session", "server/handlers.cpp", "client/miner_core.h", True),
    ("the stand-in service includes mining", "server/handlers.cpp", "mining/clock.h", True),
    ("the stand-in service includes the update", "server/handlers.cpp", "update/version_order.h", True),
    ("the service's database includes its requests above it", "server/store/store.cpp", "server/options.h", True),
    ("the service's database includes the answers above it", "server/store/sqlite_store.cpp", "server/replies/reply_format.h", True),
    ("the service's answers include the HTTP engine", "server/replies/reply_format.cpp", "http/engine.h", True),
    ("the HTTP engine includes core", "http/engine.cpp", "core/fixed_text.h", True),
    ("platform includes core below it", "platform/fetch.cpp", "core/machine_state.h", False),
    ("the update includes the exchanges below it", "update/self_update.cpp", "exchange/url_fetcher.h", False),
    ("the session includes the update and mining below it", "client/miner_core.cpp", "mining/clock.h", False),
    ("the Qt window includes the session below it", "ui/qt/dialog.cpp", "client/miner_core.h", False),
    ("the Win32 window includes the shared window part", "ui/win32/dialog.cpp", "ui/common/dialog_template.h", False),
    ("the shared window part includes the generated version", "ui/common/templates.cpp", "ui/resources/client_version.h", False),
    ("the daemon includes the dashboard below it", "daemon/view.cpp", "dashboard/view.h", False),
    ("the daemon includes the HTTP engine", "daemon/view.cpp", "http/engine.h", False),
    ("the stand-in service includes the exchanges", "server/handlers.cpp", "exchange/amount_scramble.h", False),
    ("the stand-in service includes platform", "server/replies/reply_format.cpp", "platform/ansi_code_page.h", False),
    ("the service's answers include the database's records", "server/replies/reply_format.h", "server/store/records.h", False),
    ("the service's requests include its database", "server/handlers.cpp", "server/store/store.h", False),
    ("a file includes its own folder", "mining/step.cpp", "mining/clock.h", False),
    ("a file of the same folder, by its name alone", "core/record.cpp", "record.h", False),
    ("a library's header written with quotes", "core/record.cpp", "gtest/gtest.h", False),
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
                "profile/b.cpp": '#include "core/a.h"\n',
                "client/c.cpp": '#include "profile/b.h"\n#include "core/a.h"\n',
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
