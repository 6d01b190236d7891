"""Times lorvane-tap on GNOME (extension) against the X11 path (run through bench/gnome/run)."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "ocr"))
from common import timed  # noqa: E402

TAP, ROUNDS = sys.argv[1], int(sys.argv[2])
LINES = [f"Line {i + 1:02d}: the harbour log lists crates, barrels and the ferry times."
         for i in range(25)]
# Without WAYLAND_DISPLAY the helper takes the X11 path: Xwayland's windows only.
X11_ENV = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}


def window(backend, title, page):
    env = dict(os.environ, GDK_BACKEND=backend)
    return subprocess.Popen(["zenity", "--text-info", f"--title={title}", f"--filename={page}",
                             "--font=DejaVu Sans 15", "--width=1280", "--height=800"],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def listed(env=None):
    return json.loads(timed([TAP, "--windows"], env=env)[1])


def wait_for(title, env=None):
    for _ in range(300):
        if any(w["title"] == title for w in listed(env)):
            return
        time.sleep(0.1)
    sys.exit(f"window {title!r} did not show")


def median_ms(cmd, env=None):
    samples, out = [], ""
    for _ in range(ROUNDS):
        seconds, out, _ = timed(cmd, env=env)
        samples.append(seconds)
    return statistics.median(samples) * 1000, out


def main():
    with tempfile.TemporaryDirectory() as tmp:
        page = os.path.join(tmp, "page.txt")
        with open(page, "w") as f:
            f.write("\n".join(LINES) + "\n")
        procs = [window("x11", "Page on Xwayland", page)]
        wait_for("Page on Xwayland", X11_ENV)
        procs.append(window("wayland", "Page native", page))
        wait_for("Page native")
        try:
            sizes = [w for w in listed()]
            print(f"windows (extension): {json.dumps(sizes)}")
            gnome_list, _ = median_ms([TAP, "--windows"])
            x11_list, _ = median_ms([TAP, "--windows"], X11_ENV)
            print(f"--windows  GNOME (extension) {gnome_list:7.1f} ms   X11 (Xwayland) {x11_list:7.1f} ms")
            # Front-most first: the native window, then the Xwayland one.
            native_ocr, native_out = median_ms([TAP, "--ocr"])
            xw_pid = procs[0].pid
            others = [f"--exclude-pid={p.pid}" for p in procs[1:]]
            ext_ocr, ext_out = median_ms([TAP, "--ocr", *others])
            x11_ocr, x11_out = median_ms([TAP, "--ocr"], X11_ENV)
            for name, out in (("native", native_out), ("xwayland/ext", ext_out),
                              ("xwayland/x11", x11_out)):
                reply = json.loads(out)
                text = reply.get("text", "")
                print(f"  {name}: title {reply.get('title')!r}, {len(text.splitlines())} lines"
                      f"{'' if text else ', reply ' + out.strip()}")
            print(f"--ocr      native window via extension  {native_ocr:7.1f} ms")
            print(f"--ocr      Xwayland window via extension {ext_ocr:7.1f} ms   via X11 {x11_ocr:7.1f} ms")
            print(f"(the Xwayland window is pid {xw_pid}; {ROUNDS} runs each, medians)")
        finally:
            for p in procs:
                p.terminate()
                p.wait()


main()
