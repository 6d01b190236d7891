"""Measures --ocr against the tesseract command (run through bench/ocr/run)."""
import json
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from cer import cer  # noqa: E402
from common import load, timed  # noqa: E402

TAP, FIXTURE, RUNS, ONLY = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
CASES = [("light15", "1280x800, 25 lines, 15 px", 1.0), ("light12", "the same at 12 px", 2.0),
         ("dark15", "dark theme, 15 px", None), ("dense13", "dense: 42 lines, 13 px", None)]


def show(png, name):
    layout = png + ".layout"
    with open(layout, "w") as f:
        f.write(f"title={name}\tclass=Bench\tx=0\ty=0\tbackground={png}\n")
    proc = subprocess.Popen([FIXTURE, layout], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    if not proc.stdout.readline().startswith("ready"):
        sys.exit("fixture not ready")
    return proc


def main():
    rows = []
    load_before = load()
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "render.py"), tmp], check=True)
        for name, what, target in CASES:
            if ONLY and name not in ONLY:
                continue
            png, saved = os.path.join(tmp, name + ".png"), os.path.join(tmp, name + ".saved.png")
            truth = open(os.path.join(tmp, name + ".txt"), encoding="utf-8").read()
            fixture = show(png, name)
            try:
                timed([TAP, "--ocr"])  # warm the page cache
                tap_times, cli_times, tap_cpu = [], [], []
                for _ in range(RUNS):
                    t, out, err = timed([TAP, "--ocr", "--save=" + saved], tap_cpu)
                    tap_times.append(t)
                    reply = json.loads(out)
                    if "error" in reply or err:
                        sys.exit(f"{name}: {out} {err}")
                    t, cli_out, _ = timed(["tesseract", saved, "stdout"])
                    cli_times.append(t)
            finally:
                fixture.stdin.close()
                fixture.wait()
            rows.append((name, what, target, cer(truth, reply["text"]),
                         statistics.median(tap_times), statistics.median(tap_cpu),
                         cer(truth, cli_out),
                         statistics.median(cli_times)))
    print(f"runs per case: {RUNS}, interleaved; times are medians from process start to exit; "
          f"1-minute load average {load_before} before, {load()} after")
    print("| case | window | CER --ocr | target | --ocr median | --ocr CPU (user+sys) "
          "| CER tesseract (default) | tesseract median | ratio |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name, what, target, c, t, tc, cc, ct in rows:
        goal = f"≤ {target:.0f}%" if target else "–"
        print(f"| {name} | {what} | {c:.2f}% | {goal} | {t:.2f} s | {tc:.2f} s | {cc:.2f}% "
              f"| {ct:.2f} s | {t / ct:.2f} |")


main()
