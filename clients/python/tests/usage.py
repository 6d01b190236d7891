"""Typed use of the public API, for mypy --strict only (never run): a change that breaks the
types a parent relies on fails the type check."""

import os
from typing import List, Optional

import lorvane_tap as lt
from lorvane_tap import aio


def sync_use() -> None:
    capture: lt.Capture = lt.start_capture([os.getpid()], binary="/usr/bin/lorvane-tap")
    ready: lt.CaptureFormat = capture.ready.result(timeout=5)
    source: Optional[lt.SourceFormat] = ready.source_format
    rate: float = source.rate if source else 0.0
    second: bytes = capture.pcm.read(lt.BYTES_PER_SECOND)
    chunks: List[bytes] = list(capture.pcm)
    warnings: List[str] = capture.warnings
    code: Optional[int] = capture.stop()
    with lt.WavWriter("out.wav") as wav:
        wav.write(second)
    header: bytes = lt.wav_header(len(second))
    windows: List[lt.Window] = lt.list_windows()
    text: str = lt.read_window_text(exclude_pids=[1], save="w.png").text
    access: lt.Access = lt.listen_access(request=True)
    try:
        capture.ready.result()
    except lt.CaptureError as error:
        step: Optional[str] = error.step
        status: Optional[int] = error.status
        exit_code: Optional[int] = error.exit_code
    except lt.OcrError as error:
        ocr_code: str = error.code
    print(rate, chunks, warnings, code, header, windows, text, access)


async def async_use() -> None:
    async with await aio.start_capture(exclude_pids=[os.getpid()]) as capture:
        ready: lt.CaptureFormat = await capture.ready
        first: bytes = await capture.pcm.read(32000)
        async for chunk in capture.pcm:
            first += chunk
    code: Optional[int] = await capture.stop()
    windows: List[lt.Window] = await aio.list_windows()
    text: lt.WindowText = await aio.read_window_text(save="w.png")
    access: lt.Access = await aio.listen_access()
    print(ready, code, windows, text, access)
