"""The package as a user gets it: installed offline into a fresh virtual environment from
Debian's wheels, then the README's examples run with it."""

import os
import re
import shutil
import signal
import subprocess
import time
import unittest

import lorvane_tap as lt

from .support import CLIENT, WORK, run

# Debian's wheels (python3-setuptools-whl, python3-wheel-whl, python3-pip-whl) carry Debian's
# patches: they build for Debian's Python only.
WHEELS = "/usr/share/python-wheels"
PYTHON = "/usr/bin/python3"


def readme_examples() -> list:
    with open(os.path.join(CLIENT, "README.md")) as f:
        return re.findall(r"```python\n(.*?)```", f.read(), re.S)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        # pip builds in the source folder: build a copy, so that the work tree stays clean.
        source = os.path.join(WORK, "source")
        shutil.copytree(CLIENT, source, ignore=shutil.ignore_patterns("tests", "__pycache__"))
        venv = os.path.join(WORK, "venv")
        subprocess.run([PYTHON, "-m", "venv", venv], check=True)
        cls.python = os.path.join(venv, "bin", "python")
        pip = [cls.python, "-m", "pip", "--disable-pip-version-check"]
        install = ["install", "-q", "--no-index", "--find-links", WHEELS, source]
        subprocess.run([*pip, *install], check=True)
        shown = subprocess.run([*pip, "show", "-f", "lorvane-tap"], capture_output=True, text=True)
        cls.files = sorted(
            line.strip()
            for line in shown.stdout.splitlines()
            if line.startswith("  lorvane_tap/") and "__pycache__" not in line
        )

    def test_the_package_holds_the_modules_and_py_typed(self) -> None:
        names = ["__init__.py", "_protocol.py", "_sync.py", "aio.py", "py.typed", "wav.py"]
        self.assertEqual(self.files, [f"lorvane_tap/{name}" for name in names])

    def test_it_also_builds_without_isolation_from_debians_setuptools_and_wheel(self) -> None:
        venv = os.path.join(WORK, "system-venv")
        subprocess.run([PYTHON, "-m", "venv", "--system-site-packages", venv], check=True)
        pip = [os.path.join(venv, "bin", "pip"), "--disable-pip-version-check"]
        source = os.path.join(WORK, "source")
        subprocess.run([*pip, "install", "-q", "--no-index", "--no-build-isolation", source], check=True)
        code = "import lorvane_tap; print(lorvane_tap.__version__)"
        done = subprocess.run([os.path.join(venv, "bin", "python"), "-c", code], capture_output=True)
        self.assertEqual(done.stdout, b"0.1.0\n")

    def test_the_readme_example_records_to_wav_until_ctrl_c(self) -> None:
        folder = os.path.join(WORK, "example")
        os.mkdir(folder)
        with open(os.path.join(folder, "example.py"), "w") as f:
            f.write(readme_examples()[0])
        example = run([self.python, "example.py"], cwd=folder)
        assert example.stdout is not None
        self.assertEqual(example.stdout.readline(), b"Recording to capture.wav; Ctrl-C stops\n")
        time.sleep(0.5)
        example.send_signal(signal.SIGINT)
        out, _ = example.communicate(timeout=30)
        self.assertEqual(example.returncode, 0)
        self.assertEqual(out, b"Saved capture.wav (helper exit status 0)\n")
        with open(os.path.join(folder, "capture.wav"), "rb") as f:
            wav = f.read()
        self.assertGreater(len(wav), 44 + 8000)
        self.assertEqual(wav[:44], lt.wav_header(len(wav) - 44))

    def test_the_readme_asyncio_example_runs(self) -> None:
        done = subprocess.run(
            [self.python, "-c", readme_examples()[1]], capture_output=True, text=True, timeout=30
        )
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertRegex(done.stdout, r"^CaptureFormat\(sample_rate=16000.*\n32000 0\n$")


if __name__ == "__main__":
    unittest.main()
