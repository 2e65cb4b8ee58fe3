#!/usr/bin/env python3
"""Hostile input, end to end: huge lines, floods of lines, huge command
lines, a reader that goes away, concurrent appenders.

usage: hostile.py [--sanitized] PROGRAM

--sanitized: the program carries sanitizer runtimes, whose shadow memory
makes its resident set meaningless; the memory bound is not checked.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading

from checks import HEADER, check, run_groups

PROGRAM = None
SANITIZED = False
MEMORY_BOUND_KIB = 4096
HEADER_ONLY = re.compile(HEADER)


def stream(args, produce, consume):
    """Runs the program with produce() writing its stdin on a thread and
    consume(chunk) reading its stdout; returns (exit code, peak RSS KiB).
    The peak comes from time(1): a child forked from this interpreter would
    count the interpreter's own pages."""
    peak_file = tempfile.NamedTemporaryFile("r")
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file.name, PROGRAM, *args],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def feed():
        try:
            produce(proc.stdin)
        finally:
            proc.stdin.close()
    feeder = threading.Thread(target=feed)
    feeder.start()
    while True:
        chunk = proc.stdout.read1(1 << 20)
        if not chunk:
            break
        consume(chunk)
    feeder.join()
    rc = proc.wait()
    with peak_file:
        return rc, int(peak_file.read().split()[-1])


def check_memory(name, peak):
    if not SANITIZED:
        check(f"{name}: peak RSS {peak} KiB within {MEMORY_BOUND_KIB}",
              peak <= MEMORY_BOUND_KIB)


def giant_line():
    size = 1 << 30
    seen = {"bytes": 0, "head": b"", "other": 0}

    def produce(pipe):
        block = b"x" * (1 << 20)
        for _ in range(size >> 20):
            pipe.write(block)

    def consume(chunk):
        if len(seen["head"]) < 31:
            take = 31 - len(seen["head"])
            seen["head"] += chunk[:take]
            chunk = chunk[take:]
        seen["bytes"] += len(chunk)
        seen["other"] += len(chunk) - chunk.count(b"x")

    rc, peak = stream(["-i"], produce, consume)
    check("1 GiB line: one header, then the line unchanged",
          rc == 0 and HEADER_ONLY.fullmatch(seen["head"]) is not None
          and seen["bytes"] == size and seen["other"] == 0,
          f"  exit {rc} head {seen['head']!r} bytes {seen['bytes']} other {seen['other']}")
    check_memory("1 GiB line", peak)


def flood_of_empty_lines():
    lines = 10_000_000
    seen = {"carry": b"", "headers": set(), "count": 0}

    def produce(pipe):
        block = b"\n" * (1 << 20)
        left = lines
        while left:
            n = min(left, len(block))
            pipe.write(block[:n])
            left -= n

    def consume(chunk):
        # For empty lines the output is headers separated by newlines.
        parts = (seen["carry"] + chunk).split(b"\n")
        seen["carry"] = parts.pop()
        seen["count"] += len(parts)
        seen["headers"].update(parts)

    rc, peak = stream(["-i"], produce, consume)
    seen["headers"].add(seen["carry"])
    bad = [h for h in seen["headers"] if HEADER_ONLY.fullmatch(h) is None]
    check("10 million empty lines: a header on each, and one after",
          rc == 0 and seen["count"] == lines and not bad,
          f"  exit {rc} lines {seen['count']} malformed {bad[:3]!r}")
    check_memory("10 million empty lines", peak)


def huge_command_lines():
    args = [f"arg{i}" for i in range(10_000)]
    r = subprocess.run([PROGRAM, *args], capture_output=True, timeout=60)
    want = HEADER + re.escape(" ".join(args).encode() + b" \n")
    check("10,000 arguments", r.returncode == 0 and re.fullmatch(want, r.stdout) is not None,
          f"  exit {r.returncode} stdout {r.stdout[:80]!r}...")
    # 128 KiB less its terminating NUL: the most Linux takes in one argument.
    big = "a" * (128 * 1024 - 1)
    r = subprocess.run([PROGRAM, "-s", big], capture_output=True, timeout=60)
    check("one argument of 128 KiB", r.returncode == 0 and len(r.stdout) == 31 + len(big) + 1
          and r.stdout[31:] == big.encode() + b" ", f"  exit {r.returncode}")


def reader_goes_away_from_big_input():
    with tempfile.TemporaryFile() as big:
        big.write(b"a line of log output\n" * 2_500_000)
        big.seek(0)
        stamp = subprocess.Popen([PROGRAM, "-i"], stdin=big, stdout=subprocess.PIPE)
        head = subprocess.Popen(["head", "-1"], stdin=stamp.stdout, stdout=subprocess.PIPE)
        stamp.stdout.close()
        first = head.communicate(timeout=60)[0]
        rc = stamp.wait(timeout=60)
    check("kronmark -i < big | head -1: ends by SIGPIPE",
          rc == -signal.SIGPIPE and re.fullmatch(HEADER + b"a line of log output\n", first)
          is not None, f"  exit {rc} first line {first!r}")


def concurrent_appenders():
    # Command-line lines just under the output buffer's 256 KiB, so a line
    # that left in more than one write would show torn or interleaved.
    # Linux takes at most 128 KiB in one argument: the filler is two.
    writers, lines = 8, 20
    fillers = [b"a" * 130_000, b"b" * 130_000]
    with tempfile.TemporaryDirectory() as folder:
        log = os.path.join(folder, "log.txt")
        script = (f'for i in $(seq {lines}); do "$0" "p$1" "n$i" "$2" "$3" >> {log} '
                  f'|| exit 1; done')
        procs = [subprocess.Popen(["sh", "-c", script, PROGRAM, str(p), *fillers])
                 for p in range(writers)]
        codes = [p.wait(timeout=300) for p in procs]
        content = open(log, "rb").read()
    want = {b"p%d n%d %s %s " % (p, i, *fillers) for p in range(writers)
            for i in range(1, lines + 1)}
    got = content.split(b"\n")
    tail = got.pop()
    whole = [line[31:] for line in got if HEADER_ONLY.match(line)]
    check(f"eight appenders, lines of {len(next(iter(want))) + 32} bytes: every line whole",
          codes == [0] * writers and tail == b"" and len(whole) == len(got) == len(want)
          and set(whole) == want,
          f"  exits {codes} lines {len(got)} whole {len(set(whole) & want)} of {len(want)}")


def main():
    global PROGRAM, SANITIZED
    args = sys.argv[1:]
    if args and args[0] == "--sanitized":
        SANITIZED = True
        args.pop(0)
    PROGRAM = args[0]
    return run_groups([giant_line, flood_of_empty_lines, huge_command_lines,
                       reader_goes_away_from_big_input, concurrent_appenders])


if __name__ == "__main__":
    sys.exit(main())
