// Matching response lines to requests, without a helper: the rules for the
// invalid-JSON answer, which carries no id, and for late answers.
import assert from "node:assert/strict";
import { test } from "node:test";

import { Correlator, InvalidRequestError } from "../src";

const INVALID = JSON.stringify({ id: null, ok: false, error: "computer-use helper received invalid JSON" });
const ok = (id: number) => JSON.stringify({ id, ok: true, result: { n: id } });

type Line = string | ((ids: Record<string, number>) => string);

function run(requests: string[], lines: Line[], abandoned: string[] = []): Record<string, number | string> {
  const correlator = new Correlator();
  const outcome: Record<string, number | string> = {};
  const ids: Record<string, number> = {};
  for (const name of requests) {
    ids[name] = correlator.register("m", {}, {
      resolve: (result) => (outcome[name] = result.n as number),
      reject: (error) => (outcome[name] = error instanceof InvalidRequestError ? "invalid" : error.message),
    });
  }
  for (const name of abandoned) correlator.abandon(ids[name]);
  for (const line of lines) correlator.line(typeof line === "string" ? line : line(ids));
  return outcome;
}

test("answers reach their requests", () => {
  const cases: [string, string[], Line[], Record<string, number | string>][] = [
    ["in order", ["a", "b"], [(i) => ok(i.a), (i) => ok(i.b)], { a: 1, b: 2 }],
    ["a lone invalid line", ["a"], [INVALID], { a: "invalid" }],
    ["invalid behind a slow request waits for it", ["slow", "bad"], [INVALID, (i) => ok(i.slow)],
      { slow: 1, bad: "invalid" }],
    ["invalid before a valid one is settled by the valid answer", ["bad", "good", "later"],
      [INVALID, (i) => ok(i.good)], { bad: "invalid", good: 2 }],
    ["two invalid among three wait", ["bad1", "good", "bad2"], [INVALID, INVALID], {}],
    ["...and are settled once the valid one answers", ["bad1", "good", "bad2"],
      [INVALID, INVALID, (i) => ok(i.good)], { bad1: "invalid", good: 2, bad2: "invalid" }],
    ["an unknown id is ignored", ["a"], [ok(99)], {}],
    ["a late answer is discarded and keeps the matching right", ["slow", "next", "bad"],
      [INVALID, (i) => ok(i.slow), (i) => ok(i.next)], { next: 2, bad: "invalid" }],
  ];
  for (const [name, requests, lines, expected] of cases) {
    assert.deepEqual(run(requests, lines, name.startsWith("a late") ? ["slow"] : []), expected, name);
  }
});

test("an invalid answer with nothing waiting is not kept for a later request", () => {
  assert.deepEqual(run(["slow", "bad"], [INVALID]), {});
  const correlator = new Correlator();
  correlator.line(INVALID);
  const outcome: string[] = [];
  const slow = correlator.register("m", {}, { resolve: () => outcome.push("slow"), reject: () => outcome.push("slow failed") });
  correlator.register("m", {}, { resolve: () => outcome.push("bad"), reject: () => outcome.push("bad invalid") });
  correlator.line(INVALID);
  assert.deepEqual(outcome, []);
  correlator.line(ok(slow));
  assert.deepEqual(outcome, ["slow", "bad invalid"]);
});

test("a request JSON cannot encode is never registered, so it takes no answer's place", () => {
  const correlator = new Correlator();
  const outcome: string[] = [];
  const waiter = (name: string) => ({
    resolve: () => outcome.push(name),
    reject: (error: Error) => outcome.push(error instanceof InvalidRequestError ? `${name} invalid` : name),
  });
  assert.throws(() => correlator.registerLine("m", { n: 1n }, waiter("unsent")), TypeError);
  const { id, line } = correlator.registerLine("m", {}, waiter("sent"));
  assert.equal(JSON.parse(line).id, id);
  correlator.line(INVALID);
  assert.deepEqual(outcome, ["sent invalid"]);
});
