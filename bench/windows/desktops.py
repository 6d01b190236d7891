"""Times "lorvane-tap --windows" with 50 windows on sway against 50 on X11 (run through
bench/windows/run-desktops, inside a headless sway and an Xvfb with openbox at once): on sway,
50 floating foot windows of one foot server; on X11, 50 fixture windows of two processes.
Rounds alternate the two, so both see the same machine load; prints each median wall time."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

TAP, FIXTURE, ROUNDS = sys.argv[1], sys.argv[2], int(sys.argv[3])
WINDOWS, RUNS_PER_ROUND = 50, 10


_display, _wayland, _sock = os.environ["SWAY_ENV"].split()
SWAY = dict(os.environ, DISPLAY=_display, WAYLAND_DISPLAY=_wayland, SWAYSOCK=_sock)
X11 = dict(os.environ)


def listed(env):
    out = subprocess.run([TAP, "--windows"], stdout=subprocess.PIPE, check=True, env=env).stdout
    return len(json.loads(out))


def wait_for(count, env):
    for _ in range(600):
        if listed(env) >= count:
            return
        time.sleep(0.05)
    sys.exit(f"only {listed(env)} of {count} windows came up")


def timed(env):
    start = time.perf_counter()
    subprocess.run([TAP, "--windows"], stdout=subprocess.DEVNULL, check=True, env=env)
    return time.perf_counter() - start


def start_sway_windows():
    # Floating, so that all 50 are shown: tiled, sway would squeeze them into slivers.
    subprocess.run(["swaymsg", "for_window [app_id=bench] floating enable"], check=True, env=SWAY,
                   stdout=subprocess.DEVNULL)
    server = subprocess.Popen(["foot", "--server"], stderr=subprocess.DEVNULL, env=SWAY)
    time.sleep(0.5)
    clients = [subprocess.Popen(["footclient", "-a", "bench", "-T", f"Document {i} / notes",
                                 "sleep", "600"], stderr=subprocess.DEVNULL, env=SWAY)
               for i in range(WINDOWS)]
    return [server] + clients


def start_x11_windows(layout_dir):
    procs = []
    for n in range(2):
        path = os.path.join(layout_dir, f"layout{n}")
        with open(path, "w") as f:
            for i in range(WINDOWS // 2):
                f.write(f"title=Document {n * 100 + i} / notes\tclass=App{n}\tpid={4000 + i}"
                        f"\tw={200 + i}\th={120 + i}\n")
        proc = subprocess.Popen([FIXTURE, path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                text=True, env=X11)
        if not proc.stdout.readline().startswith("ready"):
            sys.exit("fixture not ready")
        procs.append(proc)
    return procs


def main():
    with tempfile.TemporaryDirectory() as layout_dir:
        procs = start_sway_windows() + start_x11_windows(layout_dir)
        try:
            desktops = {"sway": SWAY, "X11": X11}
            counts, samples = {}, {name: [] for name in desktops}
            for name, env in desktops.items():
                wait_for(WINDOWS, env)
                counts[name] = listed(env)
            for r in range(ROUNDS):
                for name in (desktops if r % 2 == 0 else reversed(desktops)):
                    samples[name] += [timed(desktops[name]) for _ in range(RUNS_PER_ROUND)]
        finally:
            for p in procs:
                if p.stdin:
                    p.stdin.close()
                else:
                    p.terminate()
                p.wait()
    print(f"runs: {ROUNDS} alternating rounds of {RUNS_PER_ROUND} runs per desktop")
    for name in samples:
        print(f"{name}: {counts[name]} windows listed, --windows median "
              f"{statistics.median(samples[name]) * 1000:.1f} ms")
    print(f"ratio sway / X11: {statistics.median(samples['sway']) / statistics.median(samples['X11']):.2f}")


main()
