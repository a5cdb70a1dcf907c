"""AsyncHelper against the real binary: a session, pipelining with
asyncio.gather, a timeout with a late answer, a child that dies."""
import asyncio
import os
import signal
import unittest

from computer_use_helper import (ActionResult, HelperExitedError, HelperTimeoutError,
                                 InvalidRequestError, UnsupportedMethodError, Window)

from support import NOTES, async_helper, slow_launch_scene


class AsyncHelperTest(unittest.IsolatedAsyncioTestCase):
    async def test_a_session_observes_acts_and_closes(self):
        async with async_helper() as h:
            windows = await h.list_windows()
            self.assertEqual(windows[1].target(), NOTES)
            self.assertIsInstance(windows[1], Window)
            tree = await h.accessibility_tree(**NOTES)
            body = next(row for row in tree if row.description == "Note body")
            self.assertEqual(await h.element_action(**NOTES, operation="set_value",
                                                    value="milk", element=body),
                             ActionResult(delivery="verified"))
            click = await h.click(**NOTES, x=400, y=22, button="left", clickCount=1)
            self.assertEqual((click.focusedX, click.focusedY), (780, 162))
            lease = await h.begin_guard(**NOTES)
            self.assertTrue((await h.end_guard(token=lease.token)).guardHealthy)
            process = h.process
        self.assertEqual(process.returncode, 0)

    async def test_gathered_calls_are_pipelined_and_each_gets_its_answer(self):
        async with async_helper(scene=slow_launch_scene(300)) as h:
            results = await asyncio.gather(
                h.launch_app(app="Calculator"),
                h.app_icon(path="\udcff"),
                h.request("nothing"),
                *[h.window_info(windowId=101 if i % 2 else 201) for i in range(20)],
                return_exceptions=True)
            self.assertEqual(results[0], 503)
            self.assertIsInstance(results[1], InvalidRequestError)
            self.assertIsInstance(results[2], UnsupportedMethodError)
            self.assertEqual([r.ownerPid for r in results[3:]],
                             [501 if i % 2 else 502 for i in range(20)])

    async def test_a_late_answer_is_discarded(self):
        async with async_helper(scene=slow_launch_scene(1000)) as h:
            with self.assertRaises(HelperTimeoutError):
                await h.launch_app(app="Calculator", timeout=0.2)
            self.assertEqual((await h.window_info(windowId=201)).ownerPid, 502)

    async def test_a_dying_child_fails_waiting_and_later_calls(self):
        async with async_helper(scene=slow_launch_scene(5000)) as h:
            waiting = asyncio.ensure_future(h.launch_app(app="Calculator"))
            await asyncio.sleep(0.2)
            os.kill(h.pid, signal.SIGKILL)
            with self.assertRaises(HelperExitedError) as raised:
                await waiting
            self.assertEqual(raised.exception.returncode, -signal.SIGKILL)
            with self.assertRaises(HelperExitedError):
                await h.ping()


if __name__ == "__main__":
    unittest.main()
