#!/usr/bin/env python3
"""Writes the Fortran sources of the -g corpus of `make bench`: FILES files of SUBROUTINES
subroutines each, every subroutine declaring 8 of 40 COMMON blocks of 5 to 25 members
(INTEGER, DOUBLE PRECISION, REAL, LOGICAL, CHARACTER*16, COMPLEX; scalars, vectors and
matrices), as legacy code that includes its blocks in every routine does; one declaration
in twenty leaves the block's last member out (a shorter view). Deterministic.
    bench/debug_corpus.py OUT_DIR [FILES [SUBROUTINES]]"""
import os
import random
import sys

out = sys.argv[1]
files = int(sys.argv[2]) if len(sys.argv) > 2 else 24
subroutines = int(sys.argv[3]) if len(sys.argv) > 3 else 60
rng = random.Random(3)
TYPES = ["INTEGER", "DOUBLE PRECISION", "REAL", "LOGICAL", "CHARACTER*16", "COMPLEX"]


def dims():
    return rng.choice(["", "", "(%d)" % rng.randint(2, 100), "(%d,%d)" % (rng.randint(2, 9), rng.randint(2, 9))])


blocks = []
for b in range(40):
    members = [(rng.choice(TYPES), "V%d_%d" % (b, m), dims()) for m in range(rng.randint(5, 25))]
    blocks.append(("B%d" % b, members))

os.makedirs(out, exist_ok=True)
for f in range(files):
    lines = []
    for s in range(subroutines):
        lines.append("      SUBROUTINE S%02d_%03d" % (f, s))
        for name, members in rng.sample(blocks, 8):
            if rng.random() < 0.05:
                members = members[:-1]
            lines += ["      %s %s%s" % m for m in members]
            # Fixed form: continuation lines keep each line within column 72.
            line = "      COMMON /%s/ " % name
            for k, (_, var, _) in enumerate(members):
                item = var + ("," if k + 1 < len(members) else "")
                if len(line) + len(item) > 70:
                    lines.append(line)
                    line = "     &  "
                line += item
            lines.append(line)
        lines += ["      RETURN", "      END"]
    with open(os.path.join(out, "f%02d.f" % f), "w") as h:
        h.write("\n".join(lines) + "\n")
