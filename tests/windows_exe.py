#!/usr/bin/env python3
"""Kronmark.exe as Windows starts it: raw UTF-16 command lines as a user
typed them, exit codes as CreateProcess's caller sees them, the console, a
batch file, and the image.

usage: windows_exe.py [--emulator RUNNER] KRONMARK.EXE LAUNCH_RAW.EXE

Without an emulator the programs run directly, as on Windows itself.
"""
import os
import re
import select
import struct
import subprocess
import sys
import tempfile

from checks import HEADER, check, run_groups, skip

PREFIX = []
PROGRAM = LAUNCHER = None


def windows_path(path):
    if not PREFIX:
        return os.path.abspath(path)
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def launcher_command(command_line):
    """The launcher's command that starts Kronmark.exe with this raw command
    line (UTF-8 here, UTF-16 for CreateProcessW), and the file to delete."""
    with tempfile.NamedTemporaryFile("wb", suffix=".txt", delete=False) as f:
        f.write(b"Kronmark " + command_line)
    return [*PREFIX, LAUNCHER, windows_path(PROGRAM), windows_path(f.name)], f.name


def launch(command_line, stdout=subprocess.PIPE, stdin=b""):
    """Runs Kronmark.exe with this raw command line (after the program name)."""
    command, line_file = launcher_command(command_line)
    try:
        return subprocess.run(command, input=stdin, stdout=stdout,
                              stderr=subprocess.PIPE, timeout=60)
    finally:
        os.unlink(line_file)


# Raw command line -> the echoed text (before the newline), from the notes at
# the end of the help screen and the runtime's quoting rules.
COMMAND_LINES = [
    (rb'\ \\ \\\ \" \\" \\\"', rb'\ \\ \\\ " \ \" '),
    (b"abc   cd  ef", b"abc cd ef "),
    (b'"abc   cd  ef"', b"abc   cd  ef "),
    (b'""', b" "),
    (b'a "" b', b"a  b "),
    (b'"a ""b"" c" d', b'a "b" c d '),  # msvcrt.dll would give a "b c d
    (b"*.log *", b"*.log * "),
    (b'%NotAnEV% % "dbl   quoted string"', b"%NotAnEV% % dbl   quoted string "),
    (b"\tx\t\ty", b"x y "),
    (b'-s -i "" word', b" word "),  # -s: no newline; -i reads nothing here
    (b"a" * 32757, b"a" * 32757 + b" "),  # the longest line CreateProcess takes
    (b"a " * 16378 + b"b", b"a " * 16378 + b"b "),  # the most arguments it can hold
]


def raw_command_lines():
    for line, text in COMMAND_LINES:
        r = launch(line)
        newline = b"" if line.startswith(b"-s") else b"\r\n"
        want = HEADER + re.escape(text + newline)
        check(f"command line {line[:60]!r}", r.returncode == 0 and
              re.fullmatch(want, r.stdout) is not None and r.stderr == b"",
              f"  exit {r.returncode} stdout {r.stdout!r}\n  wanted {want!r}")


# Look-alikes of dashes, quotes and blanks are text, never switches: standard
# input stays unread. Files and pipes get the ANSI code page (1252 here),
# with "?" for what it lacks.
UNICODE_LINES = [
    ("\uff0di hello", b"?i hello "),  # fullwidth minus
    ("\u2010x tail", b"?x tail "),  # hyphen
    ("\u2212s -i", b"?s -i "),  # minus sign
    ("\uff02a b\uff02", b"?a b? "),  # fullwidth quotes
    ("a\u3000b", b"a?b "),  # ideographic space
    ("\u041f\u0440\u0438\u0432\u0435\u0442 M\u00fcller \u65e5\u672c \u20ac",
     b"?????? M\xfcller ?? \x80 "),
]


def unicode_command_lines():
    for line, text in UNICODE_LINES:
        r = launch(line.encode(), stdin=b"unread\n")
        want = HEADER + re.escape(text + b"\r\n")
        check(f"command line {line!r} to a pipe", r.returncode == 0 and
              re.fullmatch(want, r.stdout) is not None and r.stderr == b"",
              f"  exit {r.returncode} stdout {r.stdout!r}\n  wanted {want!r}")
    r = launch("-\u0416".encode())
    check("unknown switch -\u0416 named in the code page", r.returncode == 1 and
          r.stdout == b"" and r.stderr.startswith(b"\r\nERROR: -? is an unknown command"),
          f"  exit {r.returncode} stderr {r.stderr[:80]!r}")


def on_console(command_line, stdin=b""):
    """Runs Kronmark.exe with stdout and stderr on a pseudo-terminal, where
    Wine gives it a console; returns the exit code and what the terminal
    shows, as text without control sequences."""
    import pty  # Unix only
    command, line_file = launcher_command(command_line)
    master, slave = pty.openpty()
    try:
        proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=slave, stderr=slave)
        os.close(slave)
        proc.stdin.write(stdin)
        proc.stdin.close()
        shown = b""
        while select.select([master], [], [], 30)[0]:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal is gone: all was read
                break
            if not chunk:
                break
            shown += chunk
        rc = proc.wait(timeout=60)
    finally:
        os.close(master)
        os.unlink(line_file)
    # Wine draws some blanks as cursor moves.
    shown = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m[1] or 1), shown)
    shown = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", shown).replace(b"\r", b"")
    return rc, shown.decode("utf-8", "replace")


def console():
    if not PREFIX or not hasattr(os, "openpty"):
        skip("console", "needs Wine on a Unix pseudo-terminal to read what a console shows")
        return
    typed = "\u041f\u0440\u0438\u0432\u0435\u0442 M\u00fcller \u65e5\u672c \u20ac"
    rc, shown = on_console(typed.encode())
    check("console shows the command line as typed",
          rc == 0 and re.fullmatch(HEADER.decode() + re.escape(typed) + r" *\n", shown),
          f"  exit {rc} shown {shown!r}")
    rc, shown = on_console("-\u0416 text".encode())
    check("console shows the unknown switch as typed",
          rc == 1 and shown.startswith("\nERROR: -\u0416 is an unknown command line switch\n"),
          f"  exit {rc} shown {shown[:80]!r}")
    # Input bytes are in the console's code page (437 here): shown decoded.
    rc, shown = on_console(b"-i", stdin=b"M\x81ller\n")
    check("console shows input in its code page",
          rc == 0 and re.fullmatch(HEADER.decode() + r"M\u00fcller\n" + HEADER.decode().rstrip() + " ?",
                                   shown), f"  exit {rc} shown {shown!r}")


def exit_codes():
    for line, rc in ((b"A", 0), (b"-x", 1), (b"-?", 2)):
        r = launch(line)
        check(f"exit code of {line!r}", r.returncode == rc, f"  got {r.returncode}")
    if not os.path.exists("/dev/full"):
        skip("exit code after a failed write", "needs /dev/full")
        return
    with open("/dev/full", "wb") as full:
        r = launch(b"A", stdout=full)
    check("exit code after a failed write", r.returncode == 3,
          f"  got {r.returncode} stderr {r.stderr!r}")


def batch_file():
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "log.cmd")
        with open(script, "wb") as f:
            f.write(b"\r\n".join([
                b"@echo off",
                b"set KM=" + windows_path(PROGRAM).encode(),
                b"set WHAT=backup",
                b"%KM% Started %WHAT% >> log.txt",
                b"if errorlevel 1 echo failed",
                b"%KM% -s Done: >> log.txt",
                b"%KM% -q 2> nul >> log.txt",
                b"if errorlevel 1 echo bad switch",
                b"%KM% -? 2> nul",
                b"if errorlevel 2 echo help shown",
                # A stamped run, its open header ended as the README shows.
                b"echo one| %KM% -i >> log.txt",
                b"echo.>> log.txt",
                b"%KM% After >> log.txt",
                b""]))
        r = subprocess.run([*PREFIX, "cmd", "/c", "log.cmd"], cwd=folder,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        with open(os.path.join(folder, "log.txt"), "rb") as f:
            log = f.read()
    check("batch file: errorlevel", r.stdout == b"bad switch\r\nhelp shown\r\n",
          f"  stdout {r.stdout!r} stderr {r.stderr!r}")
    want = (HEADER + b"Started backup \r\n" + HEADER + b"Done: " + HEADER + b"one\r\n" +
            HEADER + b"\r\n" + HEADER + b"After \r\n")
    check("batch file: log", re.fullmatch(want, log) is not None, f"  log {log!r}")


def pe_image():
    image = open(PROGRAM, "rb").read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<2xH12xH", image, pe + 4)
    optional = pe + 24
    check("PE32+ image", struct.unpack_from("<H", image, optional)[0] == 0x20B)
    subsystem = struct.unpack_from("<H", image, optional + 68)[0]
    check("console subsystem", subsystem == 3, f"  subsystem {subsystem}")

    table = []
    for i in range(sections):
        name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", image,
                                                         optional + optional_size + 40 * i)
        table.append((va, max(vsize, rsize), raw))

    def at(rva):
        for va, size, raw in table:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"rva {rva:#x} in no section")

    def directory(index):
        return struct.unpack_from("<II", image, optional + 112 + 8 * index)

    # Imports: only DLLs that Windows ships.
    dlls = []
    entry = at(directory(1)[0])
    while struct.unpack_from("<I", image, entry + 12)[0]:
        name = at(struct.unpack_from("<I", image, entry + 12)[0])
        dlls.append(image[name:image.index(b"\0", name)].decode().lower())
        entry += 20
    check("imports only system DLLs", set(dlls) <= {"kernel32.dll", "msvcrt.dll"},
          f"  imports {dlls}")

    # Resources: type 24 (manifest) and type 16 (version).
    base = at(directory(2)[0])

    def entries(offset):
        named, ids = struct.unpack_from("<12xHH", image, base + offset)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", image, base + offset + 16 + 8 * i)
            yield ident, target

    def leaves(offset):
        for _, target in entries(offset):
            if target & 0x80000000:
                yield from leaves(target & 0x7FFFFFFF)
            else:
                rva, size = struct.unpack_from("<II", image, base + target)
                yield image[at(rva):at(rva) + size]

    found = {ident: list(leaves(target & 0x7FFFFFFF)) for ident, target in entries(0)}
    manifests = found.get(24, [])
    check("one manifest asks for asInvoker", len(manifests) == 1 and
          re.search(rb'requestedExecutionLevel\s+level="asInvoker"', manifests[0]) is not None,
          f"  manifests {manifests!r}")
    version = b"".join(found.get(16, [])).decode("utf-16-le", "replace")
    check("version resource names Kronmark 1.0 and its copyright",
          re.search("ProductName\0+Kronmark\0", version) is not None and
          re.search("ProductVersion\0+1\\.0\0", version) is not None and
          re.search("LegalCopyright\0+Copyright \\(c\\) 2026 The Kronmark authors", version)
          is not None, f"  version {version!r}")
    # Windows 7 to 11 listed, so that Windows runs it without compatibility shims.
    systems = set(re.findall(rb'supportedOS Id="\{([0-9a-f-]+)\}"', manifests[0] if manifests else b""))
    check("manifest lists Windows 7 to 11", systems == {
        b"35138b9a-5d96-4fbd-8e2d-a2440225f93a", b"4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
        b"1f676c76-80e1-4239-95bb-83d0f6d0da78", b"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"},
          f"  supportedOS {systems!r}")


def main():
    global PROGRAM, LAUNCHER
    args = sys.argv[1:]
    if args[:1] == ["--emulator"]:
        PREFIX.append(args[1])
        args = args[2:]
    PROGRAM, LAUNCHER = args
    return run_groups([pe_image, raw_command_lines, unicode_command_lines, console,
                       exit_codes, batch_file])


if __name__ == "__main__":
    sys.exit(main())
