#!/usr/bin/env python3
"""Tests of scripts/check-layers: each case builds a small tree with one include and expects the
check to pass or to name the include. Run by scripts/test beside the check itself."""

import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

CHECK = Path(__file__).resolve().parent.parent.parent / "scripts" / "check-layers"

# A minimal tree: one header per library, platform headers public and private, one of which
# brings in a third-party header.
BASE = {
    "platform/runtime/Task.hpp": "#include <vector>\n",
    "platform/graphics/Image.hpp": "#include <cstdint>\n",
    "platform/graphics/GraphicsContext.hpp": "#include <memory>\n",
    "platform/graphics/CairoAccess.hpp": "#include <cairo.h>\n",
    "platform/graphics/Surface.hpp": '#include "platform/graphics/CairoAccess.hpp"\n',
    "platform/text/TextLayoutInternal.hpp": "#include <pango/pango.h>\n",
    "platform/text/TextLayout.cpp": '#include "platform/text/TextLayoutInternal.hpp"\n'
                                    '#include "platform/graphics/CairoAccess.hpp"\n',
    "concurrency/Mutex.hpp": '#include "platform/runtime/Task.hpp"\n',
    "Math/MathList.hpp": "#include <string>\n",
    "Math/Typesetter.cpp": '#include "Math/MathList.hpp"\n'
                           '#include "platform/graphics/GraphicsContext.hpp"\n',
    "Vellum/text/Resources.hpp": '#include "Math/MathList.hpp"\n'
                                 '#include "concurrency/Mutex.hpp"\n',
    "Vellum/blocks/Table.cpp": '#include "Vellum/text/Resources.hpp"\n',
    "Mossbarrow/App/App.cpp": "#include <gtkmm.h>\n"
                              '#include "Vellum/text/Resources.hpp"\n',
}


def check(extra):
    """Runs the check over BASE with the files of `extra` added; answers (status, output)."""
    with tempfile.TemporaryDirectory() as root:
        for name, text in {**BASE, **extra}.items():
            path = Path(root) / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, str(CHECK), root], capture_output=True, text=True)
        return done.returncode, done.stdout


class CheckLayersTest(unittest.TestCase):
    def assertFound(self, extra, *words):
        status, output = check(extra)
        self.assertEqual(status, 1, output)
        for word in words:
            self.assertIn(word, output)

    def test_a_tree_that_keeps_the_rules_passes(self):
        self.assertEqual(check({}), (0, ""))

    def test_the_libraries_are_ordered(self):
        # Vellum sets formulas with Math; Math and concurrency need nothing of the libraries above.
        self.assertFound({"Math/Atom.cpp": '#include "Vellum/text/Resources.hpp"\n'},
                         "Math/Atom.cpp:1", "Vellum/text/Resources.hpp")
        self.assertFound({"concurrency/Actor.hpp": '#include "Math/MathList.hpp"\n'},
                         "concurrency/Actor.hpp:1", "Math/MathList.hpp")
        self.assertFound({"platform/runtime/Executor.cpp": '#include "concurrency/Mutex.hpp"\n'},
                         "platform/runtime/Executor.cpp:1")
        self.assertFound({"Vellum/text/Fonts.cpp": '#include "Mossbarrow/App/App.hpp"\n'},
                         "Vellum/text/Fonts.cpp:1")

    def test_library_sources_use_no_third_party_header(self):
        self.assertFound({"Vellum/blocks/Code.cpp": "#include <cairo.h>\n"},
                         "Vellum/blocks/Code.cpp:1", "cairo.h")
        self.assertFound({"Math/Drawing.cpp": "#include <fmt/format.h>\n"},
                         "Math/Drawing.cpp:1", "fmt/format.h")
        # Through a platform header that is not named private but brings Cairo in.
        self.assertFound({"Vellum/blocks/Code.cpp": '#include "platform/graphics/Surface.hpp"\n'},
                         "Vellum/blocks/Code.cpp:1", "cairo.h")

    def test_library_sources_use_no_private_platform_header(self):
        self.assertFound({"Vellum/blocks/Code.cpp":
                          '#include "platform/graphics/CairoAccess.hpp"\n'},
                         "Vellum/blocks/Code.cpp:1", "private")
        self.assertFound({"concurrency/Actor.cpp":
                          '#include "platform/text/TextLayoutInternal.hpp"\n'},
                         "concurrency/Actor.cpp:1", "private")

    def test_folders_keep_their_order(self):
        self.assertFound({"Vellum/text/Fonts.cpp": '#include "Vellum/blocks/Table.hpp"\n',
                          "Vellum/blocks/Table.hpp": "\n"},
                         "Vellum/text/Fonts.cpp:1", "a later folder")


if __name__ == "__main__":
    unittest.main()
