"""The asyncio client against the built helper in a private PipeWire session."""

import asyncio
import time
import unittest
from unittest import mock

import lorvane_tap as lt
from lorvane_tap import _protocol, aio

from .support import WORK, Env, amplitude, fake_helper, run, tone_wav, wait_for_streams


class AsyncCaptureTest(unittest.TestCase):
    def test_capture_and_a_stop_that_reads_stdout_to_its_end(self) -> None:
        async def record() -> None:
            # A small hold limit and no reader while capturing: asyncio's Process.wait() would
            # wait for stdout forever if stop() did not read it to its end.
            with mock.patch.object(_protocol, "PCM_HOLD_LIMIT", 4096):
                capture = await aio.start_capture()
            ready = await capture.ready
            self.assertEqual(ready.source_format, lt.SourceFormat(48000.0, 2, 41))
            await asyncio.sleep(3)
            self.assertEqual(await asyncio.wait_for(capture.stop(), 10), 0)
            self.assertIs(capture.stop(), capture.stop())
            chunks = [chunk async for chunk in capture.pcm]
            pcm = b"".join(chunks)
            self.assertGreater(len(pcm), 2 * lt.BYTES_PER_SECOND)
            self.assertGreater(amplitude(pcm[-32000:], 440), 0.4)

        run(["pw-play", tone_wav(440)])
        wait_for_streams(1)
        asyncio.run(record())

    def test_no_daemon_split_lines_and_reads_of_exact_sizes(self) -> None:
        async def check() -> None:
            with Env(XDG_RUNTIME_DIR=WORK, PIPEWIRE_REMOTE=None):
                capture = await aio.start_capture()
            with self.assertRaises(lt.CaptureError) as caught:
                await capture.ready
            error = caught.exception
            self.assertEqual((error.step, error.status, error.exit_code), ("tap", -112, 2))
            self.assertEqual(await capture.stop(), 2)

            fake = fake_helper(
                'printf "format sr=44100.0 ch=2 fl" >&2; sleep 0.1; printf "ags=41\\nREADY" >&2\n'
                'printf "\\001\\000\\002"; sleep 0.1; printf "\\000\\003"; exec cat >/dev/null\n'
            )
            async with await aio.start_capture(binary=fake) as capture:
                self.assertEqual(await capture.pcm.read(4), b"\x01\x00\x02\x00")
            ready = await capture.ready  # READY without a line feed counts at end of file
            self.assertEqual(ready.source_format, lt.SourceFormat(44100.0, 2, 41))
            self.assertEqual(await capture.pcm.read(), b"\x03")

        asyncio.run(check())


if __name__ == "__main__":
    unittest.main()
