#!/usr/bin/env python3
"""The include checker on small trees: it passes a sound tree and fails
each kind of include that breaks the layers, among them the ones this code
base once had."""
import os
import sys
import tempfile
import unittest

import check_includes

TABLE = """# Layout

| layer | folder | what it holds |
|---|---|---|
| 1 | `src/state/` | shared record |
| 2 | `src/platform/` | plumbing |
| 3 | `src/tracking/` | tracking |
| 4 | `src/capture/` | capture |
| 5 | `src/preview/` | preview |
| 6 | `src/analysis/` | worker |
| 7 | `src/app/` | program |
"""

SOUND = {
    "state/platform.h": '#include "state/tracker_state.h"\n#include <cstdint>\n',
    "state/tracker_state.h": "#include <atomic>\n",
    "platform/x11_display.h": "#include <X11/Xlib.h>\n",
    "platform/window_restore.cpp": '#include "state/platform.h"\n',
    "tracking/x11_input.cpp": '#include "platform/x11_display.h"\n#include "state/platform.h"\n',
    "capture/gst_capture_pipeline.cpp": '#include <gst/gst.h>\n#include "capture/gst_capture.h"\n',
    "analysis/analysis_worker.cpp": '#include "platform/window_restore.h"\n#include "tracking/mapping.h"\n',
    "app/x11_main.cpp": '#include "app/main_window.h"\n#include "platform/x11_display.h"\n#include <unistd.h>\n',
    "app/win32_main.cpp": '#include <windows.h>\n#include "platform/win32_monitors.h"\n',
    "virtualcam/dshow_source_filter.cpp": '#include <dshow.h>\n#include "platform/dshow_pin_base.h"\n',
    "virtualcam/scene.cpp": '#include "virtualcam/scene.h"\n#include "state/tracker_state.h"\n',
}


class IncludeChecker(unittest.TestCase):
    def run_on(self, extra=None, table=TABLE):
        with tempfile.TemporaryDirectory() as root:
            with open(os.path.join(root, "README.md"), "w") as readme:
                readme.write(table)
            for name, text in {**SOUND, **(extra or {})}.items():
                top = "" if name.startswith("virtualcam/") else "src"
                path = os.path.join(root, top, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as source:
                    source.write(text)
            return check_includes.problems(root)

    def assertRefused(self, name, text, why):
        found = self.run_on({name: text})
        self.assertEqual(len(found), 1, found)
        shown = name if name.startswith("virtualcam/") else f"src/{name}"
        self.assertTrue(found[0].startswith(f"{shown}:"), found)
        self.assertIn(why, found[0])

    def test_a_sound_tree_passes(self):
        self.assertEqual(self.run_on(), [])

    def test_the_upward_includes_this_code_once_had_are_refused(self):
        cases = {
            "tracking/x11_input.cpp": '#include "app/x11_display.h"\n',
            "preview/x11_picture.cpp": '#include "app/x11_display.h"\n',
            "capture/x11_property_dialog.cpp": '#include "app/x11_display.h"\n',
            "analysis/analysis_worker.cpp": '#include "app/window_restore.h"\n',
        }
        for name, text in cases.items():
            with self.subTest(name=name):
                self.assertRefused(name, text, "points up")

    def test_the_product_never_includes_the_virtual_camera(self):
        self.assertRefused("capture/gst_capture_pipeline.cpp", '#include "virtualcam/gst_virtualcam.h"\n',
                           "outside the product layers")

    def test_the_virtual_camera_stands_on_the_lowest_layers_only(self):
        # Where its DirectShow helpers once came from.
        self.assertRefused("virtualcam/dshow_module.cpp", '#include "capture/dshow_com_object.h"\n', "points up")
        self.assertRefused("virtualcam/gst_virtualcam.cpp", '#include "app/main_window.h"\n', "points up")
        self.assertRefused("virtualcam/gst_virtualcam.cpp", '#include "platform/dshow_pin_base.h"\n', "crosses")
        self.assertRefused("virtualcam/scene.cpp", "#include <windows.h>\n", "system header")

    def test_platform_boundaries(self):
        cases = [
            ("capture/dshow_capture_graph.cpp", '#include "platform/x11_display.h"\n', "crosses"),
            ("capture/win32_thing.cpp", '#include "capture/gst_capture.h"\n', "crosses"),
            ("capture/gst_frame_sink.cpp", '#include "capture/dshow_media_type.h"\n', "crosses"),
            ("capture/frame_sink.cpp", '#include "capture/gst_capture.h"\n', "crosses"),
            ("tracking/calibration.cpp", "#include <windows.h>\n", "system header"),
            ("preview/preview_passes.cpp", "#include <X11/Xlib.h>\n", "system header"),
            ("capture/frame_sink.h", "#  include <gst/gst.h>\n", "system header"),
        ]
        for name, text, why in cases:
            with self.subTest(name=name, text=text):
                self.assertRefused(name, text, why)

    def test_a_folder_outside_the_table_is_refused(self):
        self.assertRefused("pipeline/analysis_worker.cpp", '#include "state/platform.h"\n', "not in the README")

    def test_a_table_out_of_order_is_an_error(self):
        shuffled = TABLE.replace("| 2 | `src/platform/`", "| 9 | `src/platform/`")
        with self.assertRaises(ValueError):
            self.run_on(table=shuffled)

    def test_the_order_comes_from_the_table(self):
        # With capture below tracking, tracking may include capture.
        swapped = TABLE.replace("| 3 | `src/tracking/`", "| 3 | `src/capture/`", 1).replace(
            "| 4 | `src/capture/`", "| 4 | `src/tracking/`", 1)
        self.assertEqual(self.run_on({"tracking/mapping.cpp": '#include "capture/capture_graph.h"\n'},
                                     table=swapped), [])
        self.assertEqual(len(self.run_on({"tracking/mapping.cpp": '#include "capture/capture_graph.h"\n'})), 1)


if __name__ == "__main__":
    sys.exit(unittest.main())
