"""Shared by the client's tests: the demo scene, small test scenes, and the
recording of every response for the schema check."""
import atexit
import itertools
import json
import os
import pathlib
import tempfile
from typing import Any, Dict

from computer_use_helper import AsyncHelper, Helper

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[3]
DEMO_SCENE = str(SOURCE_DIR / "scenes" / "demo.json")

# The Notes window of the demo desktop.
NOTES = {"pid": 502, "windowId": 201, "width": 900, "height": 640}

_files = itertools.count()


class Recorder:
    """Writes {"method", "params", "response"} lines to $CUH_RESPONSE_DIR
    (when set) for tests/schema/validate_responses.py."""

    def __init__(self) -> None:
        folder = os.environ.get("CUH_RESPONSE_DIR")
        self._path = None
        if folder:
            os.makedirs(folder, exist_ok=True)
            self._path = os.path.join(folder, f"python-{os.getpid()}-{next(_files)}.jsonl")

    def __call__(self, method: str, params: Dict[str, Any], response: Dict[str, Any]) -> None:
        if self._path is not None:
            with open(self._path, "a", encoding="utf-8") as log:
                log.write(json.dumps({"method": method, "params": params,
                                      "response": response}) + "\n")


def helper(scene: str = DEMO_SCENE, **options: Any) -> Helper:
    return Helper(scene=scene, on_response=Recorder(), **options)


def async_helper(scene: str = DEMO_SCENE, **options: Any) -> AsyncHelper:
    return AsyncHelper(scene=scene, on_response=Recorder(), **options)


def scene_file(scene: Dict[str, Any]) -> str:
    """A scene written to a temporary file (removed at exit)."""
    handle = tempfile.NamedTemporaryFile("w", suffix=".json", delete=False)
    with handle:
        json.dump(scene, handle)
    atexit.register(os.unlink, handle.name)
    return handle.name


def slow_launch_scene(delay_ms: int) -> str:
    """The demo desktop whose Calculator takes `delay_ms` to launch: a
    request that stays in flight as long as the test needs."""
    scene = json.loads(pathlib.Path(DEMO_SCENE).read_text())
    scene["launchable"][0]["delayMs"] = delay_ms
    return scene_file(scene)
