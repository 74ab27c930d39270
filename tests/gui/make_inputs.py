#!/usr/bin/env python3
"""Makes the inputs and the expectations of the Wine end-to-end run.

    make_inputs.py CORPUS_DIR OUT_DIR

Writes into OUT_DIR:
  b_cut.obj      b_setup.obj cut inside its section table (the run stops on it)
  p_many.obj     one module declaring 50,000 COMMON blocks (the fill-time check)
  dup/b_tune.obj a copy of b_tune.obj in another folder (same display name, two entries)
  expected.tsv   what the window must show, taken from CORPUS_DIR/expected

expected.tsv holds one "key<TAB>value" a line; a key given several times is a list in
order. In values a line feed is written \\n and a backslash \\\\.
"""
import json
import struct
import sys
from pathlib import Path

MANY_BLOCKS = 50_000
SECTION_HEADER_SIZE = 40
FILE_HEADER_SIZE = 20


def escape(text):
    return text.replace("\\", "\\\\").replace("\n", "\\n")


class Tsv:
    def __init__(self):
        self.lines = []

    def put(self, key, value):
        self.lines.append(f"{key}\t{escape(str(value))}")

    def put_all(self, key, values):
        for value in values:
            self.put(key, value)

    def write(self, path):
        path.write_text("\n".join(self.lines) + "\n", encoding="latin-1")


def block_order(row):
    # Rows of the block list order as their names do: bytewise, "*" mark left aside.
    return row.rstrip("*").encode("latin-1")


def put_views(tsv, name, results):
    """The block views of one analysis over the files of the given results together.

    The sets merged here share no block name, so each block keeps its own rows."""
    views = {"blocks_all": [], "blocks_problems_only": []}
    for result in results:
        for key in views:
            views[key] += result["views"][key]
    for key, rows in views.items():
        tsv.put_all(f"view.{name}.{key}", sorted(rows, key=block_order))
    tsv.put(f"view.{name}.hint_all", results[0]["views"]["hint_all"])
    tsv.put(f"view.{name}.hint_problems_only", results[0]["views"]["hint_problems_only"])
    for result in results:
        for block in result["model"]["blocks"]:
            tsv.put_all(f"detail.{name}.{block['name']}", block["detail_rows"])
            if block["conflict_message"] is not None:
                tsv.put(f"conflict.{name}.{block['name']}", block["conflict_message"])
    for result in results:
        tsv.put_all(f"messages.{name}", result["messages"])


def make_cut_object(corpus, out, tsv):
    whole = (corpus / "obj" / "b_setup.obj").read_bytes()
    sections = struct.unpack_from("<H", whole, 2)[0]
    cut = FILE_HEADER_SIZE + SECTION_HEADER_SIZE * sections // 2
    (out / "b_cut.obj").write_bytes(whole[:cut])
    tsv.put_all("messages.b_cut", [
        f"QUORV Internal: fread returned {cut - FILE_HEADER_SIZE} bytes "
        f"({SECTION_HEADER_SIZE * sections} expected). [analyze]",
        "Error reading section headers\n",
    ])


def make_many_blocks_object(out, tsv):
    """An i386 object without sections whose symbols are all undefined external data
    (section 0, type 0, class 2): each one declares a COMMON block of 16 bytes."""
    names = [f"_b{i:05d}_" for i in range(MANY_BLOCKS)]
    assert all(len(n) == 8 for n in names)  # stored in the record, no string table entry
    header = struct.pack("<HHIIIHH", 0x14C, 0, 0, FILE_HEADER_SIZE, MANY_BLOCKS, 0, 0)
    symbols = b"".join(struct.pack("<8sIhHBB", n.encode(), 16, 0, 0, 2, 0) for n in names)
    string_table = struct.pack("<I", 4)
    (out / "p_many.obj").write_bytes(header + symbols + string_table)
    tsv.put("view.many.count", MANY_BLOCKS)
    tsv.put("view.many.first", names[0])
    tsv.put("view.many.last", names[-1])


def main():
    corpus, out = Path(sys.argv[1]), Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    expected = corpus / "expected"
    load = lambda name: json.loads((expected / name).read_text())
    tsv = Tsv()
    put_views(tsv, "b_sizes", [load("sets/b_sizes.json")])
    put_views(tsv, "b_d", [load("sets/b_sizes.json"), load("sets/d_collide.json")])
    put_views(tsv, "k_e", [load("k_msvc.obj.json"), load("e_long.obj.json")])
    tsv.put_all("messages.j_heat", load("j_heat.exe.json")["messages"])
    make_cut_object(corpus, out, tsv)
    make_many_blocks_object(out, tsv)
    (out / "dup").mkdir(exist_ok=True)
    (out / "dup" / "b_tune.obj").write_bytes((corpus / "obj" / "b_tune.obj").read_bytes())
    tsv.write(out / "expected.tsv")


if __name__ == "__main__":
    main()
