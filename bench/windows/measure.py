"""Times --windows against wmctrl -lpG on 100 fixture windows (run through bench/windows/run).

With a fourth argument, another lorvane-tap build (e.g. of an earlier commit) is timed in the
same alternating rounds, so that a change is measured against the same machine load."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

TAP, FIXTURE, ROUNDS = sys.argv[1], sys.argv[2], int(sys.argv[3])
OTHER = sys.argv[4] if len(sys.argv) > 4 else None
FIXTURES, PER_FIXTURE, RUNS_PER_ROUND = 4, 25, 10


def start_fixture(n, layout_dir):
    lines = []
    for i in range(PER_FIXTURE):
        lines.append(f"title=Document {n * 100 + i} / notes\tclass=App{n}\tpid={4000 + i}"
                     f"\tw={200 + i}\th={120 + i}")
    path = os.path.join(layout_dir, f"layout{n}")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    proc = subprocess.Popen([FIXTURE, path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    ready = proc.stdout.readline()
    if not ready.startswith("ready"):
        sys.exit(f"fixture not ready: {ready!r}")
    return proc


NO_DISPLAY = {k: v for k, v in os.environ.items() if k != "DISPLAY"}


def timed(cmd):
    env = None
    if cmd[0] == "no-display":
        cmd, env = cmd[1:], NO_DISPLAY
    start = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True,
                         env=env).stdout
    return time.perf_counter() - start, out


def main():
    with tempfile.TemporaryDirectory() as layout_dir:
        fixtures = [start_fixture(n, layout_dir) for n in range(FIXTURES)]
        try:
            tap_cmd, wm_cmd = [TAP, "--windows"], ["wmctrl", "-lpG"]
            _, out = timed(tap_cmd)
            listed = len(json.loads(out))
            _, out = timed(wm_cmd)
            wm_listed = len(out.splitlines())
            # The same program without a display: what starting the process costs.
            start_cmd = ["no-display", TAP, "--windows"]
            samples = {"tap": [], "wmctrl": [], "start": [], "other": []}
            for r in range(ROUNDS):
                order = [("tap", tap_cmd), ("wmctrl", wm_cmd), ("start", start_cmd)]
                if OTHER:
                    order.append(("other", [OTHER, "--windows"]))
                if r % 2:
                    order.reverse()
                for name, cmd in order:
                    for _ in range(RUNS_PER_ROUND):
                        samples[name].append(timed(cmd)[0])
        finally:
            for p in fixtures:
                p.stdin.close()
                p.wait()
    tap, wm = statistics.median(samples["tap"]), statistics.median(samples["wmctrl"])
    print(f"windows listed: lorvane-tap {listed}, wmctrl {wm_listed}")
    print(f"runs: {ROUNDS} alternating rounds of {RUNS_PER_ROUND} runs per tool")
    print(f"lorvane-tap --windows  median {tap * 1000:.1f} ms")
    print(f"wmctrl -lpG            median {wm * 1000:.1f} ms")
    start = statistics.median(samples["start"])
    print(f"  (lorvane-tap --windows without a display, i.e. process start: {start * 1000:.1f} ms)")
    print(f"ratio                  {tap / wm:.2f} (target at most 0.5)")
    if OTHER:
        other = statistics.median(samples["other"])
        print(f"{OTHER} --windows  median {other * 1000:.1f} ms "
              f"(this build {(tap - other) * 1000:+.1f} ms)")


main()
