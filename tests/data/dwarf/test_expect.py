#!/usr/bin/env python3
"""Tests of expect.py's parsers and offset arithmetic on captured and
hand-made dumper output (no tools needed): python3 test_expect.py"""

import sys
import types
import unittest

sys.dont_write_bytecode = True      # keep __pycache__ out of the data folder
import expect  # noqa: E402

# A unit as llvm-dwarfdump --verbose prints it: subprogram "ua" with /C/
# holding J (4-byte integer) and M (integer(kind=4)(0:1,1:3)), a CHARACTER*8
# T and a structure S.  The byte layout of J's DIE is made by info() below.
DUMP = """\
0x00000000: Compile Unit: length = 0x00000060, format = DWARF32, version = 0x0005, unit_type = DW_UT_compile, abbr_offset = 0x0000, addr_size = 0x04 (next unit at 0x00000064)

0x0000000c: DW_TAG_compile_unit [1] *
0x0000000d:   DW_TAG_subprogram [2] * (0x0000000c)
                DW_AT_name [DW_FORM_string]\t("ua")
0x00000011:     DW_TAG_common_block [3] * (0x0000000d)
                  DW_AT_name [DW_FORM_string]\t("c")
                  DW_AT_decl_file [DW_FORM_implicit_const]\t("./sub/t.f")
                  DW_AT_decl_line [DW_FORM_data1]\t(4)
                  DW_AT_linkage_name [DW_FORM_string]\t("c_")
0x00000015:       DW_TAG_variable [4]   (0x00000011)
                    DW_AT_name [DW_FORM_string]\t("j")
                    DW_AT_decl_file [DW_FORM_implicit_const]\t("./sub/t.f")
                    DW_AT_decl_line [DW_FORM_data1]\t(3)
                    DW_AT_type [DW_FORM_ref4]\t(cu + 0x0040 => {0x00000040} "integer(kind=4)")
                    DW_AT_location [DW_FORM_exprloc]\t(DW_OP_addr 0x0)

0x00000030:       NULL

0x00000031:     NULL

0x00000040:   DW_TAG_base_type [5]   (0x0000000c)
                DW_AT_byte_size [DW_FORM_data1]\t(0x04)
                DW_AT_name [DW_FORM_string]\t("integer(kind=4)")
0x00000048:   DW_TAG_array_type [6] * (0x0000000c)
                DW_AT_type [DW_FORM_ref4]\t(cu + 0x0040 => {0x00000040} "integer(kind=4)")
0x00000049:     DW_TAG_subrange_type [7]   (0x00000048)
                  DW_AT_lower_bound [DW_FORM_data1]\t(0x00)
                  DW_AT_upper_bound [DW_FORM_sdata]\t(1)
0x0000004a:     DW_TAG_subrange_type [8]   (0x00000048)
                  DW_AT_count [DW_FORM_data1]\t(0x03)
0x0000004b:     NULL
0x00000050:   DW_TAG_string_type [9]   (0x0000000c)
                DW_AT_byte_size [DW_FORM_data1]\t(0x08)
0x00000052:   DW_TAG_structure_type [10]   (0x0000000c)
                DW_AT_name [DW_FORM_string]\t("point")
                DW_AT_byte_size [DW_FORM_data1]\t(0x14)
0x00000058:   DW_TAG_const_type [11]   (0x0000000c)
                DW_AT_type [DW_FORM_ref4]\t(cu + 0x0048 => {0x00000048} "integer(kind=4)[]")
0x00000063:   NULL
"""

# J's DIE: code (1) + "j\0" (2) + decl_line (1) + ref4 (4) = 0x1d,
# then the exprloc length, DW_OP_addr, and the operand at 0x1f.
OPERAND = 0x1F


def info(operand_bytes, opcode=0x03):
    data = bytearray(0x64)
    data[OPERAND - 2] = 5
    data[OPERAND - 1] = opcode
    data[OPERAND:OPERAND + 4] = operand_bytes
    return bytes(data)


def obj(kind="ELF32", rela=False, big=False, data=None, relocs=None, common=None):
    """A stand-in for expect.ObjectInfo with the dumpers' results filled in."""
    o = types.SimpleNamespace(
        path="t.o", kind=kind, rela=rela, big_endian=big,
        sections=[".debug_info"], info=data if data is not None else info(b"\0" * 4),
        relocs=relocs if relocs is not None else {OPERAND: ("R_386_32", "c_", None)},
        common=common if common is not None else {"c_": 8})
    o.in_place = lambda off, width: expect.ObjectInfo.in_place(o, off, width)
    return o


class Layouts(unittest.TestCase):
    def test_member_offset_by_relocation_kind(self):
        cases = [
            # name, object, expected offset of j
            ("ELF REL: bytes in place", obj(data=info(b"\x04\0\0\0")), 4),
            ("ELF REL big-endian", obj(big=True, data=info(b"\0\0\0\x0c")), 12),
            ("ELF RELA: the addend", obj(rela=True, relocs={
                OPERAND: ("R_PPC_ADDR32", "c_", 16)}), 16),
            ("COFF i686: underscore", obj(kind="COFF-i386", data=info(b"\x08\0\0\0"),
                relocs={OPERAND: ("IMAGE_REL_I386_DIR32", "_c_", None)},
                common={"_c_": 12}), 8),
        ]
        for name, o, want in cases:
            with self.subTest(name):
                notes = []
                result, cus = expect.layouts(o, notes, DUMP)
                self.assertEqual(notes, [])
                self.assertEqual(cus, [(5, 4)])
                lay = result[0]
                self.assertEqual((lay["block"], lay["subprogram"], lay["decl_file"],
                                  lay["decl_line"]), ("c", "ua", "t.f", 4))
                self.assertEqual(lay["members"], [{"name": "j", "offset": want,
                                                   "size": 4, "type": "integer(kind=4)"}])

    def test_rela_with_bytes_in_place_is_noted(self):
        o = obj(rela=True, data=info(b"\x04\0\0\0"),
                relocs={OPERAND: ("R_PPC_ADDR32", "c_", 4)})
        notes = []
        expect.layouts(o, notes, DUMP)
        self.assertEqual(len(notes), 1)

    def test_missing_relocation_is_noted_not_guessed(self):
        notes = []
        result, _ = expect.layouts(obj(relocs={}), notes, DUMP)
        self.assertIsNone(result[0]["members"][0]["offset"])
        self.assertIn("no relocation", notes[0])

    def test_rejects(self):
        cases = [
            ("relocated against a section, not the block",
             obj(relocs={OPERAND: ("R_386_32", ".bss", None)})),
            ("block symbol is not COMMON", obj(common={})),
            ("operand not behind DW_OP_addr", obj(data=info(b"\0" * 4, opcode=0x0c))),
            ("relocation wider than an address",
             obj(relocs={OPERAND: ("R_X86_64_64", "c_", None)})),
            ("hex dump shorter than the unit", obj(data=info(b"\0" * 4)[:0x40])),
        ]
        for name, o in cases:
            with self.subTest(name):
                with self.assertRaises(expect.Fail):
                    expect.layouts(o, [], DUMP)


class Types(unittest.TestCase):
    def test_describe_type(self):
        dies, _, _ = expect.parse_dies(DUMP)
        cases = [
            (0x40, ("integer(kind=4)", 4)),
            (0x48, ("integer(kind=4)(0:1,1:3)", 24)),   # lower bound 0, a count
            (0x50, ("character(len=8)", 8)),
            (0x52, ("point", 20)),
            (0x58, ("integer(kind=4)(0:1,1:3)", 24)),   # through a qualifier
        ]
        for off, want in cases:
            with self.subTest(hex(off)):
                self.assertEqual(expect.describe_type(dies, off), want)


class Parsers(unittest.TestCase):
    def test_hex_dump_ignores_the_ascii_column(self):
        cases = [
            ("readelf, last line short",
             "Hex dump of section '.debug_info':\n"
             "  0x00000000 83000000 05000108 00000000 02000000 ................\n"
             "  0x00000010 cafe                                ca\n",
             bytes.fromhex("83000000 05000108 00000000 02000000 cafe")),
            ("llvm-readobj, ascii of hex digits",
             "0x00000000 61626364 65660000 00000000 00000000 abcdef..........\n"
             "0x00000010 00000000 dead                       ....\n",
             bytes.fromhex("61626364 65660000 00000000 00000000 00000000 dead")),
        ]
        for name, text, want in cases:
            with self.subTest(name):
                self.assertEqual(expect.parse_hex_dump(text), want)

    def test_elf_relocations(self):
        text = """
Relocation section '.rela.text' at offset 0x428 contains 1 entry:
    Offset             Info             Type               Symbol's Value  Symbol's Name + Addend
0000000000000006  0000000900000002 R_X86_64_PC32          0000000000000010 c_ - 8

Relocation section '.rela.debug_info' at offset 0x458 contains 2 entries:
    Offset             Info             Type               Symbol's Value  Symbol's Name + Addend
0000000000000063  0000000900000001 R_X86_64_64            0000000000000010 c_ + 0
0000000000000075  0000000900000001 R_X86_64_64            0000000000000010 c_ - 1c
"""
        self.assertEqual(expect.parse_elf_relocs(text), (True, {
            0x63: ("R_X86_64_64", "c_", 0), 0x75: ("R_X86_64_64", "c_", -0x1C)}))
        rel = """Relocation section '.rel.debug_info' at offset 0x398 contains 1 entry:
 Offset     Info    Type                Sym. Value  Symbol's Name
00000053  00000c01 R_386_32               00000010   c_
"""
        self.assertEqual(expect.parse_elf_relocs(rel), (False, {
            0x53: ("R_386_32", "c_", None)}))

    def test_common_symbols(self):
        elf = """
    12: 00000010     8 OBJECT  GLOBAL DEFAULT  COM c_
    13: 00000020 0x3567e00 OBJECT  GLOBAL DEFAULT  COM big_
    14: 00000000    26 FUNC    GLOBAL DEFAULT    1 ua_
    15: 00000000     0 NOTYPE  GLOBAL DEFAULT  UND other_
"""
        self.assertEqual(expect.parse_elf_common(elf), {"c_": 8, "big_": 56000000})
        coff = ""
        for name, value, section, cls in [
                ("_c_", 8, "IMAGE_SYM_UNDEFINED (0)", "External (0x2)"),
                ("_ext_", 0, "IMAGE_SYM_UNDEFINED (0)", "External (0x2)"),
                ("_ua_", 0, ".text (1)", "External (0x2)"),
                ("_init_", 12, ".data (2)", "External (0x2)")]:
            coff += ("  Symbol {\n    Name: %s\n    Value: %d\n    Section: %s\n"
                     "    BaseType: Null (0x0)\n    StorageClass: %s\n"
                     "    AuxSymbolCount: 0\n  }\n" % (name, value, section, cls))
        self.assertEqual(expect.parse_coff_common(coff), {"_c_": 8})

    def test_compressed_flag(self):
        text = """
  [ 5] .debug_info       PROGBITS        0000000000000000 000098 00009f 00   C  0   0  8
  [ 6] .rela.debug_info  RELA            0000000000000000 000510 0001f8 18   I 18   5  8
  [10] .debug_line       PROGBITS        0000000000000000 0001ff 000052 00      0   0  1
  [14] .debug_str        PROGBITS        00000000 000238 00005f 01 MSC  0   0  4
"""
        names, compressed = expect.parse_elf_sections(text)
        self.assertEqual(names, [".debug_info", ".rela.debug_info", ".debug_line", ".debug_str"])
        self.assertEqual(compressed, [".debug_info", ".debug_str"])


if __name__ == "__main__":
    unittest.main()
