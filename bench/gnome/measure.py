"""Times lorvane-tap --windows and --ocr on the same text windows (run through bench/gnome/run).

MODE gnome: inside GNOME Shell with our extension, a native GTK window and an Xwayland one.
MODE x11: on Xvfb with openbox, the same GTK window as an X11 client."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "ocr"))
from common import load, timed  # noqa: E402

TAP, ROUNDS, MODE, SAVE = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
LINES = [f"Line {i + 1:02d}: the harbour log lists crates, barrels and the ferry times."
         for i in range(25)]
HERE = os.path.dirname(os.path.abspath(__file__))


def window(backend, title, page):
    env = dict(os.environ, GDK_BACKEND=backend)
    return subprocess.Popen(["zenity", "--text-info", f"--title={title}", f"--filename={page}",
                             "--font=DejaVu Sans 15", "--width=1280", "--height=800"],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for(title):
    for _ in range(300):
        if any(w["title"] == title for w in json.loads(timed([TAP, "--windows"])[1])):
            return
        time.sleep(0.1)
    sys.exit(f"window {title!r} did not show")


def median_ms(cmd, cpu=None):
    samples, out = [], ""
    for _ in range(ROUNDS):
        seconds, out, _ = timed(cmd, cpu)
        samples.append(seconds)
    return statistics.median(samples) * 1000, out


def report(name, cmd, page):
    cpu = []
    ms, out = median_ms(cmd, cpu)
    timed(cmd + [f"--save={SAVE}/{name}.png"])
    reply = json.loads(out)
    read = os.path.join(SAVE, name + ".txt")
    with open(read, "w") as f:
        f.write(reply.get("text", "") + "\n")
    rate = subprocess.check_output([os.path.join(HERE, "..", "ocr", "cer.py"), "--lines", page,
                                    read]).decode().strip()
    print(f"--ocr {name:22s} {ms:7.1f} ms (CPU {statistics.median(cpu) * 1000:6.1f} ms)"
          f"   per-line error {rate} %   title "
          f"{reply.get('title')!r}{'' if 'text' in reply else ' ' + out.strip()}")


def main():
    with tempfile.TemporaryDirectory() as tmp:
        page = os.path.join(tmp, "page.txt")
        with open(page, "w") as f:
            f.write("\n".join(LINES) + "\n")
        procs = []
        try:
            print(f"{MODE}: load {load()}, {ROUNDS} runs each, medians")
            if MODE == "gnome":
                procs.append(window("x11", "Page on Xwayland", page))
                wait_for("Page on Xwayland")
                procs.append(window("wayland", "Page native", page))
                wait_for("Page native")
            else:
                procs.append(window("x11", "Page on X11", page))
                wait_for("Page on X11")
            ms, out = median_ms([TAP, "--windows"])
            print(f"--windows {ms:7.1f} ms: {out.strip()}")
            if MODE == "gnome":
                for title in ("Page native", "Page on Xwayland"):
                    size, capture = subprocess.check_output(
                        ["gjs", os.path.join(HERE, "capture.js"), title]).decode().split()
                    print(f"  extension CaptureWindow alone, {title}: {size}, {capture} ms")
                report("native (extension)", [TAP, "--ocr"], page)
                report("Xwayland (extension)", [TAP, "--ocr", f"--exclude-pid={procs[1].pid}"],
                       page)
            else:
                report("X11", [TAP, "--ocr"], page)
        finally:
            for p in procs:
                p.terminate()
                p.wait()


main()
