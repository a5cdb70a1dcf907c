// Matching response lines to the requests they answer.
import { INVALID_JSON_MESSAGE, errorFor } from "./errors";

export type JsonObject = Record<string, unknown>;

export interface Waiter {
  resolve(result: JsonObject): void;
  reject(error: Error): void;
}

/** Called with every response matched to a request, also when nobody waits
 * for it any more. */
export type ResponseObserver = (method: string, params: JsonObject, response: JsonObject) => void;

interface Pending {
  method: string;
  params: JsonObject;
  waiter: Waiter | null; // null once the caller gave up (timeout)
}

/**
 * The helper answers valid requests in the order it read them, and a line
 * it cannot read at once, with a null id. So when request R is answered,
 * every earlier request still waiting was such a line; and when there are
 * as many unclaimed invalid-JSON answers as waiting requests, all of them
 * were. Requests whose caller gave up stay in the order until their answer
 * comes, so late answers never shift the matching.
 */
export class Correlator {
  private nextId = 0;
  private readonly waiting = new Map<number, Pending>(); // in send order
  private unclaimedInvalid = 0;

  constructor(private readonly observer?: ResponseObserver) {}

  register(method: string, params: JsonObject, waiter: Waiter): number {
    this.nextId += 1;
    this.waiting.set(this.nextId, { method, params, waiter });
    return this.nextId;
  }

  /** Registers a request and returns its id and the line to write. A
   * request JSON cannot encode throws here and is never registered, so it
   * cannot take the place of a request the helper did read. */
  registerLine(method: string, params: JsonObject, waiter: Waiter): { id: number; line: string } {
    const line = JSON.stringify({ id: this.nextId + 1, method, params }) + "\n";
    return { id: this.register(method, params, waiter), line };
  }

  abandon(id: number): void {
    const pending = this.waiting.get(id);
    if (pending) pending.waiter = null;
  }

  line(text: string): void {
    let response: unknown;
    try {
      response = JSON.parse(text);
    } catch {
      return;
    }
    if (typeof response !== "object" || response === null || Array.isArray(response)) return;
    const answer = response as JsonObject;
    const id = answer.id;
    if (typeof id === "number" && this.waiting.has(id)) {
      for (const earlier of [...this.waiting.keys()]) {
        if (earlier === id) break;
        this.claimInvalid(earlier);
      }
      const pending = this.waiting.get(id)!;
      this.waiting.delete(id);
      this.resolve(pending, answer);
    } else if (id === null && answer.error === INVALID_JSON_MESSAGE) {
      this.unclaimedInvalid += 1;
    }
    if (this.waiting.size > 0 && this.unclaimedInvalid >= this.waiting.size) {
      for (const earlier of [...this.waiting.keys()]) this.claimInvalid(earlier);
    }
    // An answer to none of ours must not be claimed by a later request.
    if (this.waiting.size === 0) this.unclaimedInvalid = 0;
  }

  failAll(error: Error): void {
    const pending = [...this.waiting.values()];
    this.waiting.clear();
    for (const { waiter } of pending) waiter?.reject(error);
  }

  private claimInvalid(id: number): void {
    this.unclaimedInvalid = Math.max(0, this.unclaimedInvalid - 1);
    const pending = this.waiting.get(id)!;
    this.waiting.delete(id);
    this.resolve(pending, { id: null, ok: false, error: INVALID_JSON_MESSAGE });
  }

  private resolve(pending: Pending, response: JsonObject): void {
    try {
      this.observer?.(pending.method, pending.params, response);
    } catch (error) {
      // A failing observer must not leave the request unanswered.
      process.emitWarning(`computer-use-helper response observer failed: ${error}`);
    }
    if (!pending.waiter) return;
    const result = response.result;
    if (response.ok === true && typeof result === "object" && result !== null) {
      pending.waiter.resolve(result as JsonObject);
      return;
    }
    const message =
      typeof response.error === "string" ? response.error : `malformed response: ${JSON.stringify(response)}`;
    pending.waiter.reject(errorFor(message, pending.method));
  }
}
