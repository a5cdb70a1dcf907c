// Failures of helper calls. HelperError and its subclasses carry the
// helper's own failure message; the others are the client's: no answer in
// time, or no helper to answer.

export const INVALID_JSON_MESSAGE = "computer-use helper received invalid JSON";
export const UNSUPPORTED_METHOD_PREFIX = "Unsupported macOS computer-use helper method: ";

/** The helper answered the request with a failure message. */
export class HelperError extends Error {
  constructor(
    message: string,
    readonly method?: string,
  ) {
    super(message);
    this.name = new.target.name;
  }

  /** The observed window or element changed; observe again first. */
  get needsNewObservation(): boolean {
    return this.message.includes("Call get_app_state again");
  }

  /** The request may have taken effect; look before repeating it. */
  get outcomeAmbiguous(): boolean {
    return this.message.endsWith("cannot be safely retried");
  }
}

/** The helper could not read the request line as a JSON object (a string
 * holding a lone surrogate, nesting deeper than 64 levels, a line over
 * 16 MiB). */
export class InvalidRequestError extends HelperError {}

/** The helper has no method of that name. */
export class UnsupportedMethodError extends HelperError {}

/** No response came within the call's timeout; a late one is discarded. */
export class HelperTimeoutError extends Error {
  constructor(
    readonly method: string,
    readonly timeoutMs: number,
  ) {
    super(`computer-use-helper did not answer ${method} within ${timeoutMs} ms`);
    this.name = "HelperTimeoutError";
  }
}

/** The helper process ended (or could not start) before it answered. */
export class HelperExitedError extends Error {
  constructor(
    readonly exitCode: number | null,
    readonly signal: string | null,
    readonly stderr: string,
  ) {
    const how = signal ? `signal ${signal}` : `status ${exitCode}`;
    super(`computer-use-helper exited with ${how}` + (stderr.trim() ? `: ${stderr.trim()}` : ""));
    this.name = "HelperExitedError";
  }
}

/** The error for a failure response with `message`. */
export function errorFor(message: string, method?: string): HelperError {
  if (message === INVALID_JSON_MESSAGE) return new InvalidRequestError(message, method);
  if (message.startsWith(UNSUPPORTED_METHOD_PREFIX)) return new UnsupportedMethodError(message, method);
  return new HelperError(message, method);
}
