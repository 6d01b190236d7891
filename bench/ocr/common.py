"""Helpers shared by the benchmark's two suites."""
import resource
import subprocess
import time


def cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmd, cpu_times=None, env=None):
    """Runs cmd to its end: (seconds from start to exit, stdout, stderr)."""
    start, cpu_start = time.perf_counter(), cpu()
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True, env=env)
    if cpu_times is not None:
        cpu_times.append(cpu() - cpu_start)
    return time.perf_counter() - start, done.stdout.decode(), done.stderr.decode()


def load():
    return open("/proc/loadavg").read().split()[0]
