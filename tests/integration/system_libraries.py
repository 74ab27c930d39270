#!/usr/bin/env python3
"""Debian's Fortran static libraries, read whole by quorv-check: every run completes with no
message, and the COMMON declarations of each member are exactly the COMMON symbols nm lists
for it, with their sizes.

    tests/integration/system_libraries.py QUORV_CHECK LIBRARY...
"""
import collections
import json
import subprocess
import sys


def from_latin1(text):
    return text.encode("latin-1")


def nm_commons(library):
    """(member, name, size) of every COMMON symbol, from nm -A -P -t d."""
    out = subprocess.run(["nm", "-A", "-P", "-t", "d", library], capture_output=True, check=True).stdout
    found = collections.Counter()
    for line in out.decode("latin-1").splitlines():
        where, _, rest = line.partition("]: ")
        fields = rest.split()
        if len(fields) >= 4 and fields[1] == "C":
            member = where.partition("[")[2]
            found[(member, fields[0], int(fields[3]))] += 1
    return found


def quorv_declarations(quorv, library):
    run = subprocess.run([quorv, "--json", library], capture_output=True, check=False)
    report = json.loads(run.stdout)
    found = collections.Counter()
    prefix = library + " ("
    for block in report["blocks"]:
        for d in block["declarations"]:
            path = d["full_path"]
            assert path.startswith(prefix) and path.endswith(")"), path
            found[(path[len(prefix):-1], block["name"], d["size"])] += 1
    return report, found


def main():
    quorv, libraries = sys.argv[1], sys.argv[2:]
    failed = 0
    for library in libraries:
        report, declared = quorv_declarations(quorv, library)
        expected = nm_commons(library)
        problems = []
        if not report["completed"]:
            problems.append("the run stopped")
        if report["messages"]:
            problems.append("messages: %r" % report["messages"][:3])
        if declared != expected:
            missing = expected - declared
            extra = declared - expected
            problems.append("declarations differ from nm: missing %r, extra %r"
                            % (list(missing)[:3], list(extra)[:3]))
        status = "FAIL" if problems else "ok"
        print("%s %s: %d members' COMMON symbols, %d declarations%s" % (
            status, library, len({m for (m, _, _) in expected}), sum(declared.values()),
            "".join("\n    " + p for p in problems)))
        failed += bool(problems)
    print("%d passed, %d failed" % (len(libraries) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
