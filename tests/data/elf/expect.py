#!/usr/bin/env python3
"""Expected reading of the ELF test inputs, derived from binutils and LLVM.

For every file (and every archive member) readelf -hSsW gives the header,
the section names and the first SHT_SYMTAB; llvm-readobj-19 --file-headers
--symbols reads the same file a second time, and every symbol's name, size,
type, binding and section index must agree between the two (any
disagreement aborts).  ar t lists archive members in stored order and must
name the same members readelf walks.  The symbols are then sorted the way
the reader sorts them:

  st_shndx SHN_COMMON, or SHN_X86_64_LCOMMON on x86-64  -> COMMON declaration
  FUNC or GNU_IFUNC, defined, GLOBAL/WEAK/GNU_UNIQUE    -> procedure
  OBJECT or TLS, defined, not ABS, GLOBAL/WEAK/UNIQUE   -> defined data
  anything else                                         -> nothing

An object holding __gnu_lto_slim, or .gnu.lto_* sections and no symbol of
its own, is GCC LTO output: "lto" is true and its lists stay empty, since
the reader refuses such an object whole.  A file that is not relocatable
(a shared object, an executable) has no members.

Usage:
  expect.py --out DIR FILE...   writes DIR/FILE.json for each FILE
  expect.py --facts DIR         checks DIR against what each file is here to show
  expect.py --selftest          the readelf line parser on known lines
Tools by name: readelf, llvm-readobj-19 (or $LLVM_READOBJ), ar.
"""

import json
import os
import re
import subprocess
import sys

READELF = os.environ.get("READELF", "readelf")
READOBJ = os.environ.get("LLVM_READOBJ", "llvm-readobj-19")
AR = os.environ.get("AR", "ar")

SHN_UNDEF, SHN_ABS, SHN_COMMON, SHN_X86_64_LCOMMON = 0, 0xFFF1, 0xFFF2, 0xFF02
EM_X86_64 = 62
STT_OBJECT, STT_FUNC, STT_TLS, STT_GNU_IFUNC = 1, 2, 6, 10
STB_GLOBAL, STB_WEAK, STB_GNU_UNIQUE = 1, 2, 10

# readelf's words for st_info and st_shndx.
READELF_TYPES = {"NOTYPE": 0, "OBJECT": 1, "FUNC": 2, "SECTION": 3, "FILE": 4,
                 "COMMON": 5, "TLS": 6, "IFUNC": 10}
READELF_BINDS = {"LOCAL": 0, "GLOBAL": 1, "WEAK": 2, "UNIQUE": 10}
READELF_NDX = {"UND": SHN_UNDEF, "ABS": SHN_ABS, "COM": SHN_COMMON,
               "LARGE_COM": SHN_X86_64_LCOMMON}
ELF_TYPES = {1: "REL", 2: "EXEC", 3: "DYN", 4: "CORE"}


class ExpectError(Exception):
    pass


def run(cmd):
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if p.returncode != 0:
        raise ExpectError("%s failed: %s" % (" ".join(cmd), p.stderr.decode("latin-1").strip()))
    return p.stdout.decode("latin-1")


def split_files(text):
    """Splits tool output at its "File: NAME" lines.  Returns a list of
    (name or None, text); a lone object gives readelf no File line."""
    parts, name, cur = [], None, []
    for line in text.splitlines():
        if line.startswith("File: "):
            if name is not None or any(l.strip() for l in cur):
                parts.append((name, "\n".join(cur)))
            name, cur = line[6:], []
        else:
            cur.append(line)
    parts.append((name, "\n".join(cur)))
    return parts


# ---------------------------------------------------------------------------
# readelf
# ---------------------------------------------------------------------------

SYM_LINE = re.compile(
    r"^\s*(\d+): ([0-9a-fA-F]+)\s+(0x[0-9a-fA-F]+|\d+)\s+(\S+)\s+(\S+)\s+(\S+)"
    r"(?:\s+\[[^\]]*\])?\s+(OS \[0x[0-9a-fA-F]+\]|\S+)(?: (.*))?$")


def parse_ndx(word):
    if word in READELF_NDX:
        return READELF_NDX[word]
    m = re.fullmatch(r"(?:PRC|OS |RSV)\[(0x[0-9a-fA-F]+)\]", word)
    if m:
        return int(m.group(1), 16)
    if word.isdigit():
        return int(word)
    raise ExpectError("readelf section index %r not understood" % word)


def parse_symbol_line(line):
    """One line of readelf -sW: (index, name, size, type, bind, shndx), or
    None for a line that is no symbol."""
    m = SYM_LINE.match(line)
    if not m:
        return None
    num, _value, size, typ, bind, _vis, ndx, name = m.groups()
    if typ not in READELF_TYPES or bind not in READELF_BINDS:
        raise ExpectError("readelf symbol type/binding %r %r not understood" % (typ, bind))
    return (int(num), name or "", int(size, 0), READELF_TYPES[typ], READELF_BINDS[bind],
            parse_ndx(ndx))


def parse_readelf(text):
    hdr, sections, tables, current = {}, [], {}, None
    for line in text.splitlines():
        s = line.strip()
        m = re.match(r"(Class|Data|Type):\s+(.*)$", s)
        if m and current is None:
            hdr[m.group(1)] = m.group(2)
            continue
        m = re.match(r"\[\s*(\d+)\]\s+(.*)$", s)
        if m and current is None:
            words = m.group(2).split()
            # Section 0 has an empty name; readelf then starts with the type.
            name, typ = ("", words[0]) if m.group(1) == "0" else (words[0], words[1])
            sections.append((name, typ))
            continue
        m = re.match(r"Symbol table '(.*)' contains \d+ entr", s)
        if m:
            current = tables.setdefault(m.group(1), [])
            continue
        if current is not None:
            sym = parse_symbol_line(line)
            if sym:
                current.append(sym)
    symtab_names = [n for n, t in sections if t == "SYMTAB"]
    symbols = tables.get(symtab_names[0], []) if symtab_names else []
    return hdr, [n for n, _ in sections], symbols


# ---------------------------------------------------------------------------
# llvm-readobj
# ---------------------------------------------------------------------------

def _in_parens(v):
    m = re.search(r"\((0x[0-9A-Fa-f]+|\d+)\)\s*$", v)
    if not m:
        raise ExpectError("no (value) in %r" % v)
    return int(m.group(1), 0)


def parse_readobj(text):
    hdr, symbols, sym, depth = {}, [], None, 0
    for line in text.splitlines():
        s = line.strip()
        if s == "Symbol {":
            sym, depth = {}, 1
            continue
        if sym is not None:
            # "Other [ (0x2)" opens a list as well as "Flags [".
            if s.endswith(("[", "{")) or re.match(r"\w+ \[ \(", s):
                depth += 1
            elif s in ("]", "}"):
                depth -= 1
                if depth == 0:
                    symbols.append(sym)
                    sym = None
            elif depth == 1:
                k, _, v = s.partition(": ")
                if k == "Name":
                    sym["name"] = re.sub(r" ?\(\d+\)$", "", v)
                elif k == "Size":
                    sym["size"] = int(v, 0)
                elif k in ("Binding", "Type", "Section"):
                    sym[k.lower()] = _in_parens(v)
            continue
        k, _, v = s.partition(": ")
        if k in ("Class", "DataEncoding", "Type", "Machine") and k not in hdr:
            hdr[k] = _in_parens(v)
    return hdr, symbols


# ---------------------------------------------------------------------------
# the reader's rules
# ---------------------------------------------------------------------------

def classify(symbols, machine):
    commons, procs, data = [], [], []
    for _num, name, size, typ, bind, ndx in symbols[1:]:
        if ndx == SHN_COMMON or (machine == EM_X86_64 and ndx == SHN_X86_64_LCOMMON):
            commons.append({"name": name, "size": size})
        elif typ in (STT_FUNC, STT_GNU_IFUNC) and ndx != SHN_UNDEF and \
                bind in (STB_GLOBAL, STB_WEAK, STB_GNU_UNIQUE):
            procs.append(name)
        elif typ in (STT_OBJECT, STT_TLS) and ndx not in (SHN_UNDEF, SHN_ABS) and \
                bind in (STB_GLOBAL, STB_WEAK, STB_GNU_UNIQUE):
            data.append({"name": name, "size": size})
    return commons, procs, data


def is_lto(symbols, sections, own):
    if any(s[1] == "__gnu_lto_slim" for s in symbols[1:]):
        return True
    return any(n.startswith(".gnu.lto_") for n in sections) and not own


def module(member_name, elf_text, obj_text, where):
    hdr, sections, symbols = parse_readelf(elf_text)
    ohdr, osyms = parse_readobj(obj_text)
    cls = {"ELF32": 32, "ELF64": 64}[hdr["Class"]]
    data = "lsb" if "little endian" in hdr["Data"] else "msb"
    etype = hdr["Type"].split()[0]
    if (cls, data, etype) != ({1: 32, 2: 64}[ohdr["Class"]], {1: "lsb", 2: "msb"}[ohdr["DataEncoding"]],
                              ELF_TYPES.get(ohdr["Type"])):
        raise ExpectError("%s: readelf and llvm-readobj disagree on the header" % where)
    if etype == "REL":
        if len(symbols) != len(osyms):
            raise ExpectError("%s: %d symbols from readelf, %d from llvm-readobj"
                              % (where, len(symbols), len(osyms)))
        for (num, name, size, typ, bind, ndx), o in zip(symbols, osyms):
            if typ == 3:  # readelf names SECTION symbols after their section
                name = o["name"]
            if (name, size, typ, bind, ndx) != (o["name"], o["size"], o["type"], o["binding"],
                                                o["section"]):
                raise ExpectError("%s: symbol %d differs: readelf %r, llvm-readobj %r"
                                  % (where, num, (name, size, typ, bind, ndx), o))
    rec = {"class": cls, "data": data, "machine": ohdr["Machine"], "type": etype}
    if etype != "REL":
        return rec, None
    commons, procs, dat = classify(symbols, ohdr["Machine"])
    lto = is_lto(symbols, sections, commons or procs or dat)
    if lto:
        commons, procs, dat = [], [], []
    return rec, {"member_name": member_name, "common_declarations": commons,
                 "procedures": procs, "defined_data": dat, "lto": lto}


def expect(path):
    elf = split_files(run([READELF, "-hSsW", path]))
    obj = split_files(run([READOBJ, "--file-headers", "--symbols", path]))
    if elf[0][0] is None:  # a lone file
        rec, mem = module(os.path.basename(path), elf[0][1], obj[-1][1], path)
        out = {"file": path, "kind": "object" if mem else "not an object"}
        out.update(rec)
        out["members"] = [dict({"member_name": mem.pop("member_name")}, **rec, **mem)] if mem else []
        return out
    stored = [l for l in run([AR, "t", path]).splitlines() if l]
    elf_names = [re.fullmatch(re.escape(path) + r"([(\[])(.*)[)\]]", n) for n, _ in elf]
    if not all(elf_names) or len(elf) != len(obj) or len(elf) != len(stored):
        raise ExpectError("%s: readelf, llvm-readobj and ar t list different members" % path)
    thin = elf_names[0].group(1) == "["
    members = []
    for m, (_, etext), (_, otext), listed in zip(elf_names, elf, obj, stored):
        name = m.group(2)
        # ar t shows a thin archive's member paths joined to the archive's folder.
        if listed != (os.path.join(os.path.dirname(path), name) if thin else name):
            raise ExpectError("%s: ar t says %r, readelf %r" % (path, listed, name))
        rec, mem = module(name, etext, otext, "%s(%s)" % (path, name))
        if mem is None:
            raise ExpectError("%s: member %s is no relocatable object" % (path, name))
        members.append(dict({"member_name": mem.pop("member_name")}, **rec, **mem))
    return {"file": path, "kind": "thin archive" if thin else "archive", "members": members}


def to_json(value):
    """Indented JSON with each {"name", "size"} pair on one line."""
    text = json.dumps(value, indent=1)
    text = re.sub(r'\{\n\s*("name": "(?:[^"\\]|\\.)*"),\n\s*("size": \d+)\n\s*\}', r"{\1, \2}", text)
    return text + "\n"


def write_all(outdir, paths):
    for p in paths:
        target = os.path.join(outdir, p + ".json")
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "w") as f:
            f.write(to_json(expect(p)))


# ---------------------------------------------------------------------------
# checks
# ---------------------------------------------------------------------------

# What each file is here to show.  A tool upgrade that changes one of these
# makes the file useless for its test even when make.sh still runs.
# (file, member index, what, value)
FACTS = [
    ("gf64/sizes_a.o", 0, "common", {"coef_": 40, "__BLNK__": 20}),
    ("gf64/sizes_b.o", 0, "common", {"coef_": 48, "__BLNK__": 32}),
    ("gf64/bdata.o", 0, "common", {}),
    ("gf64/bdata.o", 0, "data", {"phys_": 12, "limits_": 8, "physdt_": 8}),
    ("gf64/datainit.o", 0, "common", {}),
    ("gf64/datainit.o", 0, "data", {"table_": 40}),
    ("gf64/blkuse.o", 0, "common", {"phys_": 12, "limits_": 8, "result_": 12, "fnorm_": 4}),
    ("gf64/procs.o", 0, "procedures", ["result_", "fnorm_"]),
    ("gf64/chars.o", 0, "common", {"chrs_": 35}),
    ("gf64/equiv.o", 0, "common", {"eqb_": 40}),
    ("gf64/modvars.o", 0, "common", {}),
    ("gf64/bindc.o", 0, "common", {"cnt": 4, "c_values": 32, "plainblk_": 4}),
    ("gf64/big.o", 0, "common", {"huge_": 2400000000, "small_": 4}),
    ("gf64/big.o", 0, "ndx", {"huge_": "LARGE_COM", "small_": "COM"}),
    ("s390x/big.o", 0, "common", {"huge_": 2400000000, "small_": 4}),
    ("gf32/sizes_a.o", 0, "header", {"class": 32, "data": "lsb", "machine": 3}),
    ("s390x/sizes_a.o", 0, "header", {"class": 64, "data": "msb", "machine": 22}),
    ("ppc32/sizes_a.o", 0, "header", {"class": 32, "data": "msb", "machine": 20}),
    ("ppc32/sizes_b.o", 0, "common", {"coef_": 48, "__BLNK__": 32}),
    ("flang/sizes_b.o", 0, "common", {"coef_": 48, "__BLNK__": 32}),
    ("c/gcc_tentative.o", 0, "common", {"counter": 4, "table_": 128, "flags_": 3}),
    ("c/gcc_tentative.o", 0, "data", {"initialized": 4, "zeroed": 4, "per_thread": 4,
                                      "weak_var": 4}),
    ("c/gcc_tentative.o", 0, "procedures", ["work", "weak_work", "chosen"]),
    ("c/clang_tentative.o", 0, "common", {"counter": 4, "table_": 128, "flags_": 3}),
    ("c/gxx_unique.o", 0, "data", {"_ZZ5tallyvE1n": 4}),
    ("lto/slim.o", 0, "lto", True),
    ("lto/fat.o", 0, "lto", False),
    ("lto/fat.o", 0, "common", {"coef_": 48, "__BLNK__": 32}),
    ("lib/lto_mixed.a", 0, "lto", True),
    ("lib/lto_mixed.a", 1, "lto", False),
    ("lib/gnu_long.a", None, "bytes", [(0, b"!<arch>\n/ "), (None, b"//" + b" " * 14),
                                        (None, b"character_blk.o/"), (None, b"/0" + b" " * 14)]),
    ("lib/llvm_gnu.a", None, "bytes", [(0, b"!<arch>\n/ "), (None, b"//" + b" " * 14)]),
    ("lib/llvm_sym64.a", None, "bytes", [(0, b"!<arch>\n/SYM64/ ")]),
    ("lib/gf64_thin.a", None, "bytes", [(0, b"!<thin>\n")]),
    ("lib/gf64_thin.a", None, "members", ["../gf64/sizes_b.o", "../gf64/bindc.o"]),
    ("thin/thin.a", None, "members", ["sizes_a.o", "collide_procedures.o"]),
    ("lib/no_index.a", None, "bytes", [(0, b"!<arch>\n//" + b" " * 14)]),
    ("lib/s390x.a", 2, "header", {"class": 64, "data": "msb", "machine": 22}),
    ("linked/libshared.so", None, "type", "DYN"),
    ("linked/heat", None, "type", "EXEC"),
]


def check_fact(root, expected, fact):
    path, index, what, want = fact
    with open(os.path.join(expected, path + ".json")) as f:
        j = json.load(f)
    if what == "type":
        return j["type"] == want and j["members"] == []
    if what == "members":
        return [m["member_name"] for m in j["members"]] == want
    if what == "bytes":
        with open(os.path.join(root, path), "rb") as f:
            raw = f.read()
        return all(raw.startswith(b) if off == 0 else b in raw for off, b in want)
    m = j["members"][index]
    if what == "common":
        got = {c["name"]: c["size"] for c in m["common_declarations"]}
        return got == want if not want else all(got.get(k) == v for k, v in want.items())
    if what == "data":
        got = {c["name"]: c["size"] for c in m["defined_data"]}
        return all(got.get(k) == v for k, v in want.items())
    if what == "procedures":
        return all(p in m["procedures"] for p in want)
    if what == "lto":
        return m["lto"] is want
    if what == "header":
        return all(m[k] == v for k, v in want.items())
    if what == "ndx":
        lines = run([READELF, "-sW", os.path.join(root, path)]).splitlines()
        words = {l.split()[-1]: l.split()[-2] for l in lines if SYM_LINE.match(l)}
        return all(words.get(k) == v for k, v in want.items())
    raise ExpectError("unknown fact kind %r" % what)


def facts(expected):
    root = os.path.dirname(os.path.abspath(expected))
    bad = [f for f in FACTS if not check_fact(root, expected, f)]
    for f in bad:
        print("expect.py: %s no longer shows %s %r" % (f[0], f[2], f[3]), file=sys.stderr)
    print("expect.py: %d of %d facts hold" % (len(FACTS) - len(bad), len(FACTS)))
    return 1 if bad else 0


# readelf -sW lines and what they must parse to.
SELFTEST = [
    ("     0: 0000000000000000     0 NOTYPE  LOCAL  DEFAULT  UND ",
     (0, "", 0, 0, 0, SHN_UNDEF)),
    ("     4: 0000000000000010    16 OBJECT  GLOBAL DEFAULT  COM blk_",
     (4, "blk_", 16, 1, 1, SHN_COMMON)),
    ("     5: 0000000000000020 0x8f0d1800 OBJECT  GLOBAL DEFAULT LARGE_COM huge_",
     (5, "huge_", 2400000000, 1, 1, SHN_X86_64_LCOMMON)),
    ("     9: 00000000     0 FUNC    GLOBAL HIDDEN     6 __x86.get_pc_thunk.ax",
     (9, "__x86.get_pc_thunk.ax", 0, 2, 1, 6)),
    ("    13: 0000000000000024     8 IFUNC   GLOBAL DEFAULT    1 chosen",
     (13, "chosen", 8, 10, 1, 1)),
    ("     4: 0000000000000000     4 OBJECT  UNIQUE DEFAULT    6 _ZZ5tallyvE1n",
     (4, "_ZZ5tallyvE1n", 4, 1, 10, 6)),
    ("    11: 0000000000000000     4 TLS     GLOBAL DEFAULT    5 per_thread",
     (11, "per_thread", 4, 6, 1, 5)),
    ("     7: 0000000000000000     0 NOTYPE  GLOBAL DEFAULT  ABS absval",
     (7, "absval", 0, 0, 1, SHN_ABS)),
    ("     3: 0000000000000000    12 FUNC    GLOBAL DEFAULT [<localentry>: 8]     1 f",
     (3, "f", 12, 2, 1, 1)),
    ("     6: 0000000000000000     4 OBJECT  GLOBAL DEFAULT OS [0xff20] osx",
     (6, "osx", 4, 1, 1, 0xFF20)),
    ("     8: 0000000000000000     4 OBJECT  GLOBAL DEFAULT PRC[0xff01] prc",
     (8, "prc", 4, 1, 1, 0xFF01)),
    ("   Num:    Value          Size Type    Bind   Vis      Ndx Name", None),
]

# (symbols, machine) -> (commons, procedures, data): the classification's order
# and its edge cases.
CLASSIFY_CASES = [
    # LCOMMON counts only on x86-64; elsewhere 0xFF02 is a processor index.
    ([(1, "big", 8, 1, 1, SHN_X86_64_LCOMMON)], 62, ([{"name": "big", "size": 8}], [], [])),
    ([(1, "big", 8, 1, 1, SHN_X86_64_LCOMMON)], 22, ([], [], [{"name": "big", "size": 8}])),
    # COMMON wins over the type; a LOCAL FUNC, an undefined FUNC, an ABS OBJECT are nothing.
    ([(1, "c", 4, 2, 1, SHN_COMMON), (2, "l", 4, 2, 0, 1), (3, "u", 0, 2, 1, 0),
      (4, "a", 4, 1, 1, SHN_ABS)], 62, ([{"name": "c", "size": 4}], [], [])),
    # IFUNC, weak and unique procedures and data; TLS is data; an ABS FUNC is a procedure.
    ([(1, "i", 8, 10, 1, 1), (2, "w", 1, 2, 2, 1), (3, "q", 4, 1, 10, 6), (4, "t", 4, 6, 1, 5),
      (5, "f", 0, 2, 1, SHN_ABS)], 62,
     ([], ["i", "w", "f"], [{"name": "q", "size": 4}, {"name": "t", "size": 4}])),
]


def selftest():
    failures = 0
    for line, want in SELFTEST:
        got = parse_symbol_line(line)
        if got != want:
            failures += 1
            print("parse %r: got %r, want %r" % (line, got, want), file=sys.stderr)
    for syms, machine, want in CLASSIFY_CASES:
        got = classify([(0, "", 0, 0, 0, 0)] + syms, machine)
        if got != want:
            failures += 1
            print("classify %r on %d: got %r, want %r" % (syms, machine, got, want), file=sys.stderr)
    lto_cases = [  # (symbols after index 0, sections, own symbols) -> lto
        ([(1, "__gnu_lto_slim", 1, 1, 1, SHN_COMMON)], [".gnu.lto_.opts"], True, True),
        ([], [".text", ".gnu.lto_.decls.1"], False, True),
        ([(1, "f", 4, 2, 1, 1)], [".text", ".gnu.lto_.decls.1"], True, False),
        ([], [".text"], False, False),
    ]
    for syms, secs, own, want in lto_cases:
        if is_lto([(0, "", 0, 0, 0, 0)] + syms, secs, own) is not want:
            failures += 1
            print("is_lto %r %r: want %r" % (syms, secs, want), file=sys.stderr)
    total = len(SELFTEST) + len(CLASSIFY_CASES) + len(lto_cases)
    print("%d passed, %d failed" % (total - failures, failures))
    return 1 if failures else 0


def main(argv):
    try:
        if argv[:1] == ["--selftest"]:
            return selftest()
        if argv[:1] == ["--facts"] and len(argv) == 2:
            return facts(argv[1])
        if argv[:1] == ["--out"] and len(argv) >= 3:
            write_all(argv[1], argv[2:])
            return 0
    except ExpectError as e:
        print("expect.py: %s" % e, file=sys.stderr)
        return 1
    print(__doc__.split("Usage:")[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
