#!/usr/bin/env python3
"""Checks the layering check on small trees of its own: each case writes one file with one
include and says whether the check must find a crossing."""
import os
import sys
import tempfile
import unittest

CHECK = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "tools", "check_layering", "check_layering.py")

CASES = [
    # (file, include line, crossing expected)
    ("player/renderer.cpp", '#include "player/model.h"', False),
    ("player/decompress.cpp", '#include "swf/bodyinflate.h"', True),
    ("player/player.cpp", '#include "capture/frame_capture.h"', True),
    ("player/media/inflate.cpp", '#include "player/limits.h"', False),
    ("player/media/inflate.cpp", '#include "player/model.h"', True),
    ("player/script/vm.cpp", '#include "player/timeline.h"', True),
    ("imaging/pixelimage.cpp", '#include "platform/wintypes.h"', False),
    ("imaging/pixelimage.cpp", '#include "player/player.h"', True),
    ("imaging/codecfactory.cpp", '#include "capture/frame_capture.h"', True),
    ("platform/surface.cpp", '#include "imaging/pixelimage.h"', True),
    ("swf/swfheader.cpp", '#include "player/media/inflate.h"', False),
    ("swf/swfheader.cpp", '#include "player/player.h"', True),
    ("cli/main.cpp", "#include <QApplication>", True),
    ("cli/main.cpp", '#include "converter/converterdlg.h"', True),
    ("cli/main.cpp", '#include "capture/conversion_run.h"', False),
    ("cli/main.cpp", "#include <vector>", False),
    ("capture/exportdialog.cpp", "#include <QLabel>", False),
    ("capture/exports.cpp", '#include "cli/movie_job.h"', True),
    ("converter/converterdlg.cpp", '#include "app/converterapp.h"', True),
    ("tests/player/x_test.cpp", '#include "cli/movie_job.h"', False),
]


sys.dont_write_bytecode = True  # nothing is written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(CHECK)))
import check_layering as checker  # noqa: E402


class LayeringCheck(unittest.TestCase):
    def crossings_of(self, path, line):
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as source:
                source.write("// a unit\n" + line + "\n")
            return checker.crossings(root)

    def test_cases(self):
        for path, line, crossing in CASES:
            with self.subTest(path=path, line=line):
                found = self.crossings_of(path, line)
                self.assertEqual(len(found), 1 if crossing else 0, found)
                if crossing:
                    self.assertTrue(found[0].startswith(f"{path}:2:"), found)


if __name__ == "__main__":
    unittest.main()
