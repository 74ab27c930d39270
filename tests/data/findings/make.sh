#!/bin/sh
# Rebuilds the findings scenarios from src/: real compiler output for each rule of
# quorv-check's findings.
#   elf/*.o          gfortran-12 x86-64 objects (-c -O1), one per source, and elf/lto.o (-flto)
#   elf/damaged.a    a GNU archive of two of them whose second member is cut short
#   coff/*.obj       i686-w64-mingw32-gfortran objects of the COFF scenario (s09)
# Determinism: the compilers run on bare file names inside src/; ar gets D. Run from
# anywhere: sh tests/data/findings/make.sh (two runs give identical bytes).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/src"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
mkdir "$tmp/elf" "$tmp/coff"
for s in s0[3-7]_*.f; do
    gfortran -c -O1 -fno-ident "$s" -o "$tmp/elf/${s%.f}.o"
done
gfortran -c -O1 -flto -fno-ident s08_lto.f -o "$tmp/elf/s08_lto.o"
for s in s09_*.f; do
    i686-w64-mingw32-gfortran -c -O1 "$s" -o "$tmp/coff/${s%.f}.obj"
done
# A member cut short: its section table lies past the member's end.
head -c 200 "$tmp/elf/s07_sizes_b.o" > "$tmp/cut.o"
(cd "$tmp" && cp elf/s07_sizes_a.o . && ar rcD elf/damaged.a s07_sizes_a.o cut.o 2>/dev/null && rm s07_sizes_a.o cut.o)
rm -rf "$here/elf" "$here/coff"
mv "$tmp/elf" "$tmp/coff" "$here/"
cd "$here" && find elf coff -type f | sort | xargs sha256sum > SHA256SUMS
