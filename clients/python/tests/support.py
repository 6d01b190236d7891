"""What the tests share: a private folder, sox-made files, tone measurement, fixture windows,
players that end with the test run."""

from __future__ import annotations

import atexit
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time
from typing import Dict, List, Optional

HERE = os.path.dirname(os.path.abspath(__file__))
CLIENT = os.path.dirname(HERE)
TAP = os.environ["LORVANE_TAP"]
WORK = tempfile.mkdtemp(prefix="lorvane-py-")
_children: List["subprocess.Popen[bytes]"] = []


@atexit.register
def _clean_up() -> None:
    for child in _children:
        child.kill()
        child.communicate()
    shutil.rmtree(WORK, ignore_errors=True)


def run(args: List[str], **options: object) -> "subprocess.Popen[bytes]":
    """Starts a program that is killed when the tests are done."""
    child = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, **options)  # type: ignore[call-overload]
    _children.append(child)
    return child


def tone_wav(freq: int, seconds: int = 30) -> str:
    """A stereo 48 kHz WAV of a sine at half scale, long enough to outlast a slow machine."""
    file = os.path.join(WORK, f"tone{freq}.wav")
    synth = ["synth", str(seconds), "sine", str(freq), "vol", "0.5"]
    subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", file, *synth], check=True)
    return file


def wait_for_streams(n: int) -> None:
    """Waits until n playback streams run in the PipeWire session."""
    for _ in range(100):
        objects = json.loads(subprocess.run(["pw-dump"], capture_output=True).stdout)
        running = [
            o
            for o in objects
            if (o.get("info") or {}).get("props", {}).get("media.class") == "Stream/Output/Audio"
            and o["info"].get("state") == "running"
        ]
        if len(running) >= n:
            return
        time.sleep(0.1)
    raise AssertionError(f"fewer than {n} playback streams are running")


def amplitude(pcm: bytes, freq: int) -> float:
    """Amplitude (full scale 1.0) of a whole-hertz tone over one second of 16 kHz PCM."""
    samples = memoryview(pcm).cast("h")[:16000]
    re = im = 0.0
    for i, x in enumerate(samples):
        phase = 2 * math.pi * freq * i / 16000
        re += x * math.cos(phase)
        im += x * math.sin(phase)
    return math.hypot(re, im) / 8000 / 32768


def fixture_windows(layout: str) -> "subprocess.Popen[bytes]":
    """Shows lorvane-test-windows windows (layout lines of key=value fields) and waits for them."""
    file = os.path.join(WORK, f"layout{time.monotonic_ns()}")
    with open(file, "w") as f:
        f.write(layout)
    child = run([os.environ["LORVANE_FIXTURE_WINDOWS"], file])
    assert child.stdout is not None
    line = child.stdout.readline()
    if not line.startswith(b"ready"):
        raise AssertionError(f"fixture windows not ready: {line!r}")
    return child


def text_png(text: str) -> str:
    """A white page with one line of dark text (Debian's Python has PIL; tests need not)."""
    file = os.path.join(WORK, "page.png")
    script = (
        "import sys\nfrom PIL import Image, ImageDraw, ImageFont\n"
        'img = Image.new("RGB", (640, 160), "white")\n'
        'font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 32)\n'
        'ImageDraw.Draw(img).text((40, 60), sys.argv[2], fill="black", font=font)\n'
        "img.save(sys.argv[1])\n"
    )
    subprocess.run(["/usr/bin/python3", "-c", script, file, text], check=True)
    return file


def fake_helper(script: str) -> str:
    """An executable shell script standing in for the helper."""
    file = os.path.join(WORK, f"fake{time.monotonic_ns()}")
    with open(file, "w") as f:
        f.write("#!/bin/sh\n" + script)
    os.chmod(file, 0o755)
    return file


class Env:
    """Sets environment variables (None: removed) inside a with block."""

    def __init__(self, **values: Optional[str]) -> None:
        self.values = values
        self.saved: Dict[str, Optional[str]] = {}

    def __enter__(self) -> None:
        for key, value in self.values.items():
            self.saved[key] = os.environ.get(key)
            if value is None:
                os.environ.pop(key, None)
            else:
                os.environ[key] = value

    def __exit__(self, *exc: object) -> None:
        for key, value in self.saved.items():
            if value is None:
                os.environ.pop(key, None)
            else:
                os.environ[key] = value
