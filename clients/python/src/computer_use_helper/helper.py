"""The helper as a child process, called from threads."""
import subprocess
import threading
from concurrent.futures import Future
from concurrent.futures import TimeoutError as FutureTimeout
from typing import Any, Callable, Dict, Optional, Sequence

from ._methods import Methods
from ._protocol import Correlator, Observer, command_line, settle
from .errors import HelperExitedError, HelperTimeoutError

DEFAULT_TIMEOUT = 30.0
# How long close() waits for the helper to exit before killing it.
EXIT_WAIT = 10.0


class Helper(Methods):
    """Starts computer-use-helper and calls its methods.

    The binary comes from `binary`, else $COMPUTER_USE_HELPER, else
    computer-use-helper on PATH. The helper watches `parent_pid` (this
    process by default) and ends when it is gone. `scene` and `trace` are
    passed as --scene and --trace. Calls may come from several threads at
    once; their requests are pipelined and each answer goes to its caller.
    Use it as a context manager, or call close()."""

    def __init__(self, binary: Optional[str] = None, *, scene: Optional[str] = None,
                 trace: Optional[str] = None, parent_pid: Optional[int] = None,
                 timeout: float = DEFAULT_TIMEOUT, extra_args: Sequence[str] = (),
                 on_response: Optional[Observer] = None):
        argv = command_line(binary, scene, trace, parent_pid, extra_args)
        self.timeout = timeout
        self._lock = threading.Lock()
        self._correlator = Correlator(on_response)
        self._exit_error: Optional[HelperExitedError] = None
        self._stderr = bytearray()
        self._closed = False
        self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self._stderr_thread = threading.Thread(target=self._drain_stderr, daemon=True)
        self._stderr_thread.start()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    @property
    def pid(self) -> int:
        return self.process.pid

    def __enter__(self) -> "Helper":
        return self

    def __exit__(self, *exc_info: Any) -> None:
        self.close()

    def submit(self, method: str,
               params: Optional[Dict[str, Any]] = None) -> "Future[Dict[str, Any]]":
        """Sends a request without waiting; the future gives its result
        object or raises its error. Requests are answered in order."""
        return self._submit(method, dict(params or {}))[1]

    def _submit(self, method: str, params: Dict[str, Any]) -> "tuple[int, Future[Any]]":
        future: "Future[Dict[str, Any]]" = Future()
        with self._lock:
            if self._exit_error is not None:
                future.set_exception(self._exit_error)
                return 0, future
            request_id, line = self._correlator.register_line(method, params, future)
            try:
                self.process.stdin.write(line)
                self.process.stdin.flush()
            except (OSError, ValueError):
                pass  # the helper is gone: the reader fails the request
        return request_id, future

    def _call(self, method: str, params: Dict[str, Any],
              convert: Callable[[Dict[str, Any]], Any], timeout: Optional[float]) -> Any:
        request_id, future = self._submit(method, params)
        limit = self.timeout if timeout is None else timeout
        try:
            result = future.result(limit)
        except FutureTimeout:
            with self._lock:
                self._correlator.abandon(request_id)
            raise HelperTimeoutError(method, limit) from None
        return convert(result)

    def close(self, *, timeout: Optional[float] = None) -> None:
        """Sends "close", waits for the helper to exit (killing it when it
        does not) and reaps it. Safe to call more than once."""
        if self._closed:
            return
        self._closed = True
        if self.process.poll() is None and self._exit_error is None:
            try:
                self._call("close", {}, lambda result: None, timeout or EXIT_WAIT)
            except (HelperExitedError, HelperTimeoutError):
                pass
        try:
            self.process.stdin.close()
        except OSError:
            pass
        try:
            self.process.wait(EXIT_WAIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self._reader.join(EXIT_WAIT)
        self._stderr_thread.join(EXIT_WAIT)
        self.process.stdout.close()
        self.process.stderr.close()

    def _read(self) -> None:
        for raw in self.process.stdout:
            text = raw.decode("utf-8", errors="replace")
            with self._lock:
                resolved = self._correlator.line(text)
            settle(resolved)
        # End of output: the helper exited (or closed its output).
        try:
            returncode: Optional[int] = self.process.wait(EXIT_WAIT)
        except subprocess.TimeoutExpired:
            returncode = None
        self._stderr_thread.join(EXIT_WAIT)
        error = HelperExitedError(returncode, self._stderr.decode("utf-8", errors="replace"))
        with self._lock:
            self._exit_error = error
            resolved = self._correlator.fail_all(error)
        settle(resolved)

    def _drain_stderr(self) -> None:
        for chunk in iter(lambda: self.process.stderr.read(65536), b""):
            if len(self._stderr) < 65536:
                self._stderr += chunk
