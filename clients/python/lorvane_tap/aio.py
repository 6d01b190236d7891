"""The asyncio client: the same calls as the synchronous one, as coroutines.

On Python 3.11 asyncio's Process.wait() does not return before stdout has been read to its
end, and its stream buffer stops reading at 128 KiB: so a task here reads stdout all along
(holding back like the synchronous client while capture runs), and stop() waits for it."""

from __future__ import annotations

import asyncio
from collections import deque
from typing import AsyncIterator, Deque, Iterable, List, Optional

from . import _protocol as p


class PcmReader:
    """Raw PCM: 16 kHz, mono, s16le, no header. `async for chunk in pcm`, or await read()."""

    def __init__(self) -> None:
        self._chunks: Deque[bytes] = deque()
        self._size = 0
        self._wanted: float = 0
        self._limit: float = p.PCM_HOLD_LIMIT
        self._ended = False
        self._changed = asyncio.Condition()

    async def _put(self, chunk: bytes) -> None:
        async with self._changed:
            await self._changed.wait_for(lambda: self._size < max(self._limit, self._wanted))
            self._chunks.append(chunk)
            self._size += len(chunk)
            self._changed.notify_all()

    async def _end(self) -> None:
        async with self._changed:
            self._ended = True
            self._changed.notify_all()

    async def _hold_all(self) -> None:
        async with self._changed:
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

    async def read(self, size: int = -1) -> bytes:
        """size bytes, fewer only at the end; with no size, everything up to the end."""
        async with self._changed:
            self._wanted = float("inf") if size < 0 else size
            self._changed.notify_all()
            await self._changed.wait_for(lambda: self._ended or 0 <= size <= self._size)
            self._wanted = 0
            return self._take(self._size if size < 0 else size)

    async def read1(self, size: int = -1) -> bytes:
        """What is there now, up to size bytes; waits only while nothing is. b"" at the end."""
        async with self._changed:
            await self._changed.wait_for(lambda: self._ended or self._size > 0)
            return self._take(self._size if size < 0 else size)

    async def __aiter__(self) -> AsyncIterator[bytes]:
        while True:
            chunk = await self.read1()
            if not chunk:
                return
            yield chunk


class Capture:
    """One run of audio capture; made by start_capture()."""

    def __init__(self, process: asyncio.subprocess.Process) -> None:
        self._process = process
        self._status = p.StatusLines()
        self.pcm = PcmReader()
        self.ready: "asyncio.Future[p.CaptureFormat]" = asyncio.get_running_loop().create_future()
        """Resolves with the format once the first samples are on their way; raises a
        CaptureError when setup fails. Nothing is logged if nobody awaits it."""
        self.ready.add_done_callback(lambda f: f.cancelled() or f.exception())
        self.warnings: List[str] = self._status.warnings
        """"prop error <selector> <status>" lines: setup went on with a default value."""
        self._tasks = [
            asyncio.ensure_future(self._pump()),
            asyncio.ensure_future(self._read_status()),
        ]
        self._stopping: Optional["asyncio.Future[Optional[int]]"] = None

    async def _pump(self) -> None:
        assert self._process.stdout is not None
        while True:
            chunk = await self._process.stdout.read(65536)
            if not chunk:
                break
            await self.pcm._put(chunk)
        await self.pcm._end()

    async def _read_status(self) -> None:
        assert self._process.stderr is not None
        while True:
            data = await self._process.stderr.read(4096)
            ready = self._status.feed(data) if data else self._status.finish()
            if ready is not None and not self.ready.done():
                self.ready.set_result(ready)
            if not data:
                break
        # stderr closes when the helper exits; whatever it still writes on stdout is kept.
        await self.pcm._hold_all()
        returncode = await self._process.wait()
        if not self.ready.done():
            self.ready.set_exception(self._status.failure(returncode))

    def stop(self) -> "asyncio.Future[Optional[int]]":
        """Closes the helper's stdin; resolves with its exit status (None if a signal ended it)
        once it has exited and all its PCM is in pcm, left to read. Calling it again returns the
        same future."""
        if self._stopping is None:
            self._stopping = asyncio.ensure_future(self._stop())
        return self._stopping

    async def _stop(self) -> Optional[int]:
        stdin = self._process.stdin
        assert stdin is not None
        stdin.close()
        try:
            await stdin.wait_closed()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the helper has gone already
        await self.pcm._hold_all()
        await asyncio.gather(*self._tasks)
        return p.exit_code(await self._process.wait())

    async def __aenter__(self) -> "Capture":
        return self

    async def __aexit__(self, *exc: object) -> None:
        await self.stop()


async def start_capture(
    exclude_pids: Iterable[int] = (), binary: Optional[p.PathArg] = None
) -> Capture:
    """Starts audio capture (see lorvane_tap.start_capture); await capture.ready for setup."""
    args = p.exclude_args(exclude_pids)
    file = p.find_binary(binary)
    process = await asyncio.create_subprocess_exec(
        file,
        *args,
        stdin=asyncio.subprocess.PIPE,
        stdout=asyncio.subprocess.PIPE,
        stderr=asyncio.subprocess.PIPE,
        start_new_session=True,
    )
    return Capture(process)


async def _run_once(binary: Optional[p.PathArg], args: List[str]) -> str:
    file = p.find_binary(binary)
    process = await asyncio.create_subprocess_exec(
        file,
        *args,
        stdin=asyncio.subprocess.DEVNULL,
        stdout=asyncio.subprocess.PIPE,
        stderr=asyncio.subprocess.PIPE,
    )
    stdout, stderr = await process.communicate()
    return p.check_run(args, process.returncode, stdout, stderr)


async def list_windows(binary: Optional[p.PathArg] = None) -> List[p.Window]:
    """The visible application windows, front-most first. [] means no windows or no display."""
    return p.parse_windows(await _run_once(binary, ["--windows"]))


async def read_window_text(
    exclude_pids: Iterable[int] = (),
    save: Optional[p.PathArg] = None,
    binary: Optional[p.PathArg] = None,
) -> p.WindowText:
    """See lorvane_tap.read_window_text; an error reply raises OcrError."""
    return p.parse_window_text(await _run_once(binary, p.ocr_args(exclude_pids, save)))


async def listen_access(request: bool = False, binary: Optional[p.PathArg] = None) -> p.Access:
    """"granted" or "denied": whether the helper may listen to global input."""
    return p.parse_access(await _run_once(binary, p.access_args(request)))
