"""Failures of helper calls.

HelperError and its subclasses carry the helper's own failure message. The
other errors are the client's: no answer in time, or no helper to answer.
"""
from typing import Optional

INVALID_JSON_MESSAGE = "computer-use helper received invalid JSON"
UNSUPPORTED_METHOD_PREFIX = "Unsupported macOS computer-use helper method: "


class HelperError(Exception):
    """The helper answered the request with a failure message."""

    def __init__(self, message: str, method: Optional[str] = None):
        super().__init__(message)
        self.message = message
        self.method = method

    @property
    def needs_new_observation(self) -> bool:
        """The observed window or element changed; observe again first."""
        return "Call get_app_state again" in self.message

    @property
    def outcome_ambiguous(self) -> bool:
        """The request may have taken effect; look before repeating it."""
        return self.message.endswith("cannot be safely retried")


class InvalidRequestError(HelperError):
    """The helper could not read the request line as a JSON object (for
    example a string holding a lone surrogate, nesting deeper than 64 levels
    or a line over 16 MiB)."""


class UnsupportedMethodError(HelperError):
    """The helper has no method of that name."""


class HelperTimeoutError(TimeoutError):
    """No response came within the call's timeout. A late response to the
    request is discarded when it arrives."""

    def __init__(self, method: str, timeout: float):
        super().__init__(f"computer-use-helper did not answer {method} within {timeout:g} s")
        self.method = method
        self.timeout = timeout


class HelperExitedError(RuntimeError):
    """The helper process ended (or was never usable) before it answered."""

    def __init__(self, returncode: Optional[int], stderr: str = ""):
        detail = f"status {returncode}" if returncode is not None else "an unknown status"
        text = f"computer-use-helper exited with {detail}"
        if stderr.strip():
            text += ": " + stderr.strip()
        super().__init__(text)
        self.returncode = returncode
        self.stderr = stderr


def error_for(message: str, method: Optional[str]) -> HelperError:
    """The exception for a failure response with `message`."""
    if message == INVALID_JSON_MESSAGE:
        return InvalidRequestError(message, method)
    if message.startswith(UNSUPPORTED_METHOD_PREFIX):
        return UnsupportedMethodError(message, method)
    return HelperError(message, method)
