// The protocol schema compiles under ajv's strict 2020-12 mode (unknown
// keywords and loose types are errors there) and has every method's
// parameters, result and response.
import assert from "node:assert/strict";
import { test } from "node:test";

import { SCHEMA, ajv } from "./support";

const METHODS = [
  "ping", "accessibility_status", "close", "release", "begin_guard", "end_guard", "list_windows",
  "list_apps", "launch_app", "accessibility_tree", "resolve_element", "element_action", "window_info",
  "app_icon", "click", "drag", "key", "scroll",
];

test("the schema has every method and validates as the protocol answers", () => {
  for (const method of METHODS) {
    for (const part of ["params", "result", "response"]) {
      assert.ok(ajv.getSchema(`${SCHEMA.$id}#/$defs/${method}.${part}`), `${method}.${part}`);
    }
  }
  const response = ajv.getSchema(SCHEMA.$id)!;
  const cases: [unknown, boolean][] = [
    [{ id: 1, ok: true, result: { ready: true } }, true],
    [{ id: null, ok: false, error: "computer-use helper received invalid JSON" }, true],
    [{ id: 1, ok: true, error: "x" }, false],
    [{ id: 1, ok: false, result: { ready: true } }, false],
    [{ id: 1, ok: true, result: { ready: true }, extra: 1 }, false],
    [{ id: "1", ok: true, result: { ready: true } }, false],
  ];
  for (const [value, valid] of cases) assert.equal(response(value), valid, JSON.stringify(value));
});
