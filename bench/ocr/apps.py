"""Measures --ocr on windows of real programs (run through bench/ocr/run-apps).

apps.py TAP RUNS [CASE...]: each case starts a Debian program showing the text of a file in
bench/ocr/apps/, reads its window with "lorvane-tap --ocr --save=", and scores the reply per line
(cer.line_errors: every line the window shows against the reply line that holds it best; text
that is not ours, such as a prompt or a stock button, costs nothing; a missing line counts
fully). The tesseract command reads the same saved image, interleaved in the same run.
A program that is missing or whose window does not appear stops the run with an error.
"""
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TEXTS = os.path.join(HERE, "apps")
sys.path.insert(0, HERE)
from cer import line_errors  # noqa: E402
from common import load, timed  # noqa: E402

# Shows a file in a terminal without the cursor, then waits.
SHOW = 'printf "\\033[?25l"; cat "$1"; exec sleep 86400'
TTF = ["-fa", "DejaVu Sans Mono", "-fd", "Noto Sans Mono CJK JP", "-fs", "11"]


def text(name):
    return os.path.join(TEXTS, name)


def dialog_text():
    with open(text("dialog.txt"), encoding="utf-8") as f:
        return "\n".join(f.read().splitlines()[:2])


# name: (what, text file, command given the window title)
CASES = {
    "xterm-fixed": ("xterm, default bitmap font (fixed 6x13), English", "terminal-en.txt",
                    lambda t: ["xterm", "-title", t, "-geometry", "80x11", "-e", "sh", "-c",
                               SHOW, "sh", text("terminal-en.txt")]),
    "xterm-6x10": ("xterm, bitmap font 6x10, English", "terminal-en.txt",
                   lambda t: ["xterm", "-title", t, "-fn", "6x10", "-geometry", "80x14", "-e",
                              "sh", "-c", SHOW, "sh", text("terminal-en.txt")]),
    "xterm-9x15": ("xterm, bitmap font 9x15, English", "terminal-en.txt",
                   lambda t: ["xterm", "-title", t, "-fn", "9x15", "-geometry", "80x11", "-e",
                              "sh", "-c", SHOW, "sh", text("terminal-en.txt")]),
    "xterm-ttf": ("xterm, DejaVu Sans Mono + Noto Sans Mono CJK JP 11 pt, mixed",
                  "terminal-mixed.txt",
                  lambda t: ["xterm", "-title", t, "-geometry", "80x10"] + TTF +
                  ["-e", "sh", "-c", SHOW, "sh", text("terminal-mixed.txt")]),
    "xterm-ttf-dark": ("the same in reverse video (light on black)", "terminal-mixed.txt",
                       lambda t: ["xterm", "-title", t, "-geometry", "80x10", "-rv"] + TTF +
                       ["-e", "sh", "-c", SHOW, "sh", text("terminal-mixed.txt")]),
    "xmessage": ("xmessage (Athena widgets, bitmap font), English", "message.txt",
                 lambda t: ["xmessage", "-title", t, "-geometry", "420x160", "-file",
                            text("message.txt")]),
    "zenity-text": ("zenity text view (GTK 3), Japanese, English, mixed", "notes.txt",
                    lambda t: ["zenity", "--text-info", "--title", t, "--filename",
                               text("notes.txt"), "--width", "760", "--height", "360"]),
    "zenity-dialog": ("zenity question (GTK 3): two lines and two buttons of ours", "dialog.txt",
                      lambda t: ["zenity", "--question", "--title", t, "--text", dialog_text(),
                                 "--ok-label", "Save", "--cancel-label", "Close without saving",
                                 "--width", "520", "--height", "160"]),
    "tk-form": ("Tk form, 12 px UI text: menus, labels, entries, buttons, status bar",
                "form.txt", lambda t: ["wish", text("form.tcl"), t]),
    "tk-form-11": ("the same form at 11 px", "form.txt",
                   lambda t: ["wish", text("form.tcl"), t, "11"]),
}

ENV = dict(os.environ, LC_ALL="C.UTF-8", NO_AT_BRIDGE="1")


def window_titles(tap):
    out = subprocess.run([tap, "--windows"], stdout=subprocess.PIPE, check=True).stdout
    return [w.get("title") for w in json.loads(out)]


class Program:
    """One case's program, from its start until its window is listed; stopped on exit."""

    def __init__(self, name, command, title, tap, log):
        if shutil.which(command[0]) is None:
            sys.exit(f"{name}: cannot start: {command[0]} is not installed (scripts/bootstrap)")
        with open(log, "wb") as err:  # a file, so that a chatty toolkit never blocks on a pipe
            self.proc = subprocess.Popen(command, env=ENV, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=err,
                                         start_new_session=True)
        deadline = time.monotonic() + 30
        while title not in window_titles(tap):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                with open(log, encoding="utf-8", errors="replace") as f:
                    sys.exit(f"{name}: cannot start: no window from {' '.join(command[:3])}\n"
                             f"{f.read()}")
            time.sleep(0.1)
        time.sleep(1.0)  # let the toolkit finish its first layout and paint

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
        self.proc.wait()


def run_case(tap, name, runs, tmp):
    what, truth_file, make = CASES[name]
    title = f"Bench {name}"
    with open(text(truth_file), encoding="utf-8") as f:
        truth = f.read()
    saved = os.path.join(tmp, name + ".png")
    program = Program(name, make(title), title, tap, os.path.join(tmp, name + ".log"))
    try:
        tap_times, cli_times, replies, cli_texts = [], [], [], []
        for _ in range(runs):
            t, out, err = timed([tap, "--ocr", "--save=" + saved])
            reply = json.loads(out)
            if "error" in reply or err or reply.get("title") != title:
                sys.exit(f"{name}: {out} {err}")
            tap_times.append(t)
            replies.append(reply["text"])
            t, cli_out, _ = timed(["tesseract", saved, "stdout", "-l", "jpn+eng"])
            cli_times.append(t)
            cli_texts.append(cli_out)
    finally:
        program.stop()
    # The worst reply of the runs counts (they differ only when the window's drawing does).
    scored = [line_errors(truth, reply) for reply in replies]
    worst = max(range(runs), key=lambda i: scored[i][0])
    with open(os.path.join(tmp, name + ".txt"), "w", encoding="utf-8") as f:
        f.write(replies[worst])
    errors, total = scored[worst]
    cli_errors = max(line_errors(truth, text)[0] for text in cli_texts)
    return (name, what, errors, total, statistics.median(tap_times), cli_errors,
            statistics.median(cli_times))


def main():
    tap, runs, only = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    for name in only:
        if name not in CASES:
            sys.exit(f"no case {name}; cases: {' '.join(CASES)}")
    keep = os.environ.get("BENCH_KEEP")  # a folder for the saved images and replies
    tmp = keep or tempfile.mkdtemp()
    load_before = load()
    try:
        rows = [run_case(tap, name, runs, tmp) for name in CASES if not only or name in only]
    finally:
        if not keep:
            shutil.rmtree(tmp)
    print(f"runs per case: {runs}, interleaved; times are medians from process start to exit; "
          f"errors per line, weighted by length, the worst run of each; 1-minute load average {load_before} before, "
          f"{load()} after")
    print("| case | window | chars | errors --ocr | --ocr median "
          "| errors tesseract -l jpn+eng | tesseract median |")
    print("|---|---|---|---|---|---|---|")
    all_errors = all_total = 0
    for name, what, errors, total, t, cli_errors, ct in rows:
        all_errors += errors
        all_total += total
        print(f"| {name} | {what} | {total} | {100.0 * errors / total:.2f}% | {t:.2f} s "
              f"| {100.0 * cli_errors / total:.2f}% | {ct:.2f} s |")
    print(f"| all | | {all_total} | {100.0 * all_errors / max(1, all_total):.2f}% | | | |")


main()
