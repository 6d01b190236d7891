"""Audio capture with the synchronous client, against the built helper in a private PipeWire
session (tests/with-pipewire), and against fake helpers for what the real one cannot be made
to do on demand."""

import os
import subprocess
import sys
import time
import unittest
from unittest import mock

import lorvane_tap as lt
from lorvane_tap import _protocol

from .support import TAP, WORK, Env, amplitude, fake_helper, run, tone_wav, wait_for_streams


class CaptureTest(unittest.TestCase):
    def test_keeps_the_mix_less_an_excluded_process_tree_and_stop_loses_nothing(self) -> None:
        run(["pw-play", tone_wav(440)])
        # The shell stays the player's parent: excluding the shell leaves its player out too.
        shell = run(["sh", "-c", 'trap "kill $!" TERM; pw-play "$0" & wait', tone_wav(1000)])
        wait_for_streams(2)
        # A small hold limit: nothing is read while capturing, so the client stops reading
        # and the helper keeps the rest; stop() must still bring every byte.
        with mock.patch.object(_protocol, "PCM_HOLD_LIMIT", 4096):
            capture = lt.start_capture(exclude_pids=[shell.pid])
        source = lt.SourceFormat(48000.0, 2, 41)
        self.assertEqual(capture.ready.result(10), lt.CaptureFormat(16000, 1, source))
        time.sleep(4)
        self.assertEqual(capture.stop(), 0)
        self.assertEqual(capture.stop(), 0)
        pcm = capture.pcm.read()
        # Far more than the hold limit and a pipe's 64 KiB: 4 s were captured.
        self.assertGreater(len(pcm), 3 * lt.BYTES_PER_SECOND)
        last = pcm[-32000:]
        # The tone plays at 0.5; a player starved on a busy machine may leave a short gap.
        self.assertGreater(amplitude(last, 440), 0.25)
        self.assertLess(amplitude(last, 1000), 1e-3)
        self.assertEqual(capture.pcm.read(), b"")
        self.assertEqual(capture.warnings, [])

    def test_no_daemon_fails_at_the_tap_step_and_stop_still_answers(self) -> None:
        with Env(XDG_RUNTIME_DIR=WORK, PIPEWIRE_REMOTE=None):  # no PipeWire socket in there
            capture = lt.start_capture()
        with self.assertRaises(lt.CaptureError) as caught:
            capture.ready.result(10)
        error = caught.exception
        self.assertEqual((error.step, error.status, error.exit_code), ("tap", -112, 2))
        self.assertEqual(str(error), "lorvane-tap: ERROR tap -112 (exit status 2)")
        self.assertEqual(capture.stop(), 2)

    def test_status_lines_split_across_reads_warnings_and_started_after_ready(self) -> None:
        # The real helper writes each status line at once; a pipe may still split it.
        fake = fake_helper(
            'printf "prop error 1735159650 -2\\nformat sr=44100.0 ch=2 flags=41\\nREA" >&2\n'
            'sleep 0.1; printf "DY\\nSTA" >&2; printf "\\001\\000"; sleep 0.1\n'
            'printf "RTED\\n" >&2; exec cat >/dev/null\n'
        )
        with lt.start_capture(binary=fake) as capture:
            ready = capture.ready.result(10)
            self.assertEqual(ready.source_format, lt.SourceFormat(44100.0, 2, 41))
            self.assertEqual(capture.warnings, ["prop error 1735159650 -2"])
            self.assertEqual(capture.pcm.read(2), b"\x01\x00")
        self.assertEqual(capture.stop(), 0)  # the fake, like the helper, ends with its stdin

    def test_an_end_without_error_line_and_a_kill_are_capture_errors(self) -> None:
        capture = lt.start_capture(binary=fake_helper("sleep 0.2; exit 0\n"))
        # ready's callbacks run on the client's status thread; stopping from there is fine.
        codes = []
        capture.ready.add_done_callback(lambda _: codes.append(capture.stop()))
        with self.assertRaises(lt.CaptureError) as caught:
            capture.ready.result(10)
        self.assertEqual((caught.exception.step, caught.exception.exit_code), (None, 0))
        self.assertEqual(capture.stop(), 0)
        self.assertEqual(codes, [0])
        capture = lt.start_capture(binary=fake_helper('echo "ERROR format" >&2; kill -9 $$\n'))
        with self.assertRaises(lt.CaptureError) as caught:
            capture.ready.result(10)
        error = caught.exception
        self.assertEqual((error.step, error.status, error.exit_code), ("format", None, None))
        self.assertIn("killed by SIGKILL", str(error))
        self.assertIsNone(capture.stop())

    def test_bad_pids_raise_and_a_missing_helper_names_what_was_tried(self) -> None:
        self.assertRaises(ValueError, lt.start_capture, [2**31])
        self.assertRaises(TypeError, lt.start_capture, ["12"])
        self.assertRaises(TypeError, lt.start_capture, 12)
        with self.assertRaisesRegex(lt.HelperNotFoundError, "binary argument names /nonexist"):
            lt.start_capture(binary="/nonexistent/lorvane-tap")
        with Env(LORVANE_TAP=None, PATH=WORK):
            with self.assertRaisesRegex(lt.HelperNotFoundError, f"not set.*PATH \\({WORK}\\)"):
                lt.list_windows()
        with Env(LORVANE_TAP=None, PATH=os.path.dirname(TAP)):
            self.assertEqual(lt.find_binary(), os.path.realpath(TAP))

    def test_the_helper_ends_when_its_parent_is_killed(self) -> None:
        script = (
            "import lorvane_tap, time\n"
            "capture = lorvane_tap.start_capture()\n"
            "capture.ready.result(10)\n"
            "print(capture._process.pid, flush=True)\n"
            "time.sleep(60)\n"
        )
        parent = run([sys.executable, "-c", script])
        assert parent.stdout is not None
        helper = int(parent.stdout.readline())
        parent.kill()
        parent.wait()
        for _ in range(100):
            if not _running(helper):
                break
            time.sleep(0.05)
        self.assertFalse(_running(helper), "the helper outlived its parent")


def _running(pid: int) -> bool:
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


if __name__ == "__main__":
    unittest.main()
