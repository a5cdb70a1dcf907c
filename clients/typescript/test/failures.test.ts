// Failures through the client against the real binary: the helper's
// refusals, timeouts with late answers, pipelining, a child that dies, a
// parent that goes.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { after, test } from "node:test";

import {
  Helper,
  HelperError,
  HelperExitedError,
  HelperTimeoutError,
  InvalidRequestError,
  UnsupportedMethodError,
} from "../src";
import { DEMO_SCENE, sceneFile, schemaFailures, slowLaunchScene, startHelper } from "./support";

after(() => assert.deepEqual(schemaFailures, []));

test("each failure rejects with its error and the helper's message", async () => {
  const cases: [string, (h: Helper) => Promise<unknown>, Function, string][] = [
    ["unknown method", (h) => h.request("list_window"), UnsupportedMethodError,
      "Unsupported macOS computer-use helper method: list_window"],
    ["unreadable line", (h) => h.appIcon({ path: "/tmp/\udcff" }), InvalidRequestError,
      "computer-use helper received invalid JSON"],
    ["missing parameter", (h) => h.request("window_info"), HelperError,
      "Missing macOS computer-use parameter: windowId"],
    ["stale observation", (h) => h.accessibilityTree({ pid: 502, windowId: 201, width: 800, height: 640 }),
      HelperError, "The observed macOS window resized. Call get_app_state again"],
    ["app not found", (h) => h.launchApp({ app: "Nothing" }), HelperError, "App not found: Nothing"],
  ];
  const helper = await startHelper();
  try {
    for (const [name, call, type, message] of cases) {
      const error = await call(helper).then(() => null, (e: unknown) => e);
      assert.ok(error instanceof HelperError, name);
      assert.equal(error.constructor, type, name);
      assert.equal(error.message, message, name);
      assert.equal(error.needsNewObservation, name === "stale observation", name);
    }
    assert.equal(await helper.ping(), true);
  } finally {
    await helper.close();
  }
});

test("an unreadable scene ends the helper with its message; a missing binary fails to start", async () => {
  const bad = sceneFile({ windows: [{ id: 1 }] });
  const helper = await startHelper({ scene: bad });
  const error = await helper.ping().then(() => null, (e: unknown) => e);
  assert.ok(error instanceof HelperExitedError);
  assert.equal(error.exitCode, 2);
  assert.match(error.stderr, new RegExp(`scene ${bad}: \\$\\.windows\\[0\\]`));
  await helper.close();
  await assert.rejects(Helper.start({ binary: "/nonexistent/computer-use-helper" }), /cannot start/);
});

test("pipelined requests each get their own answer", async () => {
  // A slow launch in flight with an unreadable line and refusals behind
  // it: the unreadable line is answered first, with a null id.
  const helper = await startHelper({ scene: slowLaunchScene(400) });
  try {
    const results = await Promise.allSettled([
      helper.launchApp({ app: "Calculator" }),
      helper.appIcon({ path: "\udcff" }),
      helper.windowInfo({ windowId: 201 }),
      helper.request("nothing"),
      helper.appIcon({ path: "\udcfe" }),
      ...Array.from({ length: 50 }, () => helper.ping()),
    ]);
    const outcome = results.map((r) => (r.status === "fulfilled" ? r.value : r.reason.constructor.name));
    assert.deepEqual(outcome.slice(0, 5), [
      503,
      "InvalidRequestError",
      { visible: true, ownerPid: 502, bounds: { x: 380, y: 140, width: 900, height: 640 } },
      "UnsupportedMethodError",
      "InvalidRequestError",
    ]);
    assert.deepEqual(outcome.slice(5), Array(50).fill(true));
  } finally {
    await helper.close();
  }
});

test("a late answer is discarded and the next call gets its own", async () => {
  const helper = await startHelper({ scene: slowLaunchScene(2500) });
  try {
    const started = Date.now();
    await assert.rejects(helper.launchApp({ app: "Calculator" }, { timeoutMs: 300 }), HelperTimeoutError);
    // It gave up, rather than waiting for the launch's answer.
    assert.ok(Date.now() - started < 2000);
    assert.equal((await helper.windowInfo({ windowId: 101 })).ownerPid, 501);
    assert.equal((await helper.listApps()).at(-1)?.name, "Calculator");
  } finally {
    await helper.close();
  }
});

test("a dying child fails waiting and later calls", async () => {
  const helper = await startHelper({ scene: slowLaunchScene(5000) });
  const waiting = helper.launchApp({ app: "Calculator" });
  await new Promise((resolve) => setTimeout(resolve, 200));
  process.kill(helper.pid, "SIGKILL");
  const error = await waiting.then(() => null, (e: unknown) => e);
  assert.ok(error instanceof HelperExitedError);
  assert.equal(error.signal, "SIGKILL");
  await assert.rejects(helper.ping(), HelperExitedError);
  await helper.close();
});

test("the parent's exit ends the child", async () => {
  // A parent that starts the helper and is killed without closing it. A
  // sleeper keeps the helper's standard input open, so only the parent
  // watch (--parent-pid) can end it.
  const script = `
    const { spawn } = require("node:child_process");
    const { Helper } = require(${JSON.stringify(join(__dirname, "../src"))});
    Helper.start({ scene: ${JSON.stringify(DEMO_SCENE)} }).then(async (h) => {
      await h.ping();
      const keeper = spawn("sleep", ["30"], { stdio: [h["child"].stdin, "ignore", "ignore"] });
      console.log(h.pid, keeper.pid);
    });`;
  const parent = spawn(process.execPath, ["-e", script], { stdio: ["ignore", "pipe", "inherit"] });
  const line: string = await new Promise((resolve) => parent.stdout.once("data", (d) => resolve(String(d))));
  const [child, keeper] = line.trim().split(" ").map(Number);
  parent.kill("SIGKILL");
  const deadline = Date.now() + 5000;
  while (running(child) && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 50));
  try {
    assert.equal(running(child), false, "the helper outlived its parent");
  } finally {
    process.kill(keeper, "SIGKILL");
  }
});

/** Alive and not a zombie waiting for its (new) parent to reap it. */
function running(pid: number): boolean {
  const stat = `/proc/${pid}/stat`;
  if (!existsSync(stat)) return false;
  try {
    return readFileSync(stat, "utf8").split(")").at(-1)!.trim().split(" ")[0] !== "Z";
  } catch {
    return false;
  }
}
