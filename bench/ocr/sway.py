"""Measures --ocr on sway (run through bench/ocr/run-sway): a native foot window and an xterm
under Xwayland, side by side, each showing bench/ocr/apps/terminal-en.txt at its default font
and made front-most in turn; error rate per line (cer.line_errors) and median end-to-end time.

sway.py TAP RUNS"""
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from cer import line_errors  # noqa: E402
from common import load, timed  # noqa: E402

TAP, RUNS = sys.argv[1], int(sys.argv[2])
PAGE = os.path.join(HERE, "apps", "terminal-en.txt")
SHOW = 'printf "\\033[?25l"; cat "$1"; printf "\\033]2;$2\\007"; exec sleep 86400'


def titled(title):
    for _ in range(300):
        tree = subprocess.run(["swaymsg", "-t", "get_tree", "-r"], stdout=subprocess.PIPE,
                              check=True).stdout.decode()
        if f'"name": "{title}"' in tree:
            return
        time.sleep(0.05)
    sys.exit(f"no window titled {title}")


def main():
    procs = [subprocess.Popen(["foot", "sh", "-c", SHOW, "sh", PAGE, "FootBench"],
                              stderr=subprocess.DEVNULL)]
    titled("FootBench")
    procs.append(subprocess.Popen(["xterm", "-e", "sh", "-c", SHOW, "sh", PAGE, "XtermBench"],
                                  stderr=subprocess.DEVNULL))
    titled("XtermBench")
    reference = open(PAGE, encoding="utf-8").read()
    try:
        for app, title in (("foot", "FootBench"), ("XTerm", "XtermBench")):
            subprocess.run(["swaymsg", f'[title="{title}"] focus'], check=True,
                           stdout=subprocess.DEVNULL)
            times, errors, chars = [], 0, 0
            for _ in range(RUNS):
                seconds, out, _ = timed([TAP, "--ocr"])
                reply = json.loads(out)
                if reply.get("app") != app:
                    sys.exit(f"read {reply} instead of {app}")
                e, n = line_errors(reference, reply["text"])
                errors, chars, times = errors + e, chars + n, times + [seconds]
            print(f"{app:6} per-line error {100 * errors / chars:5.2f}% ({errors} of {chars} "
                  f"characters over {RUNS} runs), median {statistics.median(times):.2f} s "
                  f"(load {load()})")
    finally:
        for p in procs:
            p.terminate()
            p.wait()


main()
