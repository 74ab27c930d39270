#!/usr/bin/env python3
"""Prints the table of `make bench` from the results folder: median wall seconds per tool
and corpus, the ratios the goals are stated in, peak RSS, the overlap figures and the
per-record times of the model. Exits 0 whatever the figures say; the last lines say which
goals are met."""
import json
import os
import sys

out = sys.argv[1]
CORPORA = ["A", "B", "BG", "C", "D"]
TOOLS = ["cat", "objdump", "llvm-nm", "quorv", "quorv-json", "quorv-findings"]
PEERS = ["objdump", "llvm-nm"]
ELF_CORPORA = ["EA", "EB", "EC"]
ELF_TOOLS = ["cat", "nm-awk", "readelf", "ld-r", "quorv", "quorv-json", "quorv-findings"]
ELF_PEERS = ["nm-awk", "readelf", "ld-r"]
DEBUG_CORPORA = ["G", "GZ", "GW"]
DEBUG_TOOLS = ["cat", "dwarfdump", "quorv", "quorv-json", "quorv-findings"]
FORMATS = ["quorv-findings", "quorv-sarif", "quorv-github"]  # timed on C beside the text report


def load(name):
    with open(os.path.join(out, name)) as f:
        return json.load(f)


medians = {}
for corpus in CORPORA + ELF_CORPORA + DEBUG_CORPORA:
    for result in load(corpus + ".json")["results"]:
        medians[(corpus, result["command"])] = result["median"]
formats = {r["command"]: r["median"] for r in load("formats.json")["results"]}
sizes = load("sizes.json")
rss = load("rss.json")
micro = {b["name"]: b for b in load("micro.json")["benchmarks"] if b.get("aggregate_name") == "median"}

print()
print("Median wall seconds, page cache warm, every tool on the same corpus in one run:")
print()
def table(corpora, tools, peers):
    head = ("| corpus | size | records | " + " | ".join(tools) +
            " | quorv / fastest peer | quorv / cat | json / text | findings / text |")
    print(head)
    print("|" + "---|" * (head.count("|") - 1))
    for corpus in corpora:
        t = {tool: medians[(corpus, tool)] for tool in tools}
        peer = min(t[p] for p in peers)
        s = sizes[corpus]
        cells = [corpus, "%.1f MB" % (s["bytes"] / 1e6), "{:,}".format(s["records"])]
        cells += ["%.3f" % t[tool] for tool in tools]
        cells += ["%.2fx" % (t["quorv"] / peer), "%.2fx" % (t["quorv"] / t["cat"]),
                  "%.2fx" % (t["quorv-json"] / t["quorv"]), "%.2fx" % (t["quorv-findings"] / t["quorv"])]
        print("| " + " | ".join(cells) + " |")


table(CORPORA, TOOLS, PEERS)
print()
print("ELF (peers: nm -P with a size check in awk, readelf -sW, ld -r --warn-common):")
print()
table(ELF_CORPORA, ELF_TOOLS, ELF_PEERS)
print()
print("gfortran -g (G: ELF, GZ: compressed sections, GW: mingw COFF); the text report reads the")
print("symbols only, the findings read the layouts too; peer: llvm-dwarfdump --debug-info:")
print()
table(DEBUG_CORPORA, DEBUG_TOOLS, ["dwarfdump"])


def micro_seconds(name):
    b = micro[name + "_median"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    return b["real_time"] * scale, b["cpu_time"] * scale


pairwise_6000 = micro_seconds("BM_OverlapEveryPair/6000")[1]
pairwise_60000 = pairwise_6000 * 100  # n(n-1)/2 pairs: 10x the sections, 100x the pairs
sweep_60000 = micro_seconds("BM_OverlapSweep/60000")[1]
print()
print("Overlap checks on 60,000 sections: sweep %.4f s; every pair %.1f s (6,000 sections"
      " measured, %.2f s, times 100)." % (sweep_60000, pairwise_60000, pairwise_6000))
print("Peak RSS on C: quorv-check %.1f MB, llvm-nm-19 %.1f MB." % (rss["quorv"] / 1024, rss["llvm-nm"] / 1024))
print()
print("Model, N distinct block names and N distinct procedure names recorded, then walked in"
      " name order (CPU time per record, median of 3):")
per_record = {}
for n in (10000, 100000, 1000000):
    b = micro["BM_RecordDistinctNames/%d_median" % n]
    per_record[n] = b["per_record"] * 1e9
    print("  N = %9s: %7.1f ns per record" % ("{:,}".format(n), per_record[n]))

q = {c: medians[(c, "quorv")] for c in CORPORA + ELF_CORPORA}
qj = {c: medians[(c, "quorv-json")] for c in CORPORA + ELF_CORPORA}
cat = {c: medians[(c, "cat")] for c in CORPORA + ELF_CORPORA}
fastest = {c: min(medians[(c, p)] for p in PEERS) for c in CORPORA}
fastest.update({c: min(medians[(c, p)] for p in ELF_PEERS) for c in ELF_CORPORA})
debug_q = {c: medians[(c, "quorv")] for c in DEBUG_CORPORA}
debug_f = {c: medians[(c, "quorv-findings")] for c in DEBUG_CORPORA}
debug_dump = {c: medians[(c, "dwarfdump")] for c in DEBUG_CORPORA}
per_record_s = {c: q[c] / sizes[c]["records"] for c in ("A", "C", "EA", "EC")}
goals = [
    ("text mode at most 0.5x the fastest peer on A, B, BG, C",
     all(q[c] <= 0.5 * fastest[c] for c in ("A", "B", "BG", "C")),
     ", ".join("%s %.2fx" % (c, q[c] / fastest[c]) for c in ("A", "B", "BG", "C"))),
    ("ELF: text mode at most 0.5x the fastest peer on EA and EC",
     all(q[c] <= 0.5 * fastest[c] for c in ("EA", "EC")),
     ", ".join("%s %.2fx" % (c, q[c] / fastest[c]) for c in ("EA", "EC"))),
    ("ELF: the same per-record cost as COFF within 20% (EA/A, EC/C)",
     all(abs(per_record_s[e] / per_record_s[c] - 1) <= 0.2 for e, c in (("EA", "A"), ("EC", "C"))),
     ", ".join("%s %.2fx" % (e, per_record_s[e] / per_record_s[c]) for e, c in (("EA", "A"), ("EC", "C")))),
    ("findings formats at most 1.5x the text report on C",
     all(formats[f] <= 1.5 * formats["quorv"] for f in FORMATS),
     ", ".join("%s %.2fx" % (f[len("quorv-"):], formats[f] / formats["quorv"]) for f in FORMATS)),
    ("-g: findings with layouts at most 2x the symbol-only text report on G, GZ, GW",
     all(debug_f[c] <= 2 * debug_q[c] for c in DEBUG_CORPORA),
     ", ".join("%s %.2fx" % (c, debug_f[c] / debug_q[c]) for c in DEBUG_CORPORA)),
    ("-g: findings with layouts at most 0.5x llvm-dwarfdump --debug-info",
     all(debug_f[c] <= 0.5 * debug_dump[c] for c in DEBUG_CORPORA),
     ", ".join("%s %.2fx" % (c, debug_f[c] / debug_dump[c]) for c in DEBUG_CORPORA)),
    ("within 3x of cat on A and C", all(q[c] <= 3 * cat[c] for c in "AC"),
     ", ".join("%s %.2fx" % (c, q[c] / cat[c]) for c in "AC")),
    ("--json at most 1.5x text mode", all(qj[c] <= 1.5 * q[c] for c in ("A", "B", "C")),
     ", ".join("%s %.2fx" % (c, qj[c] / q[c]) for c in ("A", "B", "C"))),
    ("corpus D under 0.1 s", q["D"] < 0.1, "%.3f s" % q["D"]),
    ("overlap checks 200x faster than every pair", pairwise_60000 >= 200 * sweep_60000,
     "%.0fx" % (pairwise_60000 / sweep_60000)),
    ("C at most 3.3x A (linear: %.1fx)" % (sizes["C"]["records"] / sizes["A"]["records"]),
     q["C"] <= 3.3 * q["A"], "%.2fx" % (q["C"] / q["A"])),
    ("peak RSS on C under 64 MB", rss["quorv"] < 64 * 1024, "%.1f MB" % (rss["quorv"] / 1024)),
    ("model time per record grows at most 3x from 10^4 to 10^6",
     per_record[1000000] <= 3 * per_record[10000], "%.2fx" % (per_record[1000000] / per_record[10000])),
]
print()
for text, met, figure in goals:
    print("  [%s] %s: %s" % ("met" if met else "NOT MET", text, figure))
