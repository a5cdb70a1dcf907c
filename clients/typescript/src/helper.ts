// computer-use-helper as a child process: one method per protocol method,
// pipelined requests, per-call timeouts.
import { ChildProcessWithoutNullStreams, spawn } from "node:child_process";
import { createInterface } from "node:readline";

import { Correlator, JsonObject, ResponseObserver } from "./correlator";
import { HelperExitedError, HelperTimeoutError } from "./errors";
import {
  ActionResult,
  App,
  ClickParams,
  ClickResult,
  DragParams,
  ElementActionParams,
  ElementDescription,
  Element,
  GuardLease,
  GuardReport,
  InputResult,
  KeyParams,
  ObservedWindow,
  ResolvedElement,
  ScrollParams,
  Window,
  WindowInfo,
} from "./types";

export interface HelperOptions {
  /** The binary; else $COMPUTER_USE_HELPER, else computer-use-helper on PATH. */
  binary?: string;
  /** --scene: serve the simulated desktop of this scene file. */
  scene?: string;
  /** --trace: append what reaches the simulated desktop to this file. */
  trace?: string;
  /** The process the helper watches and ends with; this one by default. */
  parentPid?: number;
  /** Default per-call timeout; 30 s. */
  timeoutMs?: number;
  extraArgs?: string[];
  /** Sees every response with the request it answers (logging, tests). */
  onResponse?: ResponseObserver;
}

export interface CallOptions {
  timeoutMs?: number;
}

const DEFAULT_TIMEOUT_MS = 30_000;
const EXIT_WAIT_MS = 10_000;
const STDERR_KEPT = 65_536;

/** Parameters left undefined are not sent. */
function defined(params: object): JsonObject {
  return Object.fromEntries(Object.entries(params).filter(([, value]) => value !== undefined));
}

export class Helper {
  private readonly correlator: Correlator;
  private exitError: HelperExitedError | null = null;
  private readonly exited: Promise<void>;
  private stderr = "";
  private closing: Promise<void> | null = null;

  private constructor(
    private readonly child: ChildProcessWithoutNullStreams,
    readonly timeoutMs: number,
    observer?: ResponseObserver,
  ) {
    this.correlator = new Correlator(observer);
    // Writes to a helper that is gone fail here; its requests fail when
    // the output ends.
    child.stdin.on("error", () => {});
    child.stderr.setEncoding("utf8");
    child.stderr.on("data", (chunk: string) => {
      if (this.stderr.length < STDERR_KEPT) this.stderr += chunk;
    });
    createInterface({ input: child.stdout, crlfDelay: Infinity }).on("line", (line) =>
      this.correlator.line(line),
    );
    this.exited = new Promise((resolve) => {
      child.on("close", (code, signal) => {
        this.exitError = new HelperExitedError(code, signal, this.stderr);
        this.correlator.failAll(this.exitError);
        resolve();
      });
    });
  }

  /** Starts the helper; rejects when the binary cannot be run. */
  static start(options: HelperOptions = {}): Promise<Helper> {
    const program = options.binary ?? process.env.COMPUTER_USE_HELPER ?? "computer-use-helper";
    const args = ["--parent-pid", String(options.parentPid ?? process.pid)];
    if (options.scene !== undefined) args.push("--scene", options.scene);
    if (options.trace !== undefined) args.push("--trace", options.trace);
    args.push(...(options.extraArgs ?? []));
    const child = spawn(program, args, { stdio: ["pipe", "pipe", "pipe"] });
    return new Promise((resolve, reject) => {
      child.once("error", (error: NodeJS.ErrnoException) => {
        const hint = error.code === "ENOENT" ? "; pass binary or set $COMPUTER_USE_HELPER" : "";
        reject(new Error(`cannot start ${program}: ${error.message}${hint}`));
      });
      child.once("spawn", () =>
        resolve(new Helper(child, options.timeoutMs ?? DEFAULT_TIMEOUT_MS, options.onResponse)),
      );
    });
  }

  get pid(): number {
    return this.child.pid!;
  }

  /** Any method with `params` sent as given; its result object. */
  request(method: string, params: JsonObject = {}, options: CallOptions = {}): Promise<JsonObject> {
    if (this.exitError) return Promise.reject(this.exitError);
    const timeoutMs = options.timeoutMs ?? this.timeoutMs;
    return new Promise((resolve, reject) => {
      let timer: NodeJS.Timeout | undefined;
      const { id, line } = this.correlator.registerLine(method, params, {
        resolve: (result) => {
          clearTimeout(timer);
          resolve(result);
        },
        reject: (error) => {
          clearTimeout(timer);
          reject(error);
        },
      });
      timer = setTimeout(() => {
        this.correlator.abandon(id);
        reject(new HelperTimeoutError(method, timeoutMs));
      }, timeoutMs);
      this.child.stdin.write(line);
    });
  }

  private async call<T>(method: string, params: object, options?: CallOptions): Promise<T> {
    return (await this.request(method, defined(params), options)) as T;
  }

  async ping(options?: CallOptions): Promise<boolean> {
    return (await this.call<{ ready: boolean }>("ping", {}, options)).ready;
  }

  async accessibilityStatus(params: { prompt?: boolean } = {}, options?: CallOptions): Promise<boolean> {
    return (await this.call<{ trusted: boolean }>("accessibility_status", params, options)).trusted;
  }

  /** Gives back everything the helper holds in other applications. */
  async release(options?: CallOptions): Promise<void> {
    await this.call("release", {}, options);
  }

  beginGuard(params: ObservedWindow, options?: CallOptions): Promise<GuardLease> {
    return this.call("begin_guard", params, options);
  }

  endGuard(params: { token: string }, options?: CallOptions): Promise<GuardReport> {
    return this.call("end_guard", params, options);
  }

  async listWindows(options?: CallOptions): Promise<Window[]> {
    return (await this.call<{ windows: Window[] }>("list_windows", {}, options)).windows;
  }

  async listApps(options?: CallOptions): Promise<App[]> {
    return (await this.call<{ apps: App[] }>("list_apps", {}, options)).apps;
  }

  /** Launches without activating; the pid. */
  async launchApp(params: { app: string }, options?: CallOptions): Promise<number> {
    return (await this.call<{ pid: number }>("launch_app", params, options)).pid;
  }

  async accessibilityTree(params: ObservedWindow, options?: CallOptions): Promise<Element[]> {
    return (await this.call<{ elements: Element[] }>("accessibility_tree", params, options)).elements;
  }

  resolveElement(
    params: ObservedWindow & { element: ElementDescription },
    options?: CallOptions,
  ): Promise<ResolvedElement> {
    return this.call("resolve_element", params, options);
  }

  elementAction(params: ElementActionParams, options?: CallOptions): Promise<ActionResult> {
    return this.call("element_action", params, options);
  }

  windowInfo(params: { windowId: number; ownerPid?: number }, options?: CallOptions): Promise<WindowInfo> {
    return this.call("window_info", params, options);
  }

  /** The icon as PNG bytes. */
  async appIcon(params: { path: string; pixels?: number }, options?: CallOptions): Promise<Buffer> {
    const { base64 } = await this.call<{ base64: string }>("app_icon", params, options);
    return Buffer.from(base64, "base64");
  }

  click(params: ClickParams, options?: CallOptions): Promise<ClickResult> {
    return this.call("click", params, options);
  }

  drag(params: DragParams, options?: CallOptions): Promise<InputResult> {
    return this.call("drag", params, options);
  }

  key(params: KeyParams, options?: CallOptions): Promise<InputResult> {
    return this.call("key", params, options);
  }

  scroll(params: ScrollParams, options?: CallOptions): Promise<InputResult> {
    return this.call("scroll", params, options);
  }

  /** Sends "close", waits for the helper to exit (killing it when it does
   * not) and reaps it. Safe to call more than once. */
  close(options: CallOptions = {}): Promise<void> {
    this.closing ??= this.shutDown(options.timeoutMs ?? EXIT_WAIT_MS);
    return this.closing;
  }

  private async shutDown(timeoutMs: number): Promise<void> {
    if (!this.exitError) {
      await this.request("close", {}, { timeoutMs }).catch(() => {});
    }
    this.child.stdin.end();
    let timer: NodeJS.Timeout | undefined;
    const late = new Promise<"late">((resolve) => {
      timer = setTimeout(() => resolve("late"), EXIT_WAIT_MS);
    });
    if ((await Promise.race([this.exited, late])) === "late") {
      this.child.kill("SIGKILL");
      await this.exited;
    }
    clearTimeout(timer);
  }
}
