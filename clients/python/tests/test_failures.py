"""Failures through the client against the real binary: the helper's
refusals, timeouts with late answers, pipelining, a child that dies, a
parent that goes."""
import os
import signal
import subprocess
import sys
import threading
import time
import unittest

from computer_use_helper import (HelperError, HelperExitedError, HelperTimeoutError,
                                 InvalidRequestError, UnsupportedMethodError)

from support import DEMO_SCENE, helper, scene_file, slow_launch_scene


class RefusalTest(unittest.TestCase):
    def test_each_failure_raises_its_error_with_the_helpers_message(self):
        cases = [
            ("unknown method", lambda h: h.request("list_window"), UnsupportedMethodError,
             "Unsupported macOS computer-use helper method: list_window"),
            ("unreadable line", lambda h: h.app_icon(path="/tmp/\udcff"), InvalidRequestError,
             "computer-use helper received invalid JSON"),
            ("missing parameter", lambda h: h.request("window_info"), HelperError,
             "Missing macOS computer-use parameter: windowId"),
            ("stale observation",
             lambda h: h.accessibility_tree(pid=502, windowId=201, width=800, height=640),
             HelperError, "The observed macOS window resized. Call get_app_state again"),
            ("app not found", lambda h: h.launch_app(app="Nothing"), HelperError,
             "App not found: Nothing"),
        ]
        with helper() as h:
            for name, call, error_type, message in cases:
                with self.subTest(name), self.assertRaises(error_type) as raised:
                    call(h)
                self.assertIs(type(raised.exception), error_type, name)
                self.assertEqual(raised.exception.message, message, name)
            # The helper keeps serving after every refusal.
            self.assertTrue(h.ping())

    def test_message_endings_tell_what_to_do_next(self):
        stale = HelperError("The observed macOS window disappeared. Call get_app_state again")
        ambiguous = HelperError("The click may have completed after the user changed the "
                                "foreground window and cannot be safely retried")
        self.assertEqual((stale.needs_new_observation, stale.outcome_ambiguous), (True, False))
        self.assertEqual((ambiguous.needs_new_observation, ambiguous.outcome_ambiguous),
                         (False, True))

    def test_an_unreadable_scene_ends_the_helper_with_its_message(self):
        bad = scene_file({"windows": [{"id": 1}]})
        with helper(scene=bad) as h, self.assertRaises(HelperExitedError) as raised:
            h.ping()
        self.assertEqual(raised.exception.returncode, 2)
        self.assertIn(f"scene {bad}: $.windows[0]", raised.exception.stderr)

    def test_a_missing_binary_is_reported_before_anything_starts(self):
        with self.assertRaises(FileNotFoundError):
            helper(binary="/nonexistent/computer-use-helper")


class PipeliningTest(unittest.TestCase):
    def test_pipelined_requests_each_get_their_own_answer(self):
        # A slow launch in flight, an unreadable line and refusals behind
        # it: the unreadable line is answered first, with a null id, and
        # every answer still reaches its own request.
        with helper(scene=slow_launch_scene(400)) as h:
            futures = [
                h.submit("launch_app", {"app": "Calculator"}),
                h.submit("app_icon", {"path": "\udcff"}),
                h.submit("window_info", {"windowId": 201}),
                h.submit("nothing"),
                h.submit("app_icon", {"path": "\udcfe"}),
            ] + [h.submit("ping") for _ in range(50)]
            self.assertEqual(futures[0].result(10), {"launched": True, "pid": 503})
            self.assertIsInstance(futures[1].exception(10), InvalidRequestError)
            self.assertEqual(futures[2].result(10)["ownerPid"], 502)
            self.assertIsInstance(futures[3].exception(10), UnsupportedMethodError)
            self.assertIsInstance(futures[4].exception(10), InvalidRequestError)
            self.assertEqual([f.result(10) for f in futures[5:]], [{"ready": True}] * 50)

    def test_calls_from_many_threads_are_answered_to_their_callers(self):
        with helper() as h:
            results = {}

            def worker(index):
                results[index] = h.window_info(windowId=201 if index % 2 else 101)

            threads = [threading.Thread(target=worker, args=(i,)) for i in range(16)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            self.assertEqual({i: r.ownerPid for i, r in results.items()},
                             {i: 502 if i % 2 else 501 for i in range(16)})


class TimeoutTest(unittest.TestCase):
    def test_a_late_answer_is_discarded_and_the_next_call_gets_its_own(self):
        with helper(scene=slow_launch_scene(2500)) as h:
            started = time.monotonic()
            with self.assertRaises(HelperTimeoutError) as raised:
                h.launch_app(app="Calculator", timeout=0.3)
            # It gave up, rather than waiting for the launch's answer.
            self.assertLess(time.monotonic() - started, 2.0)
            self.assertEqual(raised.exception.method, "launch_app")
            # Queued behind the launch; its answer comes after the launch's
            # late one, which must not be taken for it.
            self.assertEqual(h.window_info(windowId=101).ownerPid, 501)
            self.assertEqual(h.list_apps()[-1].name, "Calculator")


class ChildEndTest(unittest.TestCase):
    def test_a_dying_child_fails_waiting_and_later_calls(self):
        with helper(scene=slow_launch_scene(5000)) as h:
            pending = h.submit("launch_app", {"app": "Calculator"})
            time.sleep(0.2)
            os.kill(h.pid, signal.SIGKILL)
            error = pending.exception(10)
            self.assertIsInstance(error, HelperExitedError)
            self.assertEqual(error.returncode, -signal.SIGKILL)
            with self.assertRaises(HelperExitedError):
                h.ping()

    def test_the_parents_exit_ends_the_child(self):
        # A parent that starts the helper and is killed without closing it.
        # A sleeper keeps the helper's standard input open, so only the
        # parent watch (--parent-pid) can end it.
        parent = subprocess.Popen(
            [sys.executable, "-c",
             "import subprocess, sys, time\n"
             "from computer_use_helper import Helper\n"
             "h = Helper(scene=sys.argv[1])\n"
             "h.ping()\n"
             "keeper = subprocess.Popen(['sleep', '30'], pass_fds=[h.process.stdin.fileno()])\n"
             "print(h.pid, keeper.pid, flush=True)\n"
             "time.sleep(60)\n",
             DEMO_SCENE],
            stdout=subprocess.PIPE, text=True)
        child, keeper = map(int, parent.stdout.readline().split())
        self.addCleanup(os.kill, keeper, signal.SIGKILL)
        parent.kill()
        parent.wait()
        parent.stdout.close()
        deadline = time.monotonic() + 5
        while _running(child) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertFalse(_running(child), "the helper outlived its parent")


def _running(pid):
    """Alive and not a zombie waiting for its (new) parent to reap it."""
    try:
        with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


if __name__ == "__main__":
    unittest.main()
