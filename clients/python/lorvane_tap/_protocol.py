"""What the synchronous and the asyncio clients share: finding the helper, its arguments, its
status lines, its replies and the errors they turn into. No I/O happens here."""

from __future__ import annotations

import json
import os
import re
import signal
from dataclasses import dataclass
from typing import Iterable, List, Literal, Optional, Union, cast

SAMPLE_RATE = 16000
"""Samples per second of the PCM the helper writes (mono, signed 16-bit little-endian)."""

BYTES_PER_SECOND = SAMPLE_RATE * 2

# While capture runs, the client holds at most this much unread PCM (about 33 s) and then
# stops reading, so that a slow reader is held back by the helper's own backlog (16 MiB)
# rather than by this process's memory. From stop() on there is no limit.
PCM_HOLD_LIMIT = 1 << 20

PathArg = Union[str, "os.PathLike[str]"]
Access = Literal["granted", "denied"]


class HelperNotFoundError(FileNotFoundError):
    """The lorvane-tap executable is not where the client looked; the message says where."""


class HelperError(RuntimeError):
    """A one-shot run ended with a status other than 0 or answered with no valid reply."""


class CaptureError(Exception):
    """A failed audio setup, or a helper that ended before its first samples.

    step: "tap", "aggregate", "format", "ioproc" or "start"; None when the helper ended
    without an ERROR line. status: that step's status (a negative errno), None for "format".
    exit_code: the helper's exit status, None when a signal ended it.
    """

    def __init__(
        self,
        message: str,
        step: Optional[str] = None,
        status: Optional[int] = None,
        exit_code: Optional[int] = None,
    ) -> None:
        super().__init__(message)
        self.step = step
        self.status = status
        self.exit_code = exit_code


class OcrError(Exception):
    """An error reply of --ocr. code: "no-window", "screen-access" or "failed"; the message
    is the helper's own text."""

    def __init__(self, message: str) -> None:
        super().__init__(message)
        self.code = message if message in ("no-window", "screen-access") else "failed"


@dataclass(frozen=True)
class SourceFormat:
    """The format the helper read from the audio system ("format sr=48000.0 ch=2 flags=41")."""

    rate: float
    channels: int
    flags: int


@dataclass(frozen=True)
class CaptureFormat:
    """What READY promises: 16 kHz mono s16le from here on, and the format it came from."""

    sample_rate: int
    channels: int
    source_format: Optional[SourceFormat]


@dataclass(frozen=True)
class Window:
    app: str
    title: str


@dataclass(frozen=True)
class WindowText:
    app: str
    title: str
    text: str


def _is_executable_file(file: str) -> bool:
    return os.path.isfile(file) and os.access(file, os.X_OK)


def find_binary(binary: Optional[PathArg] = None) -> str:
    """The helper: `binary`, else LORVANE_TAP, else bin/lorvane-tap inside this package (a
    bundled copy), else lorvane-tap on PATH. A named file is used as it stands, never passed
    over for another copy."""

    def named(file: PathArg, where: str) -> str:
        full = os.path.abspath(os.fspath(file))
        if _is_executable_file(full):
            return full
        raise HelperNotFoundError(
            f"lorvane-tap not found: {where} names {full}, not an executable file"
        )

    if binary is not None:
        return named(binary, "the binary argument")
    if os.environ.get("LORVANE_TAP"):
        return named(os.environ["LORVANE_TAP"], "LORVANE_TAP")
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", "lorvane-tap")
    if _is_executable_file(bundled):
        return bundled
    path = os.environ.get("PATH", "")
    for folder in filter(None, path.split(os.pathsep)):
        file = os.path.abspath(os.path.join(folder, "lorvane-tap"))
        if _is_executable_file(file):
            return file
    raise HelperNotFoundError(
        "lorvane-tap not found: no binary argument, LORVANE_TAP is not set, no "
        f"{bundled}, and no executable lorvane-tap in PATH ({path or 'empty'})"
    )


def exclude_args(exclude_pids: Iterable[int]) -> List[str]:
    """--exclude-pid=N for each pid. The helper ignores any other form without a word, so a
    value it would not take is refused here."""
    if isinstance(exclude_pids, (str, bytes, int)):
        raise TypeError("exclude_pids must be an iterable of pids")
    args = []
    for pid in exclude_pids:
        if not isinstance(pid, int) or isinstance(pid, bool):
            raise TypeError(f"exclude_pids: {pid!r} is not an int")
        if not -(2**31) <= pid < 2**31:
            raise ValueError(f"exclude_pids: {pid} is not a 32-bit integer")
        args.append(f"--exclude-pid={pid}")
    return args


def ocr_args(exclude_pids: Iterable[int], save: Optional[PathArg]) -> List[str]:
    args = ["--ocr", *exclude_args(exclude_pids)]
    if save is not None:
        args.append(f"--save={os.fspath(save)}")
    return args


def access_args(request: bool) -> List[str]:
    return ["--listen-access", "--request"] if request else ["--listen-access"]


def end_reason(returncode: Optional[int]) -> str:
    if returncode is not None and returncode < 0:
        try:
            return f"killed by {signal.Signals(-returncode).name}"
        except ValueError:
            return f"killed by signal {-returncode}"
    return f"exit status {returncode}"


def exit_code(returncode: Optional[int]) -> Optional[int]:
    """The exit status; None when a signal ended the process."""
    return returncode if returncode is not None and returncode >= 0 else None


_FORMAT = re.compile(r"format sr=(\S+) ch=(\d+) flags=(\d+)")
_ERROR = re.compile(r"ERROR (\S+)(?: (-?\d+))?")


class StatusLines:
    """Reads the helper's stderr in whatever pieces the pipe delivers. STARTED and READY come in
    either order, and PCM may be read before READY is: the two pipes are not ordered."""

    def __init__(self) -> None:
        self._rest = b""
        self.source_format: Optional[SourceFormat] = None
        self.warnings: List[str] = []
        self.error_line: Optional[str] = None
        self.ready = False

    def feed(self, data: bytes) -> Optional[CaptureFormat]:
        """Takes the next bytes; returns the format when they complete the READY line."""
        *lines, self._rest = (self._rest + data).split(b"\n")
        return self._take(lines)

    def finish(self) -> Optional[CaptureFormat]:
        """End of file: a last line without a line feed still counts."""
        rest, self._rest = self._rest, b""
        return self._take([rest] if rest else [])

    def _take(self, lines: List[bytes]) -> Optional[CaptureFormat]:
        became_ready = None
        for raw in lines:
            line = raw.decode("utf-8", "replace")
            if line == "READY" and not self.ready:
                self.ready = True
                became_ready = CaptureFormat(SAMPLE_RATE, 1, self.source_format)
            elif m := _FORMAT.fullmatch(line):
                self.source_format = SourceFormat(float(m[1]), int(m[2]), int(m[3]))
            elif line.startswith("prop error "):
                self.warnings.append(line)
            elif line.startswith("ERROR "):
                self.error_line = line
        return became_ready

    def failure(self, returncode: Optional[int]) -> CaptureError:
        """Why capture never became ready, once the helper has ended."""
        why = end_reason(returncode)
        m = _ERROR.fullmatch(self.error_line or "")
        if m:
            status = None if m[2] is None else int(m[2])
            return CaptureError(
                f"lorvane-tap: {self.error_line} ({why})", m[1], status, exit_code(returncode)
            )
        return CaptureError(
            f"lorvane-tap ended before capture was ready ({why})",
            exit_code=exit_code(returncode),
        )


def check_run(args: List[str], returncode: Optional[int], stdout: bytes, stderr: bytes) -> str:
    """The stdout of a one-shot run that exited with status 0."""
    if returncode != 0:
        why = f"lorvane-tap {' '.join(args)} failed ({end_reason(returncode)})"
        err = stderr.decode("utf-8", "replace").strip()
        raise HelperError(f"{why}: {err}" if err else why)
    return stdout.decode("utf-8", "replace")


def _json_reply(stdout: str, mode: str) -> object:
    try:
        return json.loads(stdout)
    except ValueError:
        raise HelperError(f"lorvane-tap {mode}: not a JSON reply: {stdout!r}") from None


def parse_windows(stdout: str) -> List[Window]:
    reply = _json_reply(stdout, "--windows")
    if not isinstance(reply, list) or not all(isinstance(w, dict) for w in reply):
        raise HelperError(f"lorvane-tap --windows: not a list of windows: {stdout!r}")
    return [Window(str(w.get("app", "")), str(w.get("title", ""))) for w in reply]


def parse_window_text(stdout: str) -> WindowText:
    reply = _json_reply(stdout, "--ocr")
    if not isinstance(reply, dict):
        raise HelperError(f"lorvane-tap --ocr: not an object: {stdout!r}")
    if isinstance(reply.get("error"), str):
        raise OcrError(reply["error"])
    app, title, text = (reply.get(key) for key in ("app", "title", "text"))
    if not isinstance(app, str) or not isinstance(title, str) or not isinstance(text, str):
        raise HelperError(f"lorvane-tap --ocr: not a window's text: {stdout!r}")
    return WindowText(app, title, text)


def parse_access(stdout: str) -> Access:
    answer = stdout.strip()
    if answer not in ("granted", "denied"):
        raise HelperError(f"lorvane-tap --listen-access: unexpected answer {answer!r}")
    return cast(Access, answer)
