#!/bin/sh
# Prints, for each object module in the given files (objects or libraries),
# what the checker's symbol scan takes from its symbol table, read with
# llvm-readobj-19 --symbols:
#   common NAME SIZE   undefined external data symbol (class 2, section 0,
#                      Type 0): a COMMON declaration, Value = size
#   data NAME          defined external data symbol (class 2, section > 0,
#                      Type 0): marks the module's own declaration of NAME
#                      initialized, when the module has one
#   procedure NAME     defined function symbol (Type & 0x30 = 0x20, section
#                      not 0, any class, no "@" in the name)
# in symbol-table order, each module headed by "module FILE" (a library
# member as "module LIB(MEMBER)").  Used by build.sh --check to compare the
# binaries with the module part of expected.txt.
#   sh examples/symbols.sh examples/obj/*.obj examples/lib/*.lib
set -eu
READOBJ=${LLVM_READOBJ:-llvm-readobj-19}
for f in "$@"; do
    "$READOBJ" --symbols "$f"
done | awk '
function flush() {
    if (name == "") return
    if (complex == 2 && section != 0 && index(name, "@") == 0)
        print "  procedure " name
    else if (class == 2 && base == 0 && complex == 0 && section == 0)
        print "  common " name " " value
    else if (class == 2 && base == 0 && complex == 0 && section > 0)
        print "  data " name
    name = ""
}
# readobj prints the numbers in parentheses: "Section: .text (1)",
# "BaseType: Null (0x0)", "StorageClass: External (0x2)".
function num(line,   t, n, i) {
    t = line; sub(/.*\(/, "", t); sub(/\).*/, "", t)
    if (t !~ /^0x/) return t + 0
    n = 0
    for (i = 3; i <= length(t); i++)
        n = n * 16 + index("0123456789abcdef", tolower(substr(t, i, 1))) - 1
    return n
}
/^File: /        { flush(); f = $0; sub(/^File: /, "", f); print "module " f; next }
/^  Symbol \{/   { flush(); inrec = 1; next }
inrec && /^    Name: /         { name = $0; sub(/^    Name: /, "", name); next }
inrec && /^    Value: /        { value = $2; next }
inrec && /^    Section: /      { section = num($0); next }
inrec && /^    BaseType: /     { base = num($0); next }
inrec && /^    ComplexType: /  { complex = num($0); next }
inrec && /^    StorageClass: / { class = num($0); next }
END { flush() }
'
