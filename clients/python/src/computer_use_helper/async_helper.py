"""The helper as a child process, called from asyncio."""
import asyncio
from typing import Any, Callable, Dict, Optional, Sequence

from ._methods import Methods
from ._protocol import Correlator, Observer, command_line, settle
from .errors import HelperExitedError, HelperTimeoutError
from .helper import DEFAULT_TIMEOUT, EXIT_WAIT

# The longest response line read: an accessibility tree or an icon can be
# large, but never this large.
LINE_LIMIT = 256 << 20


class AsyncHelper(Methods):
    """Helper for asyncio: every method is a coroutine. Start it with
    `await AsyncHelper.start(...)` or `async with AsyncHelper(...)`.
    Concurrent calls (asyncio.gather) are pipelined."""

    def __init__(self, binary: Optional[str] = None, *, scene: Optional[str] = None,
                 trace: Optional[str] = None, parent_pid: Optional[int] = None,
                 timeout: float = DEFAULT_TIMEOUT, extra_args: Sequence[str] = (),
                 on_response: Optional[Observer] = None):
        self._argv = command_line(binary, scene, trace, parent_pid, extra_args)
        self.timeout = timeout
        self._correlator = Correlator(on_response)
        self._exit_error: Optional[HelperExitedError] = None
        self._closed = False
        self.process: Optional[asyncio.subprocess.Process] = None
        self._reader: Optional["asyncio.Task[None]"] = None

    @classmethod
    async def start(cls, binary: Optional[str] = None, **options: Any) -> "AsyncHelper":
        helper = cls(binary, **options)
        await helper._start()
        return helper

    async def _start(self) -> None:
        self.process = await asyncio.create_subprocess_exec(
            *self._argv, stdin=asyncio.subprocess.PIPE, stdout=asyncio.subprocess.PIPE,
            stderr=asyncio.subprocess.PIPE, limit=LINE_LIMIT)
        self._reader = asyncio.ensure_future(self._read())

    @property
    def pid(self) -> int:
        assert self.process is not None, "not started"
        return self.process.pid

    async def __aenter__(self) -> "AsyncHelper":
        if self.process is None:
            await self._start()
        return self

    async def __aexit__(self, *exc_info: Any) -> None:
        await self.close()

    async def _call(self, method: str, params: Dict[str, Any],
                    convert: Callable[[Dict[str, Any]], Any], timeout: Optional[float]) -> Any:
        assert self.process is not None and self.process.stdin is not None, "not started"
        if self._exit_error is not None:
            raise self._exit_error
        future = asyncio.get_running_loop().create_future()
        request_id, line = self._correlator.register_line(method, params, future)
        limit = self.timeout if timeout is None else timeout
        try:
            self.process.stdin.write(line)
            await asyncio.wait_for(asyncio.shield(self.process.stdin.drain()), limit)
        except (OSError, asyncio.TimeoutError):
            pass  # the helper is gone or not reading: the wait below decides
        try:
            result = await asyncio.wait_for(future, limit)
        except asyncio.TimeoutError:
            self._correlator.abandon(request_id)
            raise HelperTimeoutError(method, limit) from None
        return convert(result)

    async def close(self, *, timeout: Optional[float] = None) -> None:
        """Sends "close", waits for the helper to exit (killing it when it
        does not) and reaps it. Safe to call more than once."""
        if self._closed or self.process is None:
            return
        self._closed = True
        if self.process.returncode is None and self._exit_error is None:
            try:
                await self._call("close", {}, lambda result: None, timeout or EXIT_WAIT)
            except (HelperExitedError, HelperTimeoutError):
                pass
        assert self.process.stdin is not None
        self.process.stdin.close()
        try:
            await asyncio.wait_for(self.process.wait(), EXIT_WAIT)
        except asyncio.TimeoutError:
            self.process.kill()
            await self.process.wait()
        if self._reader is not None:
            await self._reader

    async def _read(self) -> None:
        assert self.process is not None
        stdout, stderr = self.process.stdout, self.process.stderr
        assert stdout is not None and stderr is not None
        errors = asyncio.ensure_future(stderr.read())
        while True:
            try:
                raw = await stdout.readline()
            except (ValueError, asyncio.LimitOverrunError):
                break  # a line beyond LINE_LIMIT: the stream cannot go on
            if not raw:
                break
            settle(self._correlator.line(raw.decode("utf-8", errors="replace")))
        try:
            returncode: Optional[int] = await asyncio.wait_for(self.process.wait(), EXIT_WAIT)
            text = (await asyncio.wait_for(errors, EXIT_WAIT)).decode("utf-8", errors="replace")
        except asyncio.TimeoutError:
            returncode, text = self.process.returncode, ""
        self._exit_error = HelperExitedError(returncode, text)
        settle(self._correlator.fail_all(self._exit_error))
