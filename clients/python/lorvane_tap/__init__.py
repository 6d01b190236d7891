"""Run the lorvane-tap helper from Python: system audio capture less the processes you name,
the visible windows, the text of a window, and the input-listening probe. Synchronous calls
here; the same as coroutines in lorvane_tap.aio. No dependencies beyond the standard library;
the helper itself is not part of the package."""

from ._protocol import (
    BYTES_PER_SECOND,
    SAMPLE_RATE,
    Access,
    CaptureError,
    CaptureFormat,
    HelperError,
    HelperNotFoundError,
    OcrError,
    SourceFormat,
    Window,
    WindowText,
    find_binary,
)
from ._sync import Capture, PcmReader, list_windows, listen_access, read_window_text, start_capture
from .wav import WavWriter, wav_header

__version__ = "0.1.0"

__all__ = [
    "BYTES_PER_SECOND",
    "SAMPLE_RATE",
    "Access",
    "Capture",
    "CaptureError",
    "CaptureFormat",
    "HelperError",
    "HelperNotFoundError",
    "OcrError",
    "PcmReader",
    "SourceFormat",
    "Window",
    "WindowText",
    "WavWriter",
    "find_binary",
    "list_windows",
    "listen_access",
    "read_window_text",
    "start_capture",
    "wav_header",
]
