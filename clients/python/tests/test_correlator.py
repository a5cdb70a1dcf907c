"""Matching response lines to requests, without a helper: the rules for
the invalid-JSON answer, which carries no id, and for late answers."""
import json
import unittest

from computer_use_helper._protocol import Correlator
from computer_use_helper.errors import InvalidRequestError

INVALID = json.dumps({"id": None, "ok": False, "error": "computer-use helper received invalid JSON"})


def ok(request_id):
    return json.dumps({"id": request_id, "ok": True, "result": {"n": request_id}})


class CorrelatorTest(unittest.TestCase):
    def run_case(self, requests, lines, abandoned=()):
        """Registers `requests` (waiter names), feeds `lines`, and returns
        {waiter: result number or "invalid"} in resolution order."""
        correlator = Correlator()
        ids = {name: correlator.register("m", {}, name) for name in requests}
        for name in abandoned:
            correlator.abandon(ids[name])
        outcome = {}
        for line in lines:
            for waiter, result, error in correlator.line(line(ids) if callable(line) else line):
                outcome[waiter] = "invalid" if isinstance(error, InvalidRequestError) \
                    else result["n"]
        return ids, outcome

    def test_answers_reach_their_requests(self):
        cases = [
            # (name, requests, lines as functions of the ids, expected)
            ("in order", ["a", "b"], [lambda i: ok(i["a"]), lambda i: ok(i["b"])],
             {"a": 1, "b": 2}),
            ("a lone invalid line", ["a"], [INVALID], {"a": "invalid"}),
            ("invalid behind a slow request waits for it",
             ["slow", "bad"], [INVALID, lambda i: ok(i["slow"])],
             {"slow": 1, "bad": "invalid"}),
            ("invalid before a valid one is settled by the valid answer",
             ["bad", "good", "later"], [INVALID, lambda i: ok(i["good"])],
             {"bad": "invalid", "good": 2}),
            ("two invalid among three",
             ["bad1", "good", "bad2"], [INVALID, INVALID],
             {}),
            ("...settled once the valid one answers",
             ["bad1", "good", "bad2"], [INVALID, INVALID, lambda i: ok(i["good"])],
             {"bad1": "invalid", "good": 2, "bad2": "invalid"}),
            ("an unknown id is ignored", ["a"], [ok(99)], {}),
        ]
        for name, requests, lines, expected in cases:
            with self.subTest(name):
                _, outcome = self.run_case(requests, lines)
                self.assertEqual(outcome, expected)

    def test_a_late_answer_is_discarded_and_keeps_the_matching_right(self):
        # "slow" timed out; its late answer must not settle "next", and a
        # later invalid line must still be told apart.
        _, outcome = self.run_case(
            ["slow", "next", "bad"],
            [INVALID, lambda i: ok(i["slow"]), lambda i: ok(i["next"])],
            abandoned=["slow"])
        self.assertEqual(outcome, {"next": 2, "bad": "invalid"})

    def test_an_invalid_answer_with_nothing_waiting_is_not_kept(self):
        correlator = Correlator()
        self.assertEqual(correlator.line(INVALID), [])
        slow = correlator.register("m", {}, "slow")
        correlator.register("m", {}, "bad")
        resolved = correlator.line(INVALID)
        self.assertEqual(resolved, [])  # "slow" may still be answered
        resolved = correlator.line(ok(slow))
        self.assertEqual([w for w, _, _ in resolved], ["slow", "bad"])

    def test_a_request_json_cannot_encode_is_never_registered(self):
        correlator = Correlator()
        for params in ({"x": object()}, {"x": float("nan")}):
            with self.assertRaises((TypeError, ValueError)):
                correlator.register_line("m", params, "unsent")
        self.assertEqual(correlator.waiting(), 0)
        request_id, line = correlator.register_line("m", {}, "sent")
        self.assertEqual(json.loads(line)["id"], request_id)
        self.assertEqual([w for w, _, _ in correlator.line(ok(request_id))], ["sent"])


if __name__ == "__main__":
    unittest.main()
