#!/usr/bin/env python3
"""End-to-end cases against the built program.

usage: end_to_end.py [--emulator RUNNER] [--windows] [--clock LIBRARY] PROGRAM

--clock: the test library that, preloaded, freezes a Linux program's clock.
--windows: the program is Kronmark.exe, whose standard streams are in text
mode: every newline it writes goes out as CR LF, CR LF read arrives as a
newline and Ctrl-Z ends piped input.

Each case is argv and stdin bytes in, stdout bytes, stderr bytes and the exit
code out. In an expected stdout, H stands for one date-and-time header.
"""
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time

from checks import HEADER, check, run_groups, skip

PROGRAM = None
CLOCK_LIBRARY = None
PREFIX = []
WINDOWS = False
H = object()
HELP = open(os.path.join(os.path.dirname(__file__), "data", "help.txt"), "rb").read()


def text_mode(data):
    """What the program's own newlines look like on its platform."""
    return re.sub(rb"(?<!\r)\n", b"\r\n", data) if WINDOWS else data


def unknown(arg):
    return b"\nERROR: " + arg + b" is an unknown command line switch\n\n" + HELP


def pattern(pieces):
    return b"".join(HEADER if p is H else re.escape(text_mode(p)) for p in pieces)


def stamped(data, with_first=True):
    """What -i makes of data: the bytes unchanged, a header after every newline."""
    pieces = [H] if with_first else []
    for line in data.split(b"\n")[:-1]:
        pieces += [line + b"\n", H]
    return pieces + [data.rsplit(b"\n", 1)[-1]]


# argv, stdin, stdout pieces, stderr, exit code
CASES = [
    ([], b"", [], b"", 0),
    (["A", "logging", "message"], b"", [H, b"A logging message \n"], b"", 0),
    (["-s", "A", "logging"], b"", [H, b"A logging "], b"", 0),
    (["-s"], b"unread\n", [], b"", 0),
    (["abc   cd  ef"], b"", [H, b"abc   cd  ef \n"], b"", 0),
    ([""], b"", [H, b" \n"], b"", 0),
    (["a", "", "b"], b"", [H, b"a  b \n"], b"", 0),
    (["100%", "%s", "%n%d"], b"", [H, b"100% %s %n%d \n"], b"", 0),
    ([b"\xff\xfe", "two\nlines"], b"", [H, b"\xff\xfe two\nlines \n"], b"", 0),
    (["--", "-i"], b"unread\n", [H, b"-- -i \n"], b"", 0),
    (["---- sep ----"], b"", [H, b"---- sep ---- \n"], b"", 0),
    (["note", "-i", "-?"], b"unread\n", [H, b"note -i -? \n"], b"", 0),
    (["-sx", "word"], b"", [H, b"word "], b"", 0),
    (["-si"], b"unread\n", [], b"", 0),
    (["-i"], b"", [H], b"", 0),
    (["-s", "-i"], b"", [], b"", 0),
    (["-i"], b"one\ntwo\n", [H, b"one\n", H, b"two\n", H], b"", 0),
    (["-i", "-s", "space"], b"2 Dir(s) free\nnext\n",
     [H, b"space 2 Dir(s) free\n", H, b"next\n", H], b"", 0),
    (["-s", "-i"], b"first\nsecond", [b"first\n", H, b"second"], b"", 0),
    (["-i", "tag"], b"last", [H, b"tag \n", H, b"last"], b"", 0),
    (["-i5"], b"\n\n", [H, b"\n", H, b"\n", H], b"", 0),
    (["-i"], b"\x00\xff\r\n\x00 end", [H, b"\x00\xff\r\n", H, b"\x00 end"], b"", 0),
    (["-i"], b"a\r\nb\r\n", [H, b"a\r\n", H, b"b\r\n", H], b"", 0),
    (["-?"], b"", [], HELP, 2),
    (["-i", "-?", "text"], b"unread\n", [], HELP, 2),
    (["-?", "-x"], b"", [], HELP, 2),
    (["-x", "-?"], b"", [], unknown(b"-x"), 1),
    (["-"], b"", [], unknown(b"-"), 1),
    (["-S", "text"], b"", [], unknown(b"-S"), 1),
    (["-I"], b"", [], unknown(b"-I"), 1),
    (["-s", "-%s\xff", "text"], b"", [], unknown("-%s\xff".encode()), 1),
]

# Bytes that differ between the platforms' standard input.
LINUX_CASES = [
    (["-i"], b"a\x1ab\n", [H, b"a\x1ab\n", H], b"", 0),
]
WINDOWS_CASES = [
    (["-i"], b"a\x1ab\n", [H, b"a"], b"", 0),  # Ctrl-Z ends piped input
    (["-i"], b"one\r\ntwo\n", [H, b"one\r\n", H, b"two\r\n", H], b"", 0),
]


def command(args):
    return [*PREFIX, PROGRAM, *args]


def run(args, stdin=b"", **kw):
    return subprocess.run(command(args), input=stdin, capture_output=True,
                          timeout=60, **kw)


def check_run(name, result, stdout, stderr, rc):
    want = pattern(stdout)
    ok = (re.fullmatch(want, result.stdout, re.S) is not None
          and result.stderr == text_mode(stderr) and result.returncode == rc)
    check(name, ok, f"  stdout {result.stdout!r}\n  wanted {want!r}\n"
          f"  stderr {result.stderr!r}\n  wanted {stderr!r}\n"
          f"  exit   {result.returncode}, wanted {rc}")


def portable(args):
    # Outside ASCII, argument bytes pass through the Windows code page.
    return not WINDOWS or all(isinstance(a, str) and a.isascii() for a in args)


def table():
    for args, stdin, stdout, stderr, rc in CASES + (WINDOWS_CASES if WINDOWS else LINUX_CASES):
        if not portable(args):
            continue
        check_run(f"table {args!r} < {stdin!r}", run(args, stdin), stdout, stderr, rc)


def buffer_boundaries():
    # Lines that straddle the read blocks and the output buffer.
    data = b"".join(b"x" * (n * 37 % 70000) + b"\n" for n in range(60)) + b"tail"
    check_run("long lines across blocks", run(["-i"], data), stamped(data), b"", 0)
    check_run("with -s", run(["-s", "-i"], data), stamped(data, False), b"", 0)


def frozen_clock():
    # The header in full, from a clock that a preloaded test library holds
    # at one moment. The pause between the lines would show a clock that ran.
    env = dict(os.environ, TZ="UTC0", LD_PRELOAD=CLOCK_LIBRARY, FROZEN_CLOCK="1225752392")
    proc = subprocess.Popen(command(["-i", "A"]), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, env=env)
    proc.stdin.write(b"x\n")
    proc.stdin.flush()
    time.sleep(1.2)
    out = proc.communicate(b"y\n", timeout=60)[0]
    h = b"Mon Nov 03, 2008 10:46:32 PM | "
    check("frozen clock", out == h + b"A \n" + h + b"x\n" + h + b"y\n" + h,
          f"  stdout {out!r}")
    # Both ends of the range the clock is converted in, and beyond them.
    unknown = b"??? ??? ??, ???? ??:??:?? ?? | "
    for seconds, header in ((0, b"Thu Jan 01, 1970 12:00:00 AM | "),
                            (32535244799, b"Thu Jan 01, 3001 07:59:59 AM | "),
                            (32535244800, unknown),
                            (253402300800, unknown),  # year 10000
                            (-1, unknown)):
        env["FROZEN_CLOCK"] = str(seconds)
        r = subprocess.run(command(["x"]), capture_output=True, env=env, timeout=60)
        check(f"clock at {seconds}", r.stdout == header + b"x \n", f"  stdout {r.stdout!r}")


def seconds_of(header):
    m = re.match(rb"... ... .., .... (..):(..):(..) (.)M", header)
    hour = int(m[1]) % 12 + (12 if m[4] == b"P" else 0)
    return hour * 3600 + int(m[2]) * 60 + int(m[3])


def time_zone():
    # Local time follows TZ: three hours east of UTC shows three hours later.
    def at(tz):
        env = dict(os.environ, TZ=tz)
        return subprocess.run(command(["x"]), capture_output=True, env=env,
                              timeout=60).stdout[:31]
    utc, east = at("UTC0"), at("XYZ-3")
    gap = (seconds_of(east) - seconds_of(utc)) % 86400 - 3 * 3600
    check("TZ is followed", 0 <= gap <= 10, f"  {utc!r} {east!r}")


def read_until(stream, size, deadline):
    data = b""
    while len(data) < size and time.monotonic() < deadline:
        ready, _, _ = select.select([stream], [], [], deadline - time.monotonic())
        if not ready:
            break
        chunk = os.read(stream.fileno(), size - len(data))
        if not chunk:
            break
        data += chunk
    return data


def slow_input():
    proc = subprocess.Popen(command(["-s", "-i", "open"]), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    nl = text_mode(b"\n")
    # The open command-line line is out before any input arrives.
    first = read_until(proc.stdout, 36, time.monotonic() + 30)
    check("open line before input", re.fullmatch(HEADER + b"open ", first) is not None,
          f"  got {first!r}")
    proc.stdin.write(b"a\n")
    proc.stdin.flush()
    # A line reaches the reader as soon as it was read, its header after it.
    second = read_until(proc.stdout, 32 + len(nl), time.monotonic() + 30)
    check("line delivered before input ends",
          re.fullmatch(b"a" + nl + HEADER, second) is not None, f"  got {second!r}")
    time.sleep(1.5)
    proc.stdin.write(b"b\n")
    proc.stdin.close()
    rest = proc.stdout.read()
    proc.wait(timeout=30)
    check("second line", re.fullmatch(b"b" + nl + HEADER, rest) is not None,
          f"  got {rest!r}")
    if len(second) == len(rest) == 32 + len(nl):
        # The header after "a" was taken when "a" ended, the next one after
        # the pause.
        gap = (seconds_of(rest[-31:]) - seconds_of(second[-31:])) % 86400
        check("header carries the time the line before ended", 1 <= gap <= 3,
              f"  gap {gap}s between {second!r} and {rest!r}")


def trickled_input():
    # One byte per read: CR and LF of one line end in separate reads, and
    # the newline apart from the line after it.
    data = b"ab\r\ncd\n\nef\r\n\x00\xff\rx\r\n"
    proc = subprocess.Popen(command(["-i"]), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    for i in range(len(data)):
        proc.stdin.write(data[i:i + 1])
        proc.stdin.flush()
        time.sleep(0.005)
    proc.stdin.close()
    out = proc.stdout.read()
    rc = proc.wait(timeout=30)
    want = pattern(stamped(data))
    check("input one byte at a time", rc == 0 and re.fullmatch(want, out) is not None,
          f"  stdout {out!r}\n  wanted {want!r}")


def non_blocking_streams():
    # Descriptors shared with a program that made them non-blocking: the
    # copy waits for them instead of failing. Input comes slowly, and the
    # output pipe is left full for a while.
    data = b"".join(b"line %d of the log\n" % i for i in range(150_000))
    in_read, in_write = os.pipe()
    out_read, out_write = os.pipe()
    os.set_blocking(in_read, False)
    os.set_blocking(out_write, False)
    proc = subprocess.Popen(command(["-i"]), stdin=in_read, stdout=out_write,
                            stderr=subprocess.PIPE)
    os.close(in_read)
    os.close(out_write)

    def feed():
        with open(in_write, "wb") as pipe:
            try:
                for start in range(0, len(data), 500_000):
                    pipe.write(data[start:start + 500_000])
                    pipe.flush()
                    time.sleep(0.05)
            except BrokenPipeError:
                pass  # the program gave up; the check says so
    feeder = threading.Thread(target=feed)
    feeder.start()
    time.sleep(0.5)
    with open(out_read, "rb") as pipe:
        out = pipe.read()
    feeder.join()
    err = proc.stderr.read()
    rc = proc.wait(timeout=60)
    # Line by line: one pattern for the whole output would take a minute.
    header = re.compile(HEADER)
    lines, parts = data.split(b"\n"), out.split(b"\n")
    ok = len(parts) == len(lines) and all(
        header.match(part) and part[31:] == line for part, line in zip(parts, lines))
    check("non-blocking stdin and stdout", rc == 0 and err == b"" and ok,
          f"  exit {rc} stderr {err!r} stdout {len(out)} bytes")


def ctrl_z_in_file():
    # Redirected from a file, as from a pipe, Ctrl-Z ends the input.
    with tempfile.TemporaryFile() as f:
        f.write(b"one\r\nt\x1awo\r\n")
        f.seek(0)
        r = subprocess.run(command(["-i"]), stdin=f, capture_output=True, timeout=60)
    check_run("Ctrl-Z in a file", r, [H, b"one\n", H, b"t"], b"", 0)


def check_failure(name, result, stdout, what, reason):
    # Wine's runtime gives other reasons than Linux (and Windows) for some
    # failures: there only the stream is checked, not the reason's words.
    reason = re.escape(reason) if not WINDOWS else rb"[^\r\n]+"
    want_err = re.escape(text_mode(b"\nERROR: cannot " + what + b": ")) + reason + \
        re.escape(text_mode(b"\n"))
    ok = (result.returncode == 3 and re.fullmatch(want_err, result.stderr) is not None
          and (stdout is None or re.fullmatch(pattern(stdout), result.stdout) is not None))
    check(name, ok, f"  exit {result.returncode} stdout {result.stdout!r}\n"
          f"  stderr {result.stderr!r}\n  wanted {want_err!r}")


def failures_of_io():
    write, read = b"write standard output", b"read standard input"
    with open("/dev/full", "wb") as full:
        for args in (["A"], ["-i"]):
            r = subprocess.run(command(args), input=b"x\n" * 100000, stdout=full,
                               stderr=subprocess.PIPE, timeout=60)
            check_failure(f"stdout /dev/full {args}", r, None, write,
                          b"No space left on device")
    r = subprocess.run(command(["A"]), stderr=subprocess.PIPE, timeout=60,
                       preexec_fn=lambda: os.close(1))
    check_failure("stdout closed", r, None, write, b"Bad file descriptor")
    directory = os.open(os.path.dirname(os.path.abspath(__file__)), os.O_RDONLY)
    r = subprocess.run(command(["-i", "start"]), stdin=directory, capture_output=True,
                       timeout=60)
    os.close(directory)
    check_failure("stdin a directory", r, [H, b"start \n", H], read, b"Is a directory")
    r = subprocess.run(command(["-i", "start"]), capture_output=True, timeout=60,
                       preexec_fn=lambda: os.close(0))
    check_failure("stdin closed", r, [H, b"start \n", H], read, b"Bad file descriptor")


def reader_goes_away(ignore_sigpipe=False):
    proc = subprocess.Popen(command(["-i"]), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN)
                            if ignore_sigpipe else None)
    proc.stdout.read(10)
    proc.stdout.close()
    try:
        for _ in range(1000):
            proc.stdin.write(b"line\n" * 1000)
            proc.stdin.flush()
    except BrokenPipeError:
        pass
    err = proc.stderr.read()
    rc = proc.wait(timeout=30)
    if WINDOWS:  # no SIGPIPE: the failed write is reported in the system's words
        check("reader goes away", rc == 3 and re.fullmatch(
            rb"\r\nERROR: cannot write standard output: [^\r\n]*[Pp]ipe[^\r\n]*\r\n", err)
            is not None, f"  exit {rc} stderr {err!r}")
    elif ignore_sigpipe:  # as systemd starts services: the write fails instead
        check("reader goes away, SIGPIPE ignored", rc == 3 and
              err == b"\nERROR: cannot write standard output: Broken pipe\n",
              f"  exit {rc} stderr {err!r}")
    else:
        check("reader goes away: SIGPIPE", rc == -signal.SIGPIPE and err == b"",
              f"  exit {rc} stderr {err!r}")


def reader_goes_away_sigpipe_ignored():
    reader_goes_away(ignore_sigpipe=True)


def pipe_sizes():
    # Pipes count against the user's pipe budget: a stream that comes a
    # line at a time leaves them as they were; bulk input may widen them.
    import fcntl  # Linux only
    in_read, in_write = os.pipe()
    out_read, out_write = os.pipe()
    before = fcntl.fcntl(in_write, fcntl.F_GETPIPE_SZ), fcntl.fcntl(out_read, fcntl.F_GETPIPE_SZ)
    proc = subprocess.Popen(command(["-i"]), stdin=in_read, stdout=out_write)
    os.close(in_read)
    os.close(out_write)
    got = b""
    with open(out_read, "rb", buffering=0) as out:
        for i in range(3):
            os.write(in_write, b"line %d\n" % i)
            got += read_until(out, len(b"line 0\n") + 31, time.monotonic() + 30)
        during = (fcntl.fcntl(in_write, fcntl.F_GETPIPE_SZ),
                  fcntl.fcntl(out_read, fcntl.F_GETPIPE_SZ))
        os.close(in_write)
        rc = proc.wait(timeout=30)
    check("line-rate stamping keeps the pipes' sizes",
          rc == 0 and during == before and len(got) == 3 * 38,
          f"  exit {rc} sizes {before} -> {during} output {got!r}")

    out_read, out_write = os.pipe()
    with tempfile.TemporaryFile() as bulk:
        bulk.write((b"x" * 99 + b"\n") * 10_000)
        bulk.seek(0)
        proc = subprocess.Popen(command(["-i"]), stdin=bulk, stdout=out_write)
    os.close(out_write)
    with open(out_read, "rb") as pipe:
        pipe.read()
        widened = fcntl.fcntl(pipe.fileno(), fcntl.F_GETPIPE_SZ)
    rc = proc.wait(timeout=30)
    check("bulk input widens the output pipe", rc == 0 and widened == 256 * 1024,
          f"  exit {rc} size {widened}")


def main():
    global PROGRAM, WINDOWS, CLOCK_LIBRARY
    args = sys.argv[1:]
    while args and args[0].startswith("--"):
        option = args.pop(0)
        if option == "--emulator":
            PREFIX.append(args.pop(0))
        elif option == "--windows":
            WINDOWS = True
        elif option == "--clock":
            CLOCK_LIBRARY = args.pop(0)
    PROGRAM = args[0]
    groups = [table, buffer_boundaries, time_zone, trickled_input, reader_goes_away]
    if os.name == "nt":  # Kronmark.exe run directly on Windows
        skip("slow input", "reads pipes with select(), which Windows has for sockets only")
        skip("failures of I/O", "needs /dev/full and closing descriptors in the child")
    else:
        groups += [slow_input, failures_of_io]
    if not WINDOWS:
        # The preloaded clock and descriptor flags reach Linux programs only.
        groups += [frozen_clock, non_blocking_streams, pipe_sizes,
                   reader_goes_away_sigpipe_ignored]
    else:
        groups.append(ctrl_z_in_file)
    return run_groups(groups)


if __name__ == "__main__":
    sys.exit(main())
