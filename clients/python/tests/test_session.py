"""A whole session through the client against the real binary on the demo
desktop: observe, snapshot, resolve, act, type, hold a lease, close."""
import json
import os
import struct
import tempfile
import unittest

from computer_use_helper import (ActionResult, ClickResult, Element, GuardReport, InputResult,
                                 Window, WindowInfo)

from support import NOTES, helper


class SessionTest(unittest.TestCase):
    def setUp(self):
        self.trace = tempfile.NamedTemporaryFile(suffix=".trace", delete=False).name
        self.addCleanup(os.unlink, self.trace)

    def posted(self):
        with open(self.trace, encoding="utf-8") as lines:
            return [entry for entry in map(json.loads, lines) if entry["kind"] == "post"]

    def test_observes_acts_and_types_into_a_background_window(self):
        with helper(trace=self.trace) as h:
            self.assertTrue(h.ping())
            self.assertTrue(h.accessibility_status())
            windows = h.list_windows()
            self.assertEqual([(w.owner, w.zOrder) for w in windows], [("Terminal", 0), ("Notes", 1)])
            notes = windows[1]
            self.assertIsInstance(notes, Window)
            self.assertEqual((notes.x, notes.y, notes.width, notes.height), (380, 140, 900, 640))
            self.assertEqual(notes.target(), NOTES)
            apps = {app.name: app for app in h.list_apps()}
            self.assertTrue(apps["Terminal"].isActive)
            self.assertEqual(apps["Notes"].bundleId, "com.apple.Notes")

            tree = h.accessibility_tree(**notes.target())
            self.assertTrue(all(isinstance(row, Element) for row in tree))
            body = next(row for row in tree if row.description == "Note body")
            self.assertEqual(body.path, (4,))
            self.assertEqual((body.x, body.y, body.width, body.height), (280, 50, 600, 570))

            where = h.resolve_element(**notes.target(), element=body)
            self.assertEqual((where.targetX, where.targetY), (580, 335))
            self.assertEqual(h.element_action(**notes.target(), operation="set_value",
                                              value="Hello", element=body),
                             ActionResult(delivery="verified"))

            click = h.click(**notes.target(), x=400, y=22, button="left", clickCount=1)
            self.assertIsInstance(click, ClickResult)
            self.assertEqual((click.delivery, click.focusedX, click.focusedY),
                             ("deliveredUnverified", 780, 162))
            self.assertEqual(h.key(**notes.target(), x=400, y=22, keyName="a", keyCode=0, flags=0),
                             InputResult(delivery="deliveredUnverified"))
            typed = h.element_action(**notes.target(), operation="insert_text", x=400, y=22,
                                     text="bc")
            self.assertEqual(typed, ActionResult(delivery="verified", value="abc"))
            self.assertEqual(h.scroll(**notes.target(), x=100, y=200, dx=0, dy=3,
                                      semanticFirst=True, direction="down"),
                             InputResult(delivery="verified", semantic=True))
            self.assertEqual(h.drag(**notes.target(), fromX=300, fromY=100, toX=500, toY=300),
                             InputResult(delivery="deliveredUnverified"))

            values = [row.value for row in h.accessibility_tree(**notes.target())
                      if row.role in ("AXTextField", "AXTextArea")]
            self.assertEqual(values, ["abc", "Hello"])

            lease = h.begin_guard(**notes.target())
            self.assertEqual((lease.foregroundPID, lease.expiresInMs), (501, 20000))
            self.assertEqual(h.end_guard(token=lease.token),
                             GuardReport(foregroundPreserved=True, userIntervened=False,
                                         targetIsForeground=False, guardHealthy=True,
                                         foregroundPID=501, foregroundWindowID=101,
                                         targetPID=502, targetWindowID=201))

            info = h.window_info(windowId=201, ownerPid=502)
            self.assertEqual((info.visible, info.ownerPid, info.bounds.width), (True, 502, 900))
            self.assertEqual(h.window_info(windowId=201, ownerPid=501),
                             WindowInfo(visible=False, ownerPid=502, terminal=True))
            png = h.app_icon(path="/System/Applications/Notes.app", pixels=20)
            self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(struct.unpack(">II", png[16:24]), (20, 20))
            self.assertEqual(h.launch_app(app="com.apple.calculator"), 503)
            h.release()
            process = h.process
        # The context manager sent "close" and reaped the child.
        self.assertEqual(process.returncode, 0)
        posts = self.posted()
        self.assertTrue(posts)
        self.assertEqual({post["pid"] for post in posts}, {502})


if __name__ == "__main__":
    unittest.main()
