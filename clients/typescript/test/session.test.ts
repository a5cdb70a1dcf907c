// A whole session through the client against the real binary on the demo
// desktop: observe, snapshot, resolve, act, type, hold a lease, close.
import assert from "node:assert/strict";
import { readFileSync, mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, test } from "node:test";

import { targetOf } from "../src";
import { NOTES, schemaFailures, startHelper } from "./support";

after(() => assert.deepEqual(schemaFailures, []));

test("a session observes, acts and types into a background window", async () => {
  const trace = join(mkdtempSync(join(tmpdir(), "cuh-ts-")), "session.trace");
  const helper = await startHelper({ trace });
  try {
    assert.equal(await helper.ping(), true);
    assert.equal(await helper.accessibilityStatus(), true);
    const windows = await helper.listWindows();
    assert.deepEqual(
      windows.map((w) => [w.owner, w.zOrder]),
      [
        ["Terminal", 0],
        ["Notes", 1],
      ],
    );
    const notes = targetOf(windows[1]);
    assert.deepEqual(notes, NOTES);
    const apps = await helper.listApps();
    assert.equal(apps.find((a) => a.name === "Terminal")?.isActive, true);

    const tree = await helper.accessibilityTree(notes);
    const body = tree.find((row) => row.description === "Note body")!;
    assert.deepEqual([body.x, body.y, body.width, body.height], [280, 50, 600, 570]);
    const where = await helper.resolveElement({ ...notes, element: body });
    assert.deepEqual([where.targetX, where.targetY], [580, 335]);
    assert.deepEqual(await helper.elementAction({ ...notes, operation: "set_value", value: "Hello", element: body }), {
      delivery: "verified",
    });

    const click = await helper.click({ ...notes, x: 400, y: 22, button: "left", clickCount: 1 });
    assert.deepEqual([click.delivery, click.focusedX, click.focusedY], ["deliveredUnverified", 780, 162]);
    assert.deepEqual(await helper.key({ ...notes, x: 400, y: 22, keyName: "a", keyCode: 0, flags: 0 }), {
      delivery: "deliveredUnverified",
    });
    assert.deepEqual(await helper.elementAction({ ...notes, operation: "insert_text", x: 400, y: 22, text: "bc" }), {
      delivery: "verified",
      value: "abc",
    });
    assert.deepEqual(
      await helper.scroll({ ...notes, x: 100, y: 200, dx: 0, dy: 3, semanticFirst: true, direction: "down" }),
      { delivery: "verified", semantic: true },
    );
    assert.deepEqual(await helper.drag({ ...notes, fromX: 300, fromY: 100, toX: 500, toY: 300 }), {
      delivery: "deliveredUnverified",
    });
    const values = (await helper.accessibilityTree(notes))
      .filter((row) => row.role === "AXTextField" || row.role === "AXTextArea")
      .map((row) => row.value);
    assert.deepEqual(values, ["abc", "Hello"]);

    const lease = await helper.beginGuard(notes);
    assert.deepEqual([lease.foregroundPID, lease.expiresInMs], [501, 20000]);
    const report = await helper.endGuard({ token: lease.token });
    assert.deepEqual([report.foregroundPreserved, report.userIntervened, report.guardHealthy], [true, false, true]);

    assert.deepEqual(await helper.windowInfo({ windowId: 201, ownerPid: 501 }), {
      visible: false,
      terminal: true,
      ownerPid: 502,
    });
    const png = await helper.appIcon({ path: "/System/Applications/Notes.app", pixels: 20 });
    assert.deepEqual([...png.subarray(0, 4)], [0x89, 0x50, 0x4e, 0x47]);
    assert.deepEqual([png.readUInt32BE(16), png.readUInt32BE(20)], [20, 20]);
    assert.equal(await helper.launchApp({ app: "com.apple.calculator" }), 503);
    await helper.release();
  } finally {
    await helper.close();
  }
  const posts = readFileSync(trace, "utf8")
    .split("\n")
    .filter(Boolean)
    .map((line) => JSON.parse(line))
    .filter((entry) => entry.kind === "post");
  assert.ok(posts.length > 0);
  assert.deepEqual(new Set(posts.map((post) => post.pid)), new Set([502]));
});
