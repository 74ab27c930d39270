#!/usr/bin/env python3
"""Checks of expect.py's own reading of tool output, so that a slip there
does not turn into a wrong expectation.  python3 test_expect.py"""
import unittest

import expect

READOBJ_TEXT = """
File: m.obj
Format: COFF-i386
ImageFileHeader {
  Machine: IMAGE_FILE_MACHINE_I386 (0x14C)
}
Symbols [
  Symbol {
    Name: _blk_
    Value: 24
    Section: IMAGE_SYM_UNDEFINED (0)
    BaseType: Null (0x0)
    ComplexType: Null (0x0)
    StorageClass: External (0x2)
    AuxSymbolCount: 0
  }
  Symbol {
    Name: _f_
    Value: 0
    Section: .text (1)
    BaseType: Null (0x0)
    ComplexType: Function (0x2)
    StorageClass: External (0x2)
    AuxSymbolCount: 1
    AuxFunctionDef {
      Name: not-a-symbol
      TotalSize: 0
    }
  }
  Symbol {
    Name: @feat.00
    Value: 1
    Section: IMAGE_SYM_ABSOLUTE (-1)
    BaseType: Null (0x0)
    ComplexType: Null (0x0)
    StorageClass: Static (0x3)
    AuxSymbolCount: 0
  }
  Symbol {
    Name: _odd_
    Value: 0
    Section: .data (2)
    BaseType: Null (0x0)
    ComplexType: 0x5
    StorageClass: External (0x2)
    AuxSymbolCount: 0
  }
]
File: m2.obj
Format: COFF-x86-64
"""


class ReadobjText(unittest.TestCase):
    def test_symbols_and_files(self):
        files = expect.parse_readobj(READOBJ_TEXT)
        self.assertEqual([(f["file"], f["format"]) for f in files],
                         [("m.obj", "COFF-i386"), ("m2.obj", "COFF-x86-64")])
        self.assertEqual(files[0]["machine"], "0x14C")
        # The aux record's "Name:" line must not replace the symbol's name.
        self.assertEqual(files[0]["symbols"], [
            ("_blk_", 24, 0, 0x00, 2),
            ("_f_", 0, 1, 0x20, 2),
            ("@feat.00", 1, -1, 0x00, 3),
            ("_odd_", 0, 2, 0x50, 2)])    # a type the tool has no name for
        self.assertEqual(files[1]["symbols"], [])


class Classify(unittest.TestCase):
    # (symbol, where it must land or None)
    CASES = [
        (("_blk_", 16, 0, 0x00, 2), ("common_declarations", {"name": "_blk_", "size": 16})),
        (("_ext_", 0, 0, 0x00, 2), ("common_declarations", {"name": "_ext_", "size": 0})),
        (("_init_", 0, 2, 0x00, 2), ("defined_data", "_init_")),
        (("_sub_", 0, 1, 0x20, 2), ("procedures", "_sub_")),
        (("_MAIN__", 0, 1, 0x20, 3), ("procedures", "_MAIN__")),
        (("_fp_", 0, 1, 0x24, 2), ("procedures", "_fp_")),          # function returning float
        (("_StdF@8", 0, 1, 0x20, 2), ("functions_not_recorded", "_StdF@8")),
        (("_xstep@8", 0, 1, 0x00, 2), ("defined_data", "_xstep@8")),  # '@' only matters for functions
        (("_called_", 0, 0, 0x20, 2), None),                          # undefined function
        (("_ptr_", 0, 0, 0x10, 2), None),                             # pointer type, not data
        (("_arr_", 0, 1, 0x30, 2), None),                             # array type
        (("_stat_", 0, 2, 0x00, 3), None),                            # static data
        (("_abs_", 5, -1, 0x00, 2), None),                            # absolute external
        (("_weak_", 0, 0, 0x00, 105), None),                          # weak external
    ]

    def test_cases(self):
        for symbol, where in self.CASES:
            with self.subTest(symbol=symbol[0]):
                got = {k: v for k, v in expect.classify([symbol]).items() if v}
                self.assertEqual(got, {} if where is None else {where[0]: [where[1]]})

    def test_table_order_kept(self):
        got = expect.classify([("_b_", 8, 0, 0, 2), ("_a_", 4, 0, 0, 2), ("_b_", 12, 0, 0, 2)])
        self.assertEqual([d["name"] for d in got["common_declarations"]], ["_b_", "_a_", "_b_"])


class KindOf(unittest.TestCase):
    BIG = b"\x00\x00\xff\xff\x02\x00\x4c\x01" + b"\x00" * 4 + expect.BIGOBJ_CLASS_ID
    CASES = [
        (b"\x4c\x01\x07\x00", "coff"),
        (b"\x64\x86\x05\x00", "coff"),
        (b"\x00\x00\xff\xff\x00\x00\x4c\x01", "import-short"),
        (BIG, "bigobj"),
        (b"BC\xc0\xde\x35\x14", "bitcode"),
        (b"\xde\xc0\x17\x0b\x00\x00", "bitcode"),
        (b"\x7fELF\x01\x01", "elf"),
    ]

    def test_cases(self):
        for head, kind in self.CASES:
            with self.subTest(kind=kind):
                self.assertEqual(expect.kind_of(head), kind)

    def test_unknown_versions_stop(self):
        # Version 1 (and version 2 with another class ID) is not a big object.
        for head in (b"\x00\x00\xff\xff\x01\x00" + b"\x00" * 26,
                     self.BIG[:12] + b"\x01" * 16):
            with self.subTest(head=head[:6]), self.assertRaises(expect.Mismatch):
                expect.kind_of(head)


if __name__ == "__main__":
    unittest.main()
