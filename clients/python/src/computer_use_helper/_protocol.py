"""What the synchronous and the asynchronous client share: the command line,
request lines, and matching response lines to the requests they answer."""
import json
import os
import shutil
import warnings
from collections import OrderedDict
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple

from .errors import INVALID_JSON_MESSAGE, error_for

BINARY_VARIABLE = "COMPUTER_USE_HELPER"
BINARY_NAME = "computer-use-helper"

# A response is handed to the observer with the request it answers.
Observer = Callable[[str, Dict[str, Any], Dict[str, Any]], None]


def command_line(binary: Optional[str], scene: Optional[str], trace: Optional[str],
                 parent_pid: Optional[int], extra_args: Sequence[str]) -> List[str]:
    """The helper's argv: the binary from the argument, else
    $COMPUTER_USE_HELPER, else computer-use-helper on PATH."""
    program = binary or os.environ.get(BINARY_VARIABLE) or shutil.which(BINARY_NAME)
    if not program:
        raise FileNotFoundError(
            f"{BINARY_NAME} was not found on PATH; pass binary= or set ${BINARY_VARIABLE}")
    argv = [os.fspath(program), "--parent-pid", str(os.getpid() if parent_pid is None else parent_pid)]
    if scene is not None:
        argv += ["--scene", os.fspath(scene)]
    if trace is not None:
        argv += ["--trace", os.fspath(trace)]
    return argv + list(extra_args)


def request_line(request_id: int, method: str, params: Mapping[str, Any]) -> bytes:
    """One request line. ASCII escapes keep any text on one line; a string
    the helper cannot read (a lone surrogate) is still sent, and answered
    with the invalid-JSON failure."""
    text = json.dumps({"id": request_id, "method": method, "params": params},
                      ensure_ascii=True, allow_nan=False, separators=(",", ":"))
    return text.encode("ascii") + b"\n"


def drop_none(params: Mapping[str, Any]) -> Dict[str, Any]:
    """Parameters left as None are not sent."""
    out = {}
    for key, value in params.items():
        if value is None:
            continue
        out[key] = value.as_params() if hasattr(value, "as_params") else value
    return out


class Pending:
    """One request sent and not yet answered. `waiter` is None once the
    caller stopped waiting (timeout): its answer is then discarded."""

    def __init__(self, method: str, params: Dict[str, Any], waiter: Any):
        self.method = method
        self.params = params
        self.waiter = waiter


# (waiter, result or None, exception or None) for each request answered.
Resolution = Tuple[Any, Optional[Dict[str, Any]], Optional[BaseException]]


class Correlator:
    """Matches response lines to requests by id.

    The helper answers valid requests in the order it read them, and answers
    a line it cannot read at once, with a null id. So when request R is
    answered, every earlier request still waiting was such a line; and when
    there are as many unclaimed invalid-JSON answers as waiting requests,
    all of them were. Requests whose caller gave up stay in the order until
    their answer comes, so late answers never shift the matching."""

    def __init__(self, observer: Optional[Observer] = None):
        self._next_id = 0
        self._waiting: "OrderedDict[int, Pending]" = OrderedDict()
        self._unclaimed_invalid = 0
        self._observer = observer

    def register(self, method: str, params: Dict[str, Any], waiter: Any) -> int:
        self._next_id += 1
        self._waiting[self._next_id] = Pending(method, params, waiter)
        return self._next_id

    def abandon(self, request_id: int) -> None:
        pending = self._waiting.get(request_id)
        if pending is not None:
            pending.waiter = None

    def register_line(self, method: str, params: Dict[str, Any],
                      waiter: Any) -> Tuple[int, bytes]:
        """Registers a request and returns its id and the line to write. A
        request whose parameters JSON cannot encode raises here and is not
        registered."""
        line = request_line(self._next_id + 1, method, params)
        return self.register(method, params, waiter), line

    def waiting(self) -> int:
        return len(self._waiting)

    def line(self, text: str) -> List[Resolution]:
        try:
            response = json.loads(text)
        except ValueError:
            return []
        if not isinstance(response, dict):
            return []
        request_id = response.get("id")
        resolved: List[Resolution] = []
        if isinstance(request_id, int) and not isinstance(request_id, bool) \
                and request_id in self._waiting:
            for earlier in list(self._waiting):
                if earlier == request_id:
                    break
                self._claim_invalid(earlier, resolved)
            self._resolve(self._waiting.pop(request_id), response, resolved)
        elif request_id is None and response.get("error") == INVALID_JSON_MESSAGE:
            self._unclaimed_invalid += 1
        if self._waiting and self._unclaimed_invalid >= len(self._waiting):
            for earlier in list(self._waiting):
                self._claim_invalid(earlier, resolved)
        if not self._waiting:
            # An answer to none of ours (a line written past this client)
            # must not be claimed by a later request.
            self._unclaimed_invalid = 0
        return resolved

    def fail_all(self, error: BaseException) -> List[Resolution]:
        resolved = [(p.waiter, None, error) for p in self._waiting.values() if p.waiter is not None]
        self._waiting.clear()
        return resolved

    def _claim_invalid(self, request_id: int, resolved: List[Resolution]) -> None:
        self._unclaimed_invalid = max(0, self._unclaimed_invalid - 1)
        response = {"id": None, "ok": False, "error": INVALID_JSON_MESSAGE}
        self._resolve(self._waiting.pop(request_id), response, resolved)

    def _resolve(self, pending: Pending, response: Dict[str, Any],
                 resolved: List[Resolution]) -> None:
        if self._observer is not None:
            try:
                self._observer(pending.method, pending.params, response)
            except Exception as error:  # noqa: BLE001 - must not strand the request
                warnings.warn(f"computer-use-helper response observer failed: {error!r}")
        if pending.waiter is None:
            return
        if response.get("ok") is True and isinstance(response.get("result"), dict):
            resolved.append((pending.waiter, response["result"], None))
        else:
            message = response.get("error")
            if not isinstance(message, str):
                message = f"malformed response: {json.dumps(response)}"
            resolved.append((pending.waiter, None, error_for(message, pending.method)))


def settle(resolved: List[Resolution]) -> None:
    """Completes each waiter (a concurrent or an asyncio future) that is
    still waiting."""
    for future, result, error in resolved:
        if future.done():
            continue
        if error is not None:
            future.set_exception(error)
        else:
            future.set_result(result)
