"""WAV files of the capture format: 16 kHz, mono, signed 16-bit little-endian PCM."""

from __future__ import annotations

import os
import struct
from types import TracebackType
from typing import BinaryIO, Optional, Type, Union

from ._protocol import BYTES_PER_SECOND, SAMPLE_RATE

HEADER_BYTES = 44
_MAX_DATA = 0xFFFFFFFF - 36  # the RIFF size field counts 36 header bytes too


def wav_header(byte_length: int) -> bytes:
    """The 44-byte header of a PCM WAV file holding byte_length bytes (a whole number of
    samples) of the capture format."""
    if not isinstance(byte_length, int) or not 0 <= byte_length <= _MAX_DATA or byte_length % 2:
        raise ValueError(f"wav_header: {byte_length!r} bytes are no whole number of samples")
    return struct.pack(
        "<4sI8sIHHIIHH4sI",
        b"RIFF",
        36 + byte_length,
        b"WAVEfmt ",
        16,  # size of the fmt chunk
        1,  # integer PCM
        1,  # channels
        SAMPLE_RATE,
        BYTES_PER_SECOND,
        2,  # bytes per frame
        16,  # bits per sample
        b"data",
        byte_length,
    )


class WavWriter:
    """Writes PCM to a WAV file as it arrives: a header first, its sizes filled in on close().
    Give it a path, or a binary file open for writing that can seek (it is not closed)."""

    def __init__(self, file: Union[str, "os.PathLike[str]", BinaryIO]) -> None:
        if isinstance(file, (str, os.PathLike)):
            self._file: BinaryIO = open(file, "wb")
            self._owned = True
        else:
            self._file = file
            self._owned = False
        self._start = self._file.tell()
        self._file.write(wav_header(0))
        self.data_bytes = 0
        """PCM bytes written so far."""
        self.closed = False

    def write(self, pcm: bytes) -> int:
        n = self._file.write(pcm)
        self.data_bytes += n
        return n

    def close(self) -> None:
        """Fills in the header. A trailing half sample (an odd byte) is dropped."""
        if self.closed:
            return
        self.closed = True
        try:
            if self.data_bytes % 2:
                self.data_bytes -= 1
                self._file.seek(self._start + HEADER_BYTES + self.data_bytes)
                self._file.truncate()
            end = self._file.seek(0, os.SEEK_CUR)
            self._file.seek(self._start)
            self._file.write(wav_header(self.data_bytes))
            self._file.seek(end)
            self._file.flush()
        finally:
            if self._owned:
                self._file.close()

    def __enter__(self) -> "WavWriter":
        return self

    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> None:
        self.close()
