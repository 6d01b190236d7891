"""The synchronous client: the helper runs as a child process, and two threads per capture
read its pipes, so nothing here blocks a GUI main loop except the calls that say so."""

from __future__ import annotations

import subprocess
import threading
from collections import deque
from concurrent.futures import Future, InvalidStateError
from types import TracebackType
from typing import Deque, Iterable, Iterator, List, Optional, Type

from . import _protocol as p


class PcmReader:
    """Raw PCM from the helper: 16 kHz, mono, signed 16-bit little-endian, no header. Iterate
    over it for chunks as they come, or read() like a file. It ends after stop(), once
    everything the helper wrote has been read."""

    def __init__(self) -> None:
        self._chunks: Deque[bytes] = deque()
        self._size = 0
        self._wanted: float = 0  # a read(n) waiting for n bytes lifts the hold limit to n
        self._limit: float = p.PCM_HOLD_LIMIT
        self._ended = False
        self._changed = threading.Condition()

    def _put(self, chunk: bytes) -> None:
        with self._changed:
            while self._size >= max(self._limit, self._wanted):
                self._changed.wait()
            self._chunks.append(chunk)
            self._size += len(chunk)
            self._changed.notify_all()

    def _end(self) -> None:
        with self._changed:
            self._ended = True
            self._changed.notify_all()

    def _hold_all(self) -> None:
        with self._changed:
            self._limit = float("inf")
            self._changed.notify_all()

    def _take(self, size: int) -> bytes:
        out = bytearray()
        while self._chunks and len(out) < size:
            chunk = self._chunks.popleft()
            need = size - len(out)
            if len(chunk) > need:
                self._chunks.appendleft(chunk[need:])
                chunk = chunk[:need]
            out += chunk
        self._size -= len(out)
        self._changed.notify_all()
        return bytes(out)

    def read(self, size: int = -1) -> bytes:
        """size bytes, fewer only at the end; with no size, everything up to the end. Blocks."""
        with self._changed:
            want = float("inf") if size < 0 else size
            while not self._ended and (size < 0 or self._size < size):
                self._wanted = max(self._wanted, want)
                self._changed.wait()
            self._wanted = 0
            return self._take(self._size if size < 0 else size)

    def read1(self, size: int = -1) -> bytes:
        """What is there now, up to size bytes; waits only while nothing is. b"" at the end."""
        with self._changed:
            while not self._ended and not self._size:
                self._changed.wait()
            return self._take(self._size if size < 0 else size)

    def __iter__(self) -> Iterator[bytes]:
        while True:
            chunk = self.read1()
            if not chunk:
                return
            yield chunk


class Capture:
    """One run of audio capture; made by start_capture()."""

    def __init__(self, process: "subprocess.Popen[bytes]") -> None:
        self._process = process
        self._status = p.StatusLines()
        self.pcm = PcmReader()
        self.ready: "Future[p.CaptureFormat]" = Future()
        """Its result is the format once the first samples are on their way; its exception a
        CaptureError when setup fails. result() blocks; add_done_callback() does not."""
        self.warnings: List[str] = self._status.warnings
        """"prop error <selector> <status>" lines: setup went on with a default value."""
        self._stop_lock = threading.Lock()
        self._stop_asked = False
        self._threads = [
            threading.Thread(target=self._pump, name="lorvane-tap pcm", daemon=True),
            threading.Thread(target=self._read_status, name="lorvane-tap status", daemon=True),
        ]
        for thread in self._threads:
            thread.start()

    def _pump(self) -> None:
        assert self._process.stdout is not None
        while True:
            chunk = self._process.stdout.read(65536)
            if not chunk:
                break
            self.pcm._put(chunk)
        self._process.stdout.close()
        self.pcm._end()

    def _read_status(self) -> None:
        assert self._process.stderr is not None
        while True:
            data = self._process.stderr.read(4096)
            ready = self._status.feed(data) if data else self._status.finish()
            if ready is not None:
                self._settle(ready)
            if not data:
                break
        self._process.stderr.close()
        # stderr closes when the helper exits; whatever it still writes on stdout is kept.
        self.pcm._hold_all()
        returncode = self._process.wait()
        if not self._status.ready:
            self._settle(self._status.failure(returncode))

    def _settle(self, outcome: object) -> None:
        try:
            if isinstance(outcome, BaseException):
                self.ready.set_exception(outcome)
            else:
                self.ready.set_result(outcome)  # type: ignore[arg-type]
        except InvalidStateError:
            pass  # the caller cancelled it

    def stop(self) -> Optional[int]:
        """Closes the helper's stdin (its signal to stop) and returns its exit status (None if
        a signal ended it) once it has exited and all its PCM is in pcm, left to read. Blocks
        for the helper's teardown (well under a second). Any thread, any time, any number of
        times."""
        with self._stop_lock:
            first, self._stop_asked = not self._stop_asked, True
        if first:
            assert self._process.stdin is not None
            try:
                self._process.stdin.close()
            except OSError:
                pass  # the helper has gone already
            self.pcm._hold_all()
        # No lock is held while waiting: a callback of ready runs on the status thread, and
        # may call stop() while another thread waits here for that thread.
        for thread in self._threads:
            if thread is not threading.current_thread():
                thread.join()
        return p.exit_code(self._process.wait())

    def __enter__(self) -> "Capture":
        return self

    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> None:
        self.stop()


def start_capture(
    exclude_pids: Iterable[int] = (), binary: Optional[p.PathArg] = None
) -> Capture:
    """Starts audio capture: the system mix less the audio of exclude_pids and their
    descendants. Your own pid is not added: pass os.getpid() to leave your app out. Returns at
    once; capture.ready tells how setup went. Raises TypeError/ValueError for bad pids and
    HelperNotFoundError when there is no helper."""
    args = p.exclude_args(exclude_pids)
    file = p.find_binary(binary)
    # stdin stays an open pipe: the helper captures until it reads end of file, which also
    # comes when this process dies. A session of its own keeps a terminal's Ctrl-C from
    # stopping it behind the caller's back.
    process = subprocess.Popen(
        [file, *args],
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        bufsize=0,
        start_new_session=True,
    )
    return Capture(process)


def _run_once(binary: Optional[p.PathArg], args: List[str]) -> str:
    file = p.find_binary(binary)
    done = subprocess.run(
        [file, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE
    )
    return p.check_run(args, done.returncode, done.stdout, done.stderr)


def list_windows(binary: Optional[p.PathArg] = None) -> List[p.Window]:
    """The visible application windows, front-most first. [] means no windows or no display."""
    return p.parse_windows(_run_once(binary, ["--windows"]))


def read_window_text(
    exclude_pids: Iterable[int] = (),
    save: Optional[p.PathArg] = None,
    binary: Optional[p.PathArg] = None,
) -> p.WindowText:
    """The text of the front-most window larger than 200 x 120 that belongs neither to this
    process nor to exclude_pids. save: also write the captured window there as PNG. An error
    reply raises OcrError."""
    return p.parse_window_text(_run_once(binary, p.ocr_args(exclude_pids, save)))


def listen_access(request: bool = False, binary: Optional[p.PathArg] = None) -> p.Access:
    """"granted" or "denied": whether the helper may listen to global input."""
    return p.parse_access(_run_once(binary, p.access_args(request)))
