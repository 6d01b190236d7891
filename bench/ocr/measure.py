"""Measures --ocr against the tesseract command (run through bench/ocr/run)."""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from cer import cer  # noqa: E402

TAP, FIXTURE, RUNS = sys.argv[1], sys.argv[2], int(sys.argv[3])
CASES = [("light15", "1280x800, 25 lines, 15 px", 1.0), ("light12", "the same at 12 px", 2.0),
         ("dark15", "dark theme, 15 px", None), ("dense13", "dense: 42 lines, 13 px", None)]


def timed(cmd):
    start = time.perf_counter()
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    return time.perf_counter() - start, done.stdout.decode(), done.stderr.decode()


def show(png, name):
    spec = png + ".spec"
    with open(spec, "w") as f:
        f.write(f"title={name}\tclass=Bench\tx=0\ty=0\tbackground={png}\n")
    proc = subprocess.Popen([FIXTURE, spec], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    if not proc.stdout.readline().startswith("ready"):
        sys.exit("fixture not ready")
    return proc


def main():
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "render.py"), tmp], check=True)
        for name, what, target in CASES:
            png, saved = os.path.join(tmp, name + ".png"), os.path.join(tmp, name + ".saved.png")
            truth = open(os.path.join(tmp, name + ".txt"), encoding="utf-8").read()
            fixture = show(png, name)
            try:
                timed([TAP, "--ocr"])  # warm the page cache
                tap_times, cli_times = [], []
                for _ in range(RUNS):
                    t, out, err = timed([TAP, "--ocr", "--save=" + saved])
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
                         statistics.median(tap_times), cer(truth, cli_out),
                         statistics.median(cli_times)))
    print(f"runs per case: {RUNS}, interleaved; times are medians from process start to exit")
    print("| case | window | CER --ocr | target | --ocr median | CER tesseract (default) "
          "| tesseract median | ratio |")
    print("|---|---|---|---|---|---|---|---|")
    for name, what, target, c, t, cc, ct in rows:
        goal = f"≤ {target:.0f}%" if target else "–"
        print(f"| {name} | {what} | {c:.2f}% | {goal} | {t:.2f} s | {cc:.2f}% | {ct:.2f} s "
              f"| {t / ct:.2f} |")


main()
