"""Typed results. Field names are the protocol's keys (docs/protocol.md)."""
from dataclasses import asdict, dataclass, fields
from typing import Any, Dict, Optional, Tuple, Type, TypeVar

T = TypeVar("T")


def from_result(cls: Type[T], data: Dict[str, Any]) -> T:
    """Builds `cls` from a result object; keys the class does not know are
    left out, so a newer helper's additions do not break an older client."""
    values = {}
    for field in fields(cls):
        if field.name in data:
            value = data[field.name]
            values[field.name] = tuple(value) if isinstance(value, list) else value
    return cls(**values)


@dataclass(frozen=True)
class Window:
    """A list_windows row: front to back, zOrder 0 first."""
    windowId: int
    pid: int
    owner: str
    bundleId: str
    title: str
    x: float
    y: float
    width: float
    height: float
    focused: bool
    onScreen: bool
    zOrder: int

    def target(self) -> Dict[str, Any]:
        """The parameters that name this window as observed: pid, windowId,
        width and height, for methods that act on a window."""
        return {"pid": self.pid, "windowId": self.windowId,
                "width": self.width, "height": self.height}


@dataclass(frozen=True)
class App:
    """A list_apps row."""
    name: str
    pid: int
    isActive: bool
    isFinishedLaunching: bool
    bundleId: Optional[str] = None
    path: Optional[str] = None


@dataclass(frozen=True)
class Element:
    """An accessibility_tree row. Pass it as `element` to resolve_element,
    element_action or click."""
    index: int
    depth: int
    role: str
    subrole: str
    title: str
    description: str
    help: str
    placeholder: str
    value: str
    identifier: str
    actions: Tuple[str, ...]
    path: Tuple[int, ...]
    busy: bool
    focused: bool
    enabled: bool
    selectable: bool
    valueSettable: bool
    selected: Optional[bool] = None
    x: Optional[float] = None
    y: Optional[float] = None
    width: Optional[float] = None
    height: Optional[float] = None

    def as_params(self) -> Dict[str, Any]:
        """The row as the protocol sends it (absent keys left out)."""
        return {key: list(value) if isinstance(value, tuple) else value
                for key, value in asdict(self).items() if value is not None}


@dataclass(frozen=True)
class ResolvedElement:
    """resolve_element: the element's centre relative to the window, and the
    window's frame."""
    targetX: float
    targetY: float
    windowX: float
    windowY: float
    windowWidth: float
    windowHeight: float


@dataclass(frozen=True)
class ActionResult:
    """element_action: delivery is "verified"; insert_text adds the field's
    complete new value."""
    delivery: str
    value: Optional[str] = None


@dataclass(frozen=True)
class ClickResult:
    """click. focusedX/focusedY: the centre of the editable field that holds
    keyboard focus afterwards, when there is one."""
    sentClickCount: int
    delivery: str
    eventPostedAtMs: int
    targetX: float
    targetY: float
    windowX: float
    windowY: float
    windowWidth: float
    windowHeight: float
    focusedX: Optional[float] = None
    focusedY: Optional[float] = None


@dataclass(frozen=True)
class InputResult:
    """drag, key and scroll. semantic: the scroll was an accessibility page
    scroll; selectedAll: the key was a select-all done through
    accessibility."""
    delivery: str
    semantic: bool = False
    selectedAll: bool = False


@dataclass(frozen=True)
class GuardLease:
    """begin_guard: pass token to end_guard."""
    token: str
    targetPID: int
    targetWindowID: int
    foregroundPID: int
    foregroundWindowID: int
    expiresInMs: int


@dataclass(frozen=True)
class GuardReport:
    """end_guard: what happened while the lease was held."""
    foregroundPreserved: bool
    userIntervened: bool
    targetIsForeground: bool
    guardHealthy: bool
    foregroundPID: int
    foregroundWindowID: int
    targetPID: int
    targetWindowID: int


@dataclass(frozen=True)
class Bounds:
    x: float
    y: float
    width: float
    height: float


@dataclass(frozen=True)
class WindowInfo:
    """window_info. terminal: the window id now belongs to another process."""
    visible: bool
    ownerPid: Optional[int] = None
    terminal: bool = False
    bounds: Optional[Bounds] = None

    @classmethod
    def from_result(cls, data: Dict[str, Any]) -> "WindowInfo":
        info = from_result(cls, data)
        if isinstance(data.get("bounds"), dict):
            info = cls(info.visible, info.ownerPid, info.terminal,
                       from_result(Bounds, data["bounds"]))
        return info
