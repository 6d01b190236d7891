"""Window list, window text and the probe against the built helper on a private X display."""

import asyncio
import os
import subprocess
import unittest

import lorvane_tap as lt
from lorvane_tap import aio

from .support import TAP, WORK, Env, fake_helper, fixture_windows, text_png

TEXT = "Quarterly report due Friday"


class WindowsTest(unittest.TestCase):
    def test_lists_a_window_reads_its_text_and_excluding_its_owner_leaves_none(self) -> None:
        fixture = fixture_windows(f"title=notes / today\tclass=Notes\tbackground={text_png(TEXT)}\n")
        notes = lt.Window("Notes", "notes / today")
        self.assertEqual(lt.list_windows(), [notes])
        saved = os.path.join(WORK, "saved.png")
        self.assertEqual(lt.read_window_text(save=saved), lt.WindowText(notes.app, notes.title, TEXT))
        self.assertTrue(os.path.exists(saved))
        with self.assertRaises(lt.OcrError) as caught:
            lt.read_window_text(exclude_pids=[fixture.pid])
        self.assertEqual((caught.exception.code, str(caught.exception)), ("no-window", "no-window"))

        async def same_with_asyncio() -> None:
            self.assertEqual(await aio.list_windows(), [notes])
            self.assertEqual((await aio.read_window_text()).text, TEXT)
            with self.assertRaises(lt.OcrError):
                await aio.read_window_text(exclude_pids=[fixture.pid])

        asyncio.run(same_with_asyncio())

    def test_without_a_display(self) -> None:
        with Env(DISPLAY=None, WAYLAND_DISPLAY=None):
            self.assertEqual(lt.list_windows(), [])
            with self.assertRaises(lt.OcrError) as caught:
                lt.read_window_text()
            self.assertEqual(caught.exception.code, "screen-access")

    def test_listen_access_answers_as_the_helper_does(self) -> None:
        for args, request in ((["--listen-access"], False), (["--listen-access", "--request"], True)):
            answer = subprocess.run([TAP, *args], capture_output=True, text=True).stdout.strip()
            self.assertEqual(lt.listen_access(request=request), answer)
            self.assertEqual(asyncio.run(aio.listen_access(request=request)), answer)

    def test_a_failed_run_or_a_reply_that_is_not_one_raises_helper_error(self) -> None:
        with self.assertRaisesRegex(lt.HelperError, r"--windows failed \(exit status 3\): oops"):
            lt.list_windows(binary=fake_helper("echo oops >&2; exit 3\n"))
        with self.assertRaisesRegex(lt.HelperError, "not a JSON reply"):
            lt.read_window_text(binary=fake_helper("echo '{\"app\":'\n"))
        with self.assertRaisesRegex(lt.HelperError, "unexpected answer 'maybe'"):
            lt.listen_access(binary=fake_helper("echo maybe\n"))




if __name__ == "__main__":
    unittest.main()
