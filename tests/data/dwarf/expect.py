#!/usr/bin/env python3
"""Derive the expected COMMON-block layouts of the objects here.

For every object: the DIE tree from `llvm-dwarfdump-19 --debug-info
--verbose`, the relocations and symbols from `readelf` (ELF) or
`llvm-readobj-19` (COFF), and the raw .debug_info bytes from a hex dump.
Nothing here decodes DWARF abbreviations itself: the dumper names each
attribute's form, and the only offset arithmetic is adding up the sizes of
the forms in front of DW_AT_location to find the DW_OP_addr operand, which
is then checked against the raw bytes (the DW_OP_addr opcode must sit just
before it) and against a relocation at exactly that offset.

A member's offset inside its block is the relocation's addend: r_addend for
ELF RELA, the bytes in place for ELF REL and COFF.  Tools that print the
operand value disagree (readelf adds the COMMON symbol's value, which is its
alignment; llvm-dwarfdump prints 0 for RELA objects), so the value is
taken from the relocation, never from a dumper.

Usage: python3 expect.py [--out DIR] OBJECT...
Paths are used as given in the "file" field, so run it from the folder that
holds gf64/, mingw32/, ...  Writes DIR/<object>.json and DIR/producers.txt
(DWARF versions, DW_FORMs in the abbreviations, debug sections, per
producer).  Standard library only; tools can be overridden with the
environment variables LLVM_DWARFDUMP, LLVM_READOBJ and READELF.
"""

import json
import os
import re
import subprocess
import sys

DWARFDUMP = os.environ.get("LLVM_DWARFDUMP", "llvm-dwarfdump-19")
READOBJ = os.environ.get("LLVM_READOBJ", "llvm-readobj-19")
READELF = os.environ.get("READELF", "readelf")


class Fail(Exception):
    pass


def run(*args):
    p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       check=False)
    if p.returncode != 0:
        raise Fail("%s failed: %s" % (" ".join(args),
                                      p.stderr.decode(errors="replace")))
    return p.stdout.decode("utf-8", errors="replace")


def uleb_len(value):
    n = 1
    while value >= 0x80:
        value >>= 7
        n += 1
    return n


def read_uleb(data, pos):
    result = shift = 0
    while True:
        b = data[pos]
        pos += 1
        result |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return result, pos


# ---------------------------------------------------------------------------
# Parsers of the dumpers' text, kept apart from running them so that they
# can be tested on captured output.

def parse_elf_sections(text):
    """readelf -SW -> (names, names of SHF_COMPRESSED sections)."""
    names, compressed = [], []
    for line in text.splitlines():
        m = re.match(r"\s*\[\s*(\d+)\]\s(.*)$", line)
        if not m or m.group(1) == "0":
            continue
        # Name Type Address Off Size ES [Flg] Lk Inf Al
        f = m.group(2).split()
        names.append(f[0])
        if len(f) == 10 and "C" in f[6]:
            compressed.append(f[0])
    return names, compressed


def parse_coff_sections(text):
    """llvm-readobj --sections -> names."""
    return [m.group(1) for m in re.finditer(r"(?m)^\s*Name: (\S+) \(", text)]


def parse_elf_relocs(text, section=".debug_info"):
    """readelf -rW -> (is RELA, {offset: (type, symbol, addend or None)})."""
    relocs, rela, cur = {}, None, None
    for line in text.splitlines():
        m = re.match(r"Relocation section '(\.rela?)(\.[^']*)'", line)
        if m:
            cur = m.group(2)
            if cur == section:
                rela = m.group(1) == ".rela"
            continue
        if cur != section:
            continue
        f = line.split()
        if len(f) < 5 or not re.fullmatch(r"[0-9a-f]+", f[0]):
            continue
        addend = None
        if rela:
            # "name + 4" or "name - 8"
            addend = int(f[6], 16) * (-1 if f[5] == "-" else 1)
        relocs[int(f[0], 16)] = (f[2], f[4], addend)
    return rela, relocs


def parse_coff_relocs(text, section=".debug_info"):
    """llvm-readobj --relocations -> {offset: (type, symbol, None)}."""
    relocs, cur = {}, None
    for line in text.splitlines():
        m = re.match(r"\s*Section \(\d+\) (\S+) \{", line)
        if m:
            cur = m.group(1)
            continue
        m = re.match(r"\s*0x([0-9A-F]+) (IMAGE_REL_\S+) (\S+) \(\d+\)", line)
        if m and cur == section:
            relocs[int(m.group(1), 16)] = (m.group(2), m.group(3), None)
    return relocs


def parse_elf_common(text):
    """readelf -sW -> {COMMON symbol: size}."""
    common = {}
    for line in text.splitlines():
        f = line.split()
        if len(f) == 8 and f[6] == "COM":
            common[f[7]] = int(f[2], 0)
    return common


def parse_coff_common(text):
    """llvm-readobj --symbols -> {COMMON symbol: size}.

    A COFF COMMON symbol is external and undefined, with its size as value."""
    common, sym = {}, {}
    for line in text.splitlines():
        s = line.strip()
        if s == "Symbol {":
            sym = {}
        elif line.startswith("    ") and not line.startswith("     "):
            k, _, v = s.partition(": ")
            sym[k] = v
            if (k == "StorageClass" and v.startswith("External")
                    and sym["Section"].startswith("IMAGE_SYM_UNDEFINED")
                    and int(sym["Value"]) > 0):
                common[sym["Name"]] = int(sym["Value"])
    return common


def parse_hex_dump(text):
    """readelf -x or llvm-readobj -x -> bytes."""
    out = bytearray()
    for line in text.splitlines():
        m = re.match(r"\s*0x[0-9a-f]+ ((?:[0-9a-f]{2,8} ?){1,4})", line)
        if m:
            # The ASCII column follows; only whole groups of hex digits count.
            for group in m.group(1).split():
                out += bytes.fromhex(group)
    return bytes(out)


# ---------------------------------------------------------------------------
# Object-level facts: format, relocations in .debug_info, symbols, bytes.

class ObjectInfo:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            head = f.read(20)
        self.elf = head[:4] == b"\x7fELF"
        self.info = b""
        self.relocs = {}        # offset in .debug_info -> (type, symbol, addend or None)
        self.rela = None        # ELF: RELA or REL; COFF: False (bytes in place)
        if self.elf:
            self.big_endian = head[5] == 2
            self.kind = {1: "ELF32", 2: "ELF64"}[head[4]]
            self.sections, self.compressed = parse_elf_sections(
                run(READELF, "-SW", path))
            self.common = parse_elf_common(run(READELF, "-sW", path))
            if ".debug_info" in self.sections:
                self.rela, self.relocs = parse_elf_relocs(run(READELF, "-rW", path))
                self.info = parse_hex_dump(run(READELF, "-z", "-x", ".debug_info", path))
        else:
            machine = int.from_bytes(head[:2], "little")
            self.kind = {0x14C: "COFF-i386", 0x8664: "COFF-x86-64"}.get(machine)
            if self.kind is None:
                raise Fail("%s: neither ELF nor a known COFF machine" % path)
            self.big_endian, self.rela, self.compressed = False, False, []
            self.sections = parse_coff_sections(run(READOBJ, "--sections", path))
            self.common = parse_coff_common(run(READOBJ, "--symbols", path))
            if ".debug_info" in self.sections:
                self.relocs = parse_coff_relocs(run(READOBJ, "--relocations", path))
                self.info = parse_hex_dump(run(READOBJ, "-x", ".debug_info", path))

    def in_place(self, off, width):
        return int.from_bytes(self.info[off:off + width],
                              "big" if self.big_endian else "little")


RELOC_WIDTH = {
    "R_X86_64_64": 8, "R_386_32": 4, "R_PPC_ADDR32": 4, "R_390_64": 8,
    "IMAGE_REL_I386_DIR32": 4, "IMAGE_REL_AMD64_ADDR64": 8,
}


# ---------------------------------------------------------------------------
# The DIE tree as llvm-dwarfdump prints it.

DIE_RE = re.compile(r"^0x([0-9a-f]{8}):(\s+)(DW_TAG_\w+|NULL)"
                    r"(?: \[(\d+)\])?( \*)?(?:\s+\(0x([0-9a-f]{8})\))?")
ATTR_RE = re.compile(r"^\s+(DW_AT_\w+) \[(DW_FORM_\w+)\]\t\((.*)\)$")
CU_RE = re.compile(r"^0x[0-9a-f]+: Compile Unit: .*format = (DWARF\d+), "
                   r"version = 0x([0-9a-f]+),.* addr_size = 0x([0-9a-f]+) "
                   r"\(next unit at 0x([0-9a-f]+)\)")


class Die:
    def __init__(self, offset, tag, code, parent, cu):
        self.offset, self.tag, self.code = offset, tag, code
        self.parent, self.cu = parent, cu
        self.attrs = []             # (name, form, raw printed value)
        self.children = []

    def get(self, name):
        for a, form, value in self.attrs:
            if a == name:
                return form, value
        return None


def unquote(value):
    m = re.search(r'"((?:[^"\\]|\\.)*)"\s*$', value)
    if not m:
        raise Fail("no string in %r" % value)
    return m.group(1).encode().decode("unicode_escape")


def parse_dies(text):
    """llvm-dwarfdump --debug-info --verbose -> ({offset: Die}, DIEs in order,
    end of the last unit)."""
    dies, order, cu = {}, [], None
    last, end = None, 0
    for line in text.splitlines():
        m = CU_RE.match(line)
        if m:
            cu = {"format": m.group(1), "version": int(m.group(2), 16),
                  "addr_size": int(m.group(3), 16)}
            end = int(m.group(4), 16)
            continue
        m = DIE_RE.match(line)
        if m:
            if m.group(3) == "NULL":
                last = None
                continue
            parent = int(m.group(6), 16) if m.group(6) else None
            d = Die(int(m.group(1), 16), m.group(3), int(m.group(4)), parent, cu)
            dies[d.offset] = d
            order.append(d)
            if parent is not None:
                dies[parent].children.append(d)
            last = d
            continue
        m = ATTR_RE.match(line)
        if m and last is not None:
            last.attrs.append((m.group(1), m.group(2), m.group(3)))
    return dies, order, end


FIXED_FORM_SIZE = {
    "DW_FORM_data1": 1, "DW_FORM_ref1": 1, "DW_FORM_flag": 1, "DW_FORM_strx1": 1,
    "DW_FORM_data2": 2, "DW_FORM_ref2": 2, "DW_FORM_strx2": 2,
    "DW_FORM_data4": 4, "DW_FORM_ref4": 4, "DW_FORM_strx4": 4,
    "DW_FORM_data8": 8, "DW_FORM_ref8": 8,
    "DW_FORM_flag_present": 0, "DW_FORM_implicit_const": 0,
}
OFFSET_FORMS = ("DW_FORM_strp", "DW_FORM_line_strp", "DW_FORM_sec_offset")


def form_size(die, form, value):
    if form in FIXED_FORM_SIZE:
        return FIXED_FORM_SIZE[form]
    if form in OFFSET_FORMS:
        if die.cu["format"] != "DWARF32":
            raise Fail("64-bit DWARF not expected")
        return 4
    if form == "DW_FORM_addr":
        return die.cu["addr_size"]
    if form == "DW_FORM_string":
        return len(unquote(value).encode()) + 1
    if form in ("DW_FORM_udata", "DW_FORM_sdata") and re.fullmatch(r"\d+", value):
        v = int(value)
        # sdata needs a spare sign bit.
        return uleb_len(v << 1 if form == "DW_FORM_sdata" else v)
    raise Fail("size of %s in front of DW_AT_location not handled" % form)


def addr_operand_offset(obj, die):
    """Offset in .debug_info of the DW_OP_addr operand of die's location."""
    off = die.offset + uleb_len(die.code)
    for name, form, value in die.attrs:
        if name == "DW_AT_location":
            if not value.startswith("DW_OP_addr ") or " DW_OP" in value[1:]:
                raise Fail("%s: location of DIE 0x%x is %r, not a lone DW_OP_addr"
                           % (obj.path, die.offset, value))
            width = die.cu["addr_size"]
            if form == "DW_FORM_exprloc":
                length, pos = read_uleb(obj.info, off)
            elif form == "DW_FORM_block1":
                length, pos = obj.info[off], off + 1
            else:
                raise Fail("location form %s not handled" % form)
            if length != 1 + width or obj.info[pos] != 0x03:
                raise Fail("%s: DIE 0x%x: raw bytes at 0x%x are not DW_OP_addr"
                           % (obj.path, die.offset, off))
            return pos + 1, width
        off += form_size(die, form, value)
    return None, None


def ref_target(value):
    m = re.search(r"\{0x([0-9a-f]+)\}", value)
    if not m:
        raise Fail("no reference in %r" % value)
    return int(m.group(1), 16)


def number(value):
    value = value.strip()
    return int(value, 0) if value.startswith("0x") else int(value)


def describe_type(dies, off):
    """(type string, byte size) in gfortran's own naming."""
    d = dies[off]
    if d.tag in ("DW_TAG_const_type", "DW_TAG_volatile_type", "DW_TAG_typedef"):
        return describe_type(dies, ref_target(d.get("DW_AT_type")[1]))
    if d.tag == "DW_TAG_base_type" or d.tag == "DW_TAG_structure_type":
        name = unquote(d.get("DW_AT_name")[1])
        return name, number(d.get("DW_AT_byte_size")[1])
    if d.tag == "DW_TAG_string_type":
        # gfortran gives CHARACTER(len=n) no name, only its length.
        n = number(d.get("DW_AT_byte_size")[1])
        return "character(len=%d)" % n, n
    if d.tag == "DW_TAG_array_type":
        elem, size = describe_type(dies, ref_target(d.get("DW_AT_type")[1]))
        dims = []
        for sub in d.children:
            if sub.tag != "DW_TAG_subrange_type":
                continue
            lo = sub.get("DW_AT_lower_bound")
            lo = number(lo[1]) if lo else 1     # Fortran's default lower bound
            hi = sub.get("DW_AT_upper_bound")
            if hi is None:
                hi = lo + number(sub.get("DW_AT_count")[1]) - 1
            else:
                hi = number(hi[1])
            dims.append((lo, hi))
            size *= hi - lo + 1
        return "%s(%s)" % (elem, ",".join("%d:%d" % b for b in dims)), size
    raise Fail("type DIE %s at 0x%x not handled" % (d.tag, off))


def expected_symbol(obj, block_die):
    link = block_die.get("DW_AT_linkage_name")
    if link:
        sym = unquote(link[1])
    else:
        name = unquote(block_die.get("DW_AT_name")[1])
        sym = name if name == "__BLNK__" else name + "_"
    return "_" + sym if obj.kind == "COFF-i386" else sym


def layouts(obj, notes, dump=None):
    """The layouts of obj's common_block DIEs, and its units' (version,
    address size); dump is llvm-dwarfdump's text, run here if not given."""
    if ".debug_info" not in obj.sections:
        return [], None
    if dump is None:
        dump = run(DWARFDUMP, "--debug-info", "--verbose", obj.path)
    dies, order, end = parse_dies(dump)
    if end != len(obj.info):
        raise Fail("%s: hex dump of .debug_info has %d bytes, the units end at %d"
                   % (obj.path, len(obj.info), end))
    out = []
    for blk in order:
        if blk.tag != "DW_TAG_common_block":
            continue
        want = expected_symbol(obj, blk)
        if blk.get("DW_AT_location"):
            notes.append("%s: block DIE 0x%x has a DW_AT_location" % (obj.path, blk.offset))
        sub = blk
        while sub is not None and sub.tag != "DW_TAG_subprogram":
            sub = dies.get(sub.parent)
        layout = {
            "block": unquote(blk.get("DW_AT_name")[1]),
            "symbol": want,
            "decl_file": os.path.basename(unquote(blk.get("DW_AT_decl_file")[1])),
            "decl_line": number(blk.get("DW_AT_decl_line")[1]),
            "subprogram": unquote(sub.get("DW_AT_name")[1]) if sub else None,
            "members": [],
        }
        for var in blk.children:
            if var.tag != "DW_TAG_variable":
                continue
            tname, size = describe_type(dies, ref_target(var.get("DW_AT_type")[1]))
            member = {"name": unquote(var.get("DW_AT_name")[1]), "offset": None,
                      "size": size, "type": tname}
            at, width = addr_operand_offset(obj, var)
            if at is None:
                notes.append("%s: member %s of /%s/ has no DW_AT_location"
                             % (obj.path, member["name"], layout["block"]))
            elif at not in obj.relocs:
                notes.append("%s: member %s of /%s/ has no relocation"
                             % (obj.path, member["name"], layout["block"]))
            else:
                rtype, sym, addend = obj.relocs[at]
                if RELOC_WIDTH.get(rtype) != width:
                    raise Fail("%s: relocation %s at 0x%x, address size %d"
                               % (obj.path, rtype, at, width))
                if sym != want or want not in obj.common:
                    raise Fail("%s: member %s relocated against %s, not the COMMON "
                               "symbol %s" % (obj.path, member["name"], sym, want))
                placed = obj.in_place(at, width)
                if obj.rela:
                    if placed != 0:
                        notes.append("%s: RELA relocation at 0x%x has %d in place"
                                     % (obj.path, at, placed))
                    member["offset"] = addend
                else:
                    member["offset"] = placed
            layout["members"].append(member)
        out.append(layout)
    cus = sorted({(d.cu["version"], d.cu["addr_size"]) for d in order})
    return out, cus


# ---------------------------------------------------------------------------
# Output.

def dump_object(path, result):
    lines = ['{"file": %s,' % json.dumps(path)]
    if not result:
        lines.append(' "layouts": []}')
        return "\n".join(lines) + "\n"
    lines.append(' "layouts": [')
    for i, lay in enumerate(result):
        head = {k: v for k, v in lay.items() if k != "members"}
        members = [json.dumps(m) for m in lay["members"]]
        lines.append("  " + json.dumps(head)[:-1] + ',\n   "members": [')
        lines.append("    " + ",\n    ".join(members) + "]}" +
                     ("," if i + 1 < len(result) else ""))
    lines.append(" ]}")
    return "\n".join(lines) + "\n"


VARIANT_RE = re.compile(r"_(dwarf\d|gz)$")


def producer_of(path):
    folder = os.path.dirname(path)
    m = VARIANT_RE.search(os.path.splitext(os.path.basename(path))[0])
    return folder + (" " + m.group(1) if m else "")


def main(argv):
    out_dir = "expected"
    if len(argv) >= 2 and argv[0] == "--out":
        out_dir, argv = argv[1], argv[2:]
    if not argv:
        print(__doc__.strip().split("\n\n")[-1], file=sys.stderr)
        return 2
    notes = []
    producers = {}
    for path in argv:
        obj = ObjectInfo(path)
        result, cus = layouts(obj, notes)
        dest = os.path.join(out_dir, os.path.splitext(path)[0] + ".json")
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        with open(dest, "w") as f:
            f.write(dump_object(path, result))
        p = producers.setdefault(producer_of(path), {
            "objects": 0, "versions": set(), "forms": set(), "sections": set(),
            "compressed": set(), "relocs": set(), "no_debug_info": [],
            "line_versions": set()})
        p["objects"] += 1
        p["sections"].update(s for s in obj.sections if s.startswith(".debug"))
        p["compressed"].update(obj.compressed)
        if cus is None:
            p["no_debug_info"].append(os.path.basename(path))
            continue
        p["versions"].update("DWARF %d, address size %d" % c for c in cus)
        p["relocs"].add(("RELA" if obj.rela else "REL (bytes in place)") if obj.elf
                        else "COFF (bytes in place)")
        for line in run(DWARFDUMP, "--debug-line", path).splitlines():
            m = re.match(r"\s+version: (\d+)$", line)
            if m:
                p["line_versions"].add(int(m.group(1)))
        for line in run(DWARFDUMP, "--debug-abbrev", path).splitlines():
            m = re.match(r"\s+DW_AT_\w+\s+(DW_FORM_\w+)", line)
            if m:
                p["forms"].add(m.group(1))
    with open(os.path.join(out_dir, "producers.txt"), "w") as f:
        for name in sorted(producers):
            p = producers[name]
            f.write("%s (%d objects)\n" % (name, p["objects"]))
            if p["versions"]:
                f.write("  units: %s\n" % "; ".join(sorted(p["versions"])))
                f.write("  line tables: version %s\n"
                        % ", ".join(str(v) for v in sorted(p["line_versions"])))
                f.write("  relocations: %s\n" % ", ".join(sorted(p["relocs"])))
                f.write("  forms: %s\n" % " ".join(sorted(p["forms"])))
            f.write("  debug sections: %s\n" % (" ".join(sorted(p["sections"])) or "none"))
            if p["compressed"]:
                f.write("  compressed: %s\n" % " ".join(sorted(p["compressed"])))
            if p["no_debug_info"]:
                f.write("  no .debug_info: %s\n" % " ".join(sorted(p["no_debug_info"])))
        f.write("notes:%s\n" % ("".join("\n  " + n for n in notes) if notes else " none"))
    for n in notes:
        print("expect.py: " + n, file=sys.stderr)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Fail as e:
        print("expect.py: %s" % e, file=sys.stderr)
        sys.exit(1)
