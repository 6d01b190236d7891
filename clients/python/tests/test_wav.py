"""WAV header and writer against what sox writes for the same samples."""

import io
import os
import subprocess
import unittest

import lorvane_tap as lt

from .support import WORK


class WavTest(unittest.TestCase):
    def test_header_and_writer_match_sox_byte_for_byte(self) -> None:
        file = os.path.join(WORK, "noise.wav")
        args = ["-r", "16000", "-c", "1", "-n", "-b", "16", "-e", "signed-integer", file]
        subprocess.run(["sox", *args, "synth", "1001s", "whitenoise"], check=True)
        with open(file, "rb") as f:
            sox = f.read()
        self.assertEqual(lt.wav_header(2002), sox[:44])
        out = io.BytesIO()
        with lt.WavWriter(out) as wav:
            for at in range(44, len(sox), 333):  # pieces that split samples
                wav.write(sox[at : at + 333])
        self.assertEqual(out.getvalue(), sox)
        written = os.path.join(WORK, "written.wav")
        with lt.WavWriter(written) as wav:
            wav.write(sox[44:] + b"\x7f")  # a trailing half sample is dropped
        with open(written, "rb") as f:
            self.assertEqual(f.read(), sox)
        self.assertRaises(ValueError, lt.wav_header, 3)
        self.assertRaises(ValueError, lt.wav_header, 2**32)


if __name__ == "__main__":
    unittest.main()
