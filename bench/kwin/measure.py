"""measure.py TAP ROUNDS LABEL [BARE_TAP]: times "TAP --windows" and "TAP --ocr" on an xterm and a
1280x800 GTK text window (zenity --text-info, started last so it is in front) in the session it
runs in (run through bench/kwin/run: KWin, then X11). Prints one line per mode: the median wall
time (process start to exit) and the helper's CPU time (user + system) over ROUNDS runs, the
list, and the OCR's character error rate per line (bench/ocr/cer.py --lines); with BARE_TAP, the
same for --ocr without recognition."""
import json
import resource
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

TAP, ROUNDS, LABEL = sys.argv[1], int(sys.argv[2]), sys.argv[3]
# A copy of the helper without its recognition module: its --ocr lists, captures and answers
# with the module's error, which times what the window system costs.
BARE = sys.argv[4] if len(sys.argv) > 4 else None
HERE = os.path.dirname(os.path.abspath(__file__))
LINES = [
    "Minutes of the harbour committee, third meeting of the autumn season.",
    "The ferry timetable changes on the first Monday of November.",
    "Morning crossings leave at six forty, eight ten and nine forty.",
    "Evening crossings leave at five past five and twenty to eight.",
    "Bicycles travel free of charge; cars must be booked a day ahead.",
    "Tickets bought on board cost eleven euros and fifty cents.",
    "The cafe on the lower deck closes half an hour before arrival.",
    "Lost property is kept at the harbour office for thirty days.",
    "Please report damaged life jackets to the crew at once.",
    "The next meeting is on the fourteenth at the library, room two.",
]


def listed():
    out = subprocess.run([TAP, "--windows"], stdout=subprocess.PIPE, check=True).stdout
    return json.loads(out)


CPU = []  # the helper's user + system time of each run


def timed(args, tap=TAP):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    out = subprocess.run([tap] + args, stdout=subprocess.PIPE, check=True).stdout
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    CPU.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    return elapsed, out


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24])


def main():
    with tempfile.TemporaryDirectory() as tmp:
        page = os.path.join(tmp, "page.txt")
        with open(page, "w") as f:
            f.write("\n".join(LINES) + "\n")
        procs = [subprocess.Popen(["xterm", "-geometry", "80x24", "-T", "Terminal", "-e", "sh"])]
        wait_for(1)
        procs.append(subprocess.Popen(
            ["zenity", "--text-info", "--title=Harbour minutes", "--width=1280", "--height=800",
             "--filename=" + page], stderr=subprocess.DEVNULL))
        wait_for(2)
        try:
            windows = [timed(["--windows"])[0] for _ in range(ROUNDS)]
            windows_cpu = statistics.median(CPU)
            CPU.clear()
            saved = os.path.join(tmp, "shot.png")
            ocr, reply = [], b""
            for _ in range(ROUNDS):
                t, reply = timed(["--ocr", "--save=" + saved])
                ocr.append(t)
            ocr_cpu = statistics.median(CPU)
            CPU.clear()
            bare = [timed(["--ocr"], BARE)[0] for _ in range(ROUNDS)] if BARE else []
            text = json.loads(reply).get("text", reply.decode())
            hyp = os.path.join(tmp, "hyp.txt")
            with open(hyp, "w") as f:
                f.write(text)
            cer = subprocess.run(["python3", os.path.join(HERE, "..", "ocr", "cer.py"), "--lines",
                                  page, hyp], stdout=subprocess.PIPE, text=True).stdout.strip()
            w, h = png_size(saved)
            print(f"{LABEL}: --windows median {statistics.median(windows) * 1000:.0f} ms, CPU "
                  f"{windows_cpu * 1000:.0f} ms ({[x['app'] for x in listed()]})")
            print(f"{LABEL}: --ocr median {statistics.median(ocr) * 1000:.0f} ms "
                  f"(max {max(ocr) * 1000:.0f} ms), CPU {ocr_cpu * 1000:.0f} ms, "
                  f"on {w}x{h} pixels, line CER {cer} %")
            if bare:
                print(f"{LABEL}: --ocr without recognition median "
                      f"{statistics.median(bare) * 1000:.0f} ms, CPU "
                      f"{statistics.median(CPU) * 1000:.0f} ms")
        finally:
            for p in procs:
                p.terminate()
                p.wait()


def wait_for(count):
    for _ in range(100):
        if len(listed()) >= count:
            return
        time.sleep(0.1)
    sys.exit(f"{LABEL}: {count} windows did not show up")


if __name__ == "__main__":
    main()
