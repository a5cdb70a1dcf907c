// Shared by the client's tests: the demo scene, test scenes, and every
// response checked against the protocol schema (with ajv, here) and
// recorded for the suite-wide check (tests/schema/validate_responses.py).
import { appendFileSync, mkdirSync, readFileSync, writeFileSync, mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

import Ajv2020 from "ajv/dist/2020";

import { Helper, HelperOptions, JsonObject } from "../src";

// dist/test/ -> the source tree.
export const SOURCE_DIR = resolve(__dirname, "../../../..");
export const DEMO_SCENE = join(SOURCE_DIR, "scenes/demo.json");
export const SCHEMA = JSON.parse(readFileSync(join(SOURCE_DIR, "docs/schema/protocol.schema.json"), "utf8"));

/** The Notes window of the demo desktop. */
export const NOTES = { pid: 502, windowId: 201, width: 900, height: 640 };

// Strict: unknown keywords and untyped "properties" are errors. "required"
// in if/then branches names properties of the enclosing object, which
// strictRequired would refuse.
export const ajv = new Ajv2020({ strict: true, strictRequired: false, allowUnionTypes: true, allErrors: true });
ajv.addSchema(SCHEMA);

/** Responses that did not validate, as messages; each test file asserts
 * that none did. */
export const schemaFailures: string[] = [];

let files = 0;

function recorder(): (method: string, params: JsonObject, response: JsonObject) => void {
  const folder = process.env.CUH_RESPONSE_DIR;
  const path = folder ? join(folder, `typescript-${process.pid}-${files++}.jsonl`) : null;
  if (folder) mkdirSync(folder, { recursive: true });
  return (method, params, response) => {
    const known = SCHEMA.$defs[`${method}.response`] !== undefined;
    const validate = ajv.getSchema(`${SCHEMA.$id}#/$defs/${known ? `${method}.response` : "response"}`)!;
    if (!validate(response)) {
      schemaFailures.push(`${method}: ${JSON.stringify(response)}: ${ajv.errorsText(validate.errors)}`);
    }
    if (path) appendFileSync(path, JSON.stringify({ method, params, response }) + "\n");
  };
}

export function startHelper(options: HelperOptions = {}): Promise<Helper> {
  return Helper.start({ scene: DEMO_SCENE, onResponse: recorder(), ...options });
}

/** A scene written to a temporary file. */
export function sceneFile(scene: unknown): string {
  const path = join(mkdtempSync(join(tmpdir(), "cuh-ts-")), "scene.json");
  writeFileSync(path, JSON.stringify(scene));
  return path;
}

/** The demo desktop whose Calculator takes `delayMs` to launch: a request
 * that stays in flight as long as a test needs. */
export function slowLaunchScene(delayMs: number): string {
  const scene = JSON.parse(readFileSync(DEMO_SCENE, "utf8"));
  scene.launchable[0].delayMs = delayMs;
  return sceneFile(scene);
}
