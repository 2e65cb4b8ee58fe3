"""What the end-to-end scripts share: the header pattern, the check
record and the run of the check groups."""
import sys

# One date-and-time header.
HEADER = (rb"(?:Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
          rb"(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
          rb"(?:0[1-9]|[12][0-9]|3[01]), [0-9]{4} "
          rb"(?:0[1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] [AP]M \| ")

_passed = 0
_skipped = 0
_failures = []


def check(name, ok, detail=""):
    """Records one check; a failure prints its name and the bytes that differed."""
    global _passed
    if ok:
        _passed += 1
    else:
        _failures.append(name)
        print(f"FAIL {name}\n{detail}", file=sys.stderr)


def skip(name, why):
    """Records a check that cannot run here, and says so."""
    global _skipped
    _skipped += 1
    print(f"SKIP {name}: {why}", file=sys.stderr)


def run_groups(groups):
    """Runs every group of checks, prints the tally, returns the exit code."""
    for group in groups:
        try:
            group()
        except Exception as error:  # a broken program must not stop the run
            check(group.__name__, False, f"  {error!r}")
    print(f"{_passed} passed, {len(_failures)} failed" +
          (f", {_skipped} skipped" if _skipped else ""))
    return 1 if _failures else 0
