"""Client for computer-use-helper.

    from computer_use_helper import Helper
    with Helper(scene="scenes/demo.json") as helper:
        notes = next(w for w in helper.list_windows() if w.owner == "Notes")
        helper.click(**notes.target(), x=400, y=22, button="left", clickCount=1)
"""
from .async_helper import AsyncHelper
from .errors import (HelperError, HelperExitedError, HelperTimeoutError, InvalidRequestError,
                     UnsupportedMethodError)
from .helper import Helper
from .types import (ActionResult, App, Bounds, ClickResult, Element, GuardLease, GuardReport,
                    InputResult, ResolvedElement, Window, WindowInfo)

__version__ = "0.1.0"

__all__ = [
    "ActionResult", "App", "AsyncHelper", "Bounds", "ClickResult", "Element", "GuardLease",
    "GuardReport", "Helper", "HelperError", "HelperExitedError", "HelperTimeoutError",
    "InputResult", "InvalidRequestError", "ResolvedElement", "UnsupportedMethodError", "Window",
    "WindowInfo",
]
