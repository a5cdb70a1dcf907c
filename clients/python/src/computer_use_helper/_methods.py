"""One method per protocol method, shared by Helper and AsyncHelper.

Keyword parameters are named exactly as in the protocol; None leaves an
optional parameter out. Each method returns what `_call` returns: the typed
result for Helper, an awaitable of it for AsyncHelper. `timeout` (seconds)
overrides the client's default for that call."""
import base64
from typing import Any, Callable, Dict, List, Optional, Union

from ._protocol import drop_none
from .types import (ActionResult, App, ClickResult, Element, GuardLease, GuardReport,
                    InputResult, ResolvedElement, Window, WindowInfo, from_result)

ElementParam = Union[Element, Dict[str, Any]]


def _windows(result: Dict[str, Any]) -> List[Window]:
    return [from_result(Window, row) for row in result["windows"]]


def _apps(result: Dict[str, Any]) -> List[App]:
    return [from_result(App, row) for row in result["apps"]]


def _elements(result: Dict[str, Any]) -> List[Element]:
    return [from_result(Element, row) for row in result["elements"]]


def _key(name: str) -> Callable[[Dict[str, Any]], Any]:
    return lambda result: result[name]


def _typed(cls: Any) -> Callable[[Dict[str, Any]], Any]:
    return lambda result: from_result(cls, result)


def _nothing(result: Dict[str, Any]) -> None:
    return None


def _png(result: Dict[str, Any]) -> bytes:
    return base64.b64decode(result["base64"], validate=True)


class Methods:
    def _call(self, method: str, params: Dict[str, Any],
              convert: Callable[[Dict[str, Any]], Any], timeout: Optional[float]) -> Any:
        raise NotImplementedError

    def _send(self, method: str, params: Dict[str, Any],
              convert: Callable[[Dict[str, Any]], Any], timeout: Optional[float]) -> Any:
        return self._call(method, drop_none(params), convert, timeout)

    def request(self, method: str, params: Optional[Dict[str, Any]] = None, *,
                timeout: Optional[float] = None) -> Dict[str, Any]:
        """Any method with `params` sent as given; the result object."""
        return self._call(method, dict(params or {}), lambda result: result, timeout)

    def ping(self, *, timeout: Optional[float] = None) -> bool:
        """True when the helper is serving."""
        return self._send("ping", {}, _key("ready"), timeout)

    def accessibility_status(self, *, prompt: Optional[bool] = None,
                             timeout: Optional[float] = None) -> bool:
        """Whether the helper may use the accessibility API."""
        return self._send("accessibility_status", {"prompt": prompt}, _key("trusted"), timeout)

    def release(self, *, timeout: Optional[float] = None) -> None:
        """Gives back everything the helper holds in other applications."""
        return self._send("release", {}, _nothing, timeout)

    def begin_guard(self, *, pid: int, windowId: int, width: float, height: float,
                    timeout: Optional[float] = None) -> GuardLease:
        return self._send("begin_guard", {"pid": pid, "windowId": windowId, "width": width,
                                          "height": height}, _typed(GuardLease), timeout)

    def end_guard(self, *, token: str, timeout: Optional[float] = None) -> GuardReport:
        return self._send("end_guard", {"token": token}, _typed(GuardReport), timeout)

    def list_windows(self, *, timeout: Optional[float] = None) -> List[Window]:
        """Ordinary application windows, front to back."""
        return self._send("list_windows", {}, _windows, timeout)

    def list_apps(self, *, timeout: Optional[float] = None) -> List[App]:
        return self._send("list_apps", {}, _apps, timeout)

    def launch_app(self, *, app: str, timeout: Optional[float] = None) -> int:
        """Launches without activating; the pid."""
        return self._send("launch_app", {"app": app}, _key("pid"), timeout)

    def accessibility_tree(self, *, pid: int, windowId: int, width: float, height: float,
                           timeout: Optional[float] = None) -> List[Element]:
        return self._send("accessibility_tree", {"pid": pid, "windowId": windowId, "width": width,
                                                 "height": height}, _elements, timeout)

    def resolve_element(self, *, pid: int, windowId: int, width: float, height: float,
                        element: ElementParam,
                        timeout: Optional[float] = None) -> ResolvedElement:
        return self._send("resolve_element", {"pid": pid, "windowId": windowId, "width": width,
                                              "height": height, "element": element},
                          _typed(ResolvedElement), timeout)

    def element_action(self, *, pid: int, windowId: int, width: float, height: float,
                       operation: str, element: Optional[ElementParam] = None,
                       action: Optional[str] = None, value: Optional[str] = None,
                       direction: Optional[str] = None, pages: Optional[float] = None,
                       text: Optional[str] = None, prefix: Optional[str] = None,
                       suffix: Optional[str] = None, mode: Optional[str] = None,
                       x: Optional[float] = None, y: Optional[float] = None,
                       timeout: Optional[float] = None) -> ActionResult:
        return self._send("element_action", {
            "pid": pid, "windowId": windowId, "width": width, "height": height,
            "operation": operation, "element": element, "action": action, "value": value,
            "direction": direction, "pages": pages, "text": text, "prefix": prefix,
            "suffix": suffix, "mode": mode, "x": x, "y": y}, _typed(ActionResult), timeout)

    def window_info(self, *, windowId: int, ownerPid: Optional[int] = None,
                    timeout: Optional[float] = None) -> WindowInfo:
        return self._send("window_info", {"windowId": windowId, "ownerPid": ownerPid},
                          WindowInfo.from_result, timeout)

    def app_icon(self, *, path: str, pixels: Optional[int] = None,
                 timeout: Optional[float] = None) -> bytes:
        """The icon as PNG bytes."""
        return self._send("app_icon", {"path": path, "pixels": pixels}, _png, timeout)

    def click(self, *, pid: int, windowId: int, x: float, y: float, width: float, height: float,
              button: str, clickCount: int, element: Optional[ElementParam] = None,
              timeout: Optional[float] = None) -> ClickResult:
        return self._send("click", {"pid": pid, "windowId": windowId, "x": x, "y": y,
                                    "width": width, "height": height, "button": button,
                                    "clickCount": clickCount, "element": element},
                          _typed(ClickResult), timeout)

    def drag(self, *, pid: int, windowId: int, fromX: float, fromY: float, toX: float,
             toY: float, width: float, height: float,
             timeout: Optional[float] = None) -> InputResult:
        return self._send("drag", {"pid": pid, "windowId": windowId, "fromX": fromX,
                                   "fromY": fromY, "toX": toX, "toY": toY, "width": width,
                                   "height": height}, _typed(InputResult), timeout)

    def key(self, *, pid: int, windowId: int, x: float, y: float, width: float, height: float,
            keyName: str, keyCode: int, flags: int,
            timeout: Optional[float] = None) -> InputResult:
        return self._send("key", {"pid": pid, "windowId": windowId, "x": x, "y": y,
                                  "width": width, "height": height, "keyName": keyName,
                                  "keyCode": keyCode, "flags": flags},
                          _typed(InputResult), timeout)

    def scroll(self, *, pid: int, windowId: int, x: float, y: float, dx: int, dy: int,
               width: float, height: float, semanticFirst: Optional[bool] = None,
               direction: Optional[str] = None, pages: Optional[float] = None,
               timeout: Optional[float] = None) -> InputResult:
        return self._send("scroll", {"pid": pid, "windowId": windowId, "x": x, "y": y,
                                     "dx": dx, "dy": dy, "width": width, "height": height,
                                     "semanticFirst": semanticFirst, "direction": direction,
                                     "pages": pages}, _typed(InputResult), timeout)
