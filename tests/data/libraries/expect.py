#!/usr/bin/env python3
"""Writes expected/<file>.json for every binary under the given folder.

The expectations come from the LLVM tools, not from our own archive or COFF
parsing, so that they check the engine by a second way:
  llvm-ar-19 tv / p    member names (long-name tables, #1/N names and thin
                       archive paths resolved by llvm-ar) and member bytes
  llvm-readobj-19      symbol records of every COFF or big-object module
Only a member's first bytes are looked at here, to tell its kind.  Every
archive's per-member results are compared with llvm-readobj run on the
whole archive; the script stops on any difference.

Rules applied to the symbol records (the engine's):
  COMMON declaration  class 2, type 0, section 0; Value is the size
  defined data        class 2, type 0, section > 0
  procedure           (type & 0x30) == 0x20, section != 0; a name holding
                      '@' is not recorded (listed in functions_not_recorded)

usage: expect.py [--out DIR] ROOT
"""
import json
import os
import re
import subprocess
import sys
import tempfile

READOBJ = os.environ.get("LLVM_READOBJ", "llvm-readobj-19")
LLVM_AR = os.environ.get("LLVM_AR", "llvm-ar-19")

FOLDERS = ("obj", "gnu", "bsd", "import", "bigobj", "bitcode")
SUFFIXES = (".obj", ".a", ".lib")

BIGOBJ_CLASS_ID = bytes.fromhex("C7A1BAD1EEBAA94BAF20FAF66AA4DCB8")

# The llvm-readobj "Format:" each kind must show; bitcode is not read.
READOBJ_FORMATS = {
    "coff": ("COFF-i386", "COFF-x86-64"),
    "bigobj": ("COFF-i386", "COFF-x86-64"),
    "import-short": ("COFF-import-file-i386", "COFF-import-file-x86-64"),
}


class Mismatch(Exception):
    pass


def run(cmd, cwd=None):
    p = subprocess.run(cmd, cwd=cwd, capture_output=True)
    if p.returncode != 0:
        raise Mismatch("%s failed: %s" % (" ".join(cmd), p.stderr.decode(errors="replace")))
    return p.stdout, p.stderr.decode(errors="replace")


def kind_of(data):
    """Kind of one module from its first bytes."""
    if data[:4] in (b"BC\xc0\xde", b"\xde\xc0\x17\x0b"):
        return "bitcode"
    if data[:4] == b"\x7fELF":
        return "elf"
    if data[:4] == b"\x00\x00\xff\xff":
        version = int.from_bytes(data[4:6], "little")
        if version == 0:
            return "import-short"
        if version >= 2 and data[12:28] == BIGOBJ_CLASS_ID:
            return "bigobj"
        raise Mismatch("00 00 FF FF header of version %d is not handled" % version)
    return "coff"


def parse_readobj(text):
    """Files of llvm-readobj --file-headers --symbols output, in order:
    {"file", "format", "machine", "symbols": [(name, value, section, type, class)]}."""
    files = []
    cur = sym = None
    for line in text.splitlines():
        if line.startswith("File: "):
            cur = {"file": line[6:], "format": None, "machine": None, "symbols": []}
            files.append(cur)
        elif cur is None:
            continue
        elif line.startswith("Format: "):
            cur["format"] = line[8:]
        elif line.startswith("  Machine: "):
            cur["machine"] = re.search(r"\((0x[0-9A-Fa-f]+)\)$", line).group(1)
        elif line == "  Symbol {":
            sym = {}
        elif line == "  }" and sym is not None:
            complex_type = int(sym["ComplexType"], 0)
            base_type = int(sym["BaseType"], 0)
            cur["symbols"].append((sym["Name"], int(sym["Value"]), int(sym["Section"], 0),
                                   (complex_type << 4) | base_type, int(sym["StorageClass"], 0)))
            sym = None
        elif sym is not None and line.startswith("    ") and not line.startswith("     "):
            key, _, value = line[4:].partition(": ")
            if key == "Name":
                sym["Name"] = value
            elif key == "Value":
                sym["Value"] = value
            elif key in ("Section", "BaseType", "ComplexType", "StorageClass"):
                # "Name (number)", or the bare number when the tool has no name for it.
                m = re.fullmatch(r"(?:.* \()?(-?(?:0x[0-9A-Fa-f]+|\d+))\)?", value)
                if not m:
                    raise Mismatch("cannot read llvm-readobj line %r" % line)
                sym[key] = m.group(1)
    return files


def classify(symbols):
    decls, procs, not_recorded, data = [], [], [], []
    for name, value, section, type_, cls in symbols:
        if cls == 2 and type_ == 0 and section == 0:
            decls.append({"name": name, "size": value})
        elif cls == 2 and type_ == 0 and section > 0:
            data.append(name)
        elif (type_ & 0x30) == 0x20 and section != 0:
            (not_recorded if "@" in name else procs).append(name)
    return {"common_declarations": decls, "procedures": procs,
            "functions_not_recorded": not_recorded, "defined_data": data}


def readobj(data, tmpdir):
    path = os.path.join(tmpdir, "module")
    with open(path, "wb") as f:
        f.write(data)
    out, err = run([READOBJ, "--file-headers", "--symbols", path])
    return parse_readobj(out.decode()), err


def module(member_name, data, tmpdir):
    kind = kind_of(data)
    entry = {"member_name": member_name, "kind": kind}
    if kind not in READOBJ_FORMATS and kind != "bitcode":
        raise Mismatch("%s: kind %s is not expected here" % (member_name, kind))
    files, err = readobj(data, tmpdir)
    if kind == "bitcode":
        if files or "bitcode files are not supported" not in err:
            raise Mismatch("%s: llvm-readobj did not refuse bitcode" % member_name)
        return entry, None
    if len(files) != 1 or files[0]["format"] not in READOBJ_FORMATS[kind]:
        raise Mismatch("%s: llvm-readobj sees %r, the first bytes say %s"
                       % (member_name, [f["format"] for f in files], kind))
    if kind == "import-short":
        return entry, None
    entry["machine"] = files[0]["machine"]
    entry.update(classify(files[0]["symbols"]))
    return entry, files[0]["symbols"]


TV_LINE = re.compile(r"^\S+ \d+/\d+ +(\d+) \w{3} [ \d]\d \d\d:\d\d \d{4} (.+)$")


def archive_members(path):
    """(name, bytes) per member, from llvm-ar run in the archive's folder
    (so thin-archive paths come out as stored)."""
    folder, base = os.path.split(os.path.abspath(path))
    listing, _ = run([LLVM_AR, "tv", base], cwd=folder)
    members = []
    for line in listing.decode().splitlines():
        m = TV_LINE.match(line)
        if not m:
            raise Mismatch("%s: cannot read llvm-ar line %r" % (path, line))
        members.append((m.group(2), int(m.group(1))))
    blob, _ = run([LLVM_AR, "p", base], cwd=folder)
    if sum(size for _, size in members) != len(blob):
        raise Mismatch("%s: llvm-ar p gave %d bytes, tv sizes add up to %d"
                       % (path, len(blob), sum(size for _, size in members)))
    out, pos = [], 0
    for name, size in members:
        out.append((name, blob[pos:pos + size]))
        pos += size
    return out


def cross_check(path, modules):
    """llvm-readobj on the whole archive must list the same COFF modules
    with the same symbols as the members read one by one.  It names a
    short import member by its DLL alone and skips bitcode members."""
    folder, base = os.path.split(os.path.abspath(path))
    out, _ = run([READOBJ, "--file-headers", "--symbols", base], cwd=folder)
    whole = [f for f in parse_readobj(out.decode()) if "import-file" not in (f["format"] or "")]
    if [(f["file"], f["symbols"]) for f in whole] != \
       [("%s(%s)" % (base, name), symbols) for name, symbols in modules]:
        raise Mismatch("%s: llvm-readobj on the archive disagrees with its members" % path)


def expect(root, rel, tmpdir):
    path = os.path.join(root, rel)
    with open(path, "rb") as f:
        head = f.read(8)
    result = {"file": rel}
    if head in (b"!<arch>\n", b"!<thin>\n"):
        thin = head == b"!<thin>\n"
        result["container"] = "thin archive" if thin else "archive"
        result["members"] = []
        read = []
        for name, data in archive_members(path):
            entry, symbols = module(name, data, tmpdir)
            if thin:
                # Thin members live in files named relative to the archive.
                entry["member_file"] = os.path.normpath(os.path.join(os.path.dirname(rel), name))
                with open(os.path.join(root, entry["member_file"]), "rb") as f:
                    if f.read() != data:
                        raise Mismatch("%s: %s differs from llvm-ar p" % (rel, name))
            result["members"].append(entry)
            if symbols is not None:
                read.append((name, symbols))
        cross_check(path, read)
    else:
        with open(path, "rb") as f:
            data = f.read()
        result["container"] = "object"
        result["members"] = [module(None, data, tmpdir)[0]]
    return result


def dump(result):
    """JSON with one line per member key, so that diffs stay readable."""
    def one(value):
        return json.dumps(value, ensure_ascii=True)
    lines = ["{", ' "file": %s,' % one(result["file"]),
             ' "container": %s,' % one(result["container"]), ' "members": [']
    for i, member in enumerate(result["members"]):
        keys = ",\n".join("   %s: %s" % (one(k), one(v)) for k, v in member.items())
        lines.append("  {\n%s\n  }%s" % (keys, "," if i + 1 < len(result["members"]) else ""))
    lines += [" ]", "}"]
    text = "\n".join(lines) + "\n"
    assert json.loads(text) == result
    return text


def main(argv):
    out_dir = "expected"
    args = argv[1:]
    if args[:1] == ["--out"]:
        out_dir, args = args[1], args[2:]
    if len(args) != 1:
        sys.exit(__doc__.strip().splitlines()[-1])
    root = args[0]
    rels = []
    for folder in FOLDERS:
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for n in names:
                if n.endswith(SUFFIXES):
                    rels.append(os.path.relpath(os.path.join(dirpath, n), root))
    with tempfile.TemporaryDirectory() as tmpdir:
        for rel in sorted(rels):
            try:
                result = expect(root, rel, tmpdir)
            except Mismatch as e:
                sys.exit("expect.py: %s" % e)
            target = os.path.join(out_dir, rel + ".json")
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "w") as f:
                f.write(dump(result))
    print("expect.py: wrote %d files under %s" % (len(rels), out_dir))


if __name__ == "__main__":
    main(sys.argv)
