#!/usr/bin/env python3
"""Writes a deterministic log-like input to stdout: SIZE bytes of lines of
10 to 200 bytes, one in twenty blank.

usage: make_log.py SIZE
"""
import random
import sys

WORDS = [b"INFO", b"WARN", b"ERROR", b"build", b"compiling", b"src/run_flow.cpp",
         b"linking", b"ok", b"12345", b"request", b"GET /index.html", b"200",
         b"latency=13ms", b"user=alice", b"[worker-3]", b"retrying", b"done."]


def main():
    size = int(sys.argv[1])
    rng = random.Random(2026)
    out = sys.stdout.buffer
    written = 0
    lines = []
    while written < size:
        if rng.random() < 0.05:
            line = b""
        else:
            length = rng.randint(10, 200)
            line = b""
            while len(line) < length:
                line += rng.choice(WORDS) + b" "
            line = line[:length]
        line = line[:max(0, size - written - 1)] + b"\n"
        lines.append(line)
        written += len(line)
        if len(lines) == 4096:
            out.write(b"".join(lines))
            lines = []
    out.write(b"".join(lines))


if __name__ == "__main__":
    main()
