#!/bin/sh
# Rebuilds the Fortran objects with DWARF debug information from src/, and
# their expected COMMON-block layouts (expected/, made by expect.py from the
# dumpers' output, not by Quorv's reader):
#   gf64/     gfortran-12 x86-64 ELF, -g -O0        (RELA)
#   gf32/     gfortran-12 -m32 i386 ELF, -g -O0     (REL: addends in place)
#   mingw32/  i686-w64-mingw32-gfortran -g -O0      (COFF, .obj)
#   mingw64/  x86_64-w64-mingw32-gfortran -g -O0    (COFF, .obj)
#   ppc32/    powerpc-linux-gnu-gfortran -g -O0     (big-endian, 32-bit RELA)
#   s390x/    s390x-linux-gnu-gfortran -g -O0       (big-endian, 64-bit RELA)
#   flang/    flang-new-16 -g                       (no debug sections at all)
# Every folder gets every source, plus pad_noalign (pad.f with
# -fno-align-commons).  gf64 also gets chars.f as DWARF 2, 3 and 4 and with
# zlib-compressed debug sections, gf32 the compressed one too.
#
# Tools (Debian 12): gfortran-12, gfortran-multilib, gfortran-mingw-w64-i686,
# gfortran-mingw-w64-x86-64, gfortran-powerpc-linux-gnu,
# gfortran-s390x-linux-gnu, flang-new-16, llvm-19, binutils, python3.
#
# Determinism: the compilers run inside src/ on bare file names with
# -ffile-prefix-map mapping that folder to ".", and -gno-record-gcc-switches
# keeps the flags out of DW_AT_producer, so no path reaches an object and two
# runs give identical bytes.  make.sh --check rebuilds into a scratch folder
# and compares with SHA256SUMS, and re-derives expected/ from the committed
# objects, after running test_expect.py (expect.py's own tests).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

GF64=gfortran-12
MINGW32=i686-w64-mingw32-gfortran
MINGW64=x86_64-w64-mingw32-gfortran
PPC=powerpc-linux-gnu-gfortran
S390X=s390x-linux-gnu-gfortran
FLANG=flang-new-16

for tool in $GF64 $MINGW32 $MINGW64 $PPC $S390X $FLANG \
            llvm-dwarfdump-19 llvm-readobj-19 readelf python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make.sh: $tool not found" >&2; exit 1; }
done

# -w: the padding and size-mismatch warnings are what these sources are for.
COMMON_FLAGS="-c -g -O0 -w -gno-record-gcc-switches -ffile-prefix-map=$here/src=."
sources="overlay_a.f overlay_b.f prefix_a.f prefix_b.f pad.f rd_a.f rd_b.f
equiv.f chars.f seqtype.f90 big_a.f big_b.f twoviews.f bdata.f blank_a.f blank_b.f"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
out=$tmp/build
mkdir "$out" "$tmp/mod"

# compile DIR EXT COMPILER [FLAGS...]: every source, and pad_noalign.
compile() {
    dir=$1 ext=$2; shift 2
    mkdir -p "$out/$dir"
    for s in $sources; do
        (cd src && "$@" $COMMON_FLAGS -J "$tmp/mod" "$s" -o "$out/$dir/${s%.*}.$ext")
    done
    (cd src && "$@" $COMMON_FLAGS -fno-align-commons -J "$tmp/mod" pad.f \
        -o "$out/$dir/pad_noalign.$ext")
}

compile gf64 o $GF64
compile gf32 o $GF64 -m32
compile mingw32 obj $MINGW32
compile mingw64 obj $MINGW64
compile ppc32 o $PPC
compile s390x o $S390X

# chars.f has arrays, CHARACTER, LOGICAL and padding: the richest of the
# sources for the other DWARF versions and for compressed sections.
for v in 2 3 4; do
    (cd src && $GF64 $COMMON_FLAGS -gdwarf-$v -J "$tmp/mod" chars.f \
        -o "$out/gf64/chars_dwarf$v.o")
done
(cd src && $GF64 $COMMON_FLAGS -gz=zlib -J "$tmp/mod" chars.f -o "$out/gf64/chars_gz.o")
(cd src && $GF64 $COMMON_FLAGS -m32 -gz=zlib -J "$tmp/mod" chars.f -o "$out/gf32/chars_gz.o")

# flang 16 ignores -g (and says so); the warning is expected, anything else is not.
mkdir "$out/flang"
(cd src && $FLANG -g -c flang_use.f -o "$out/flang/flang_use.o") 2>"$tmp/flang.err" || {
    cat "$tmp/flang.err" >&2; exit 1; }
grep -v "argument unused during compilation: '-g'" "$tmp/flang.err" >&2 || true

dirs="gf64 gf32 mingw32 mingw64 ppc32 s390x flang"
objects() { (cd "$1" && for d in $dirs; do ls "$d"/*.o "$d"/*.obj 2>/dev/null || true; done); }

(cd "$out" && python3 "$here/expect.py" --out "$out/expected" $(objects "$out"))
sums=$(cd "$out" && sha256sum $(objects "$out"))

if [ "${1:-}" = "--check" ]; then
    status=0
    python3 test_expect.py || status=1
    if [ "$sums" = "$(cat SHA256SUMS)" ]; then
        echo "make.sh: rebuilt objects match SHA256SUMS"
    else
        echo "make.sh: rebuilt objects differ from SHA256SUMS:" >&2
        printf '%s\n' "$sums" | diff SHA256SUMS - >&2 || true
        status=1
    fi
    # The committed expectations must follow from the committed objects.
    python3 expect.py --out "$tmp/expected" $(objects .)
    if diff -r expected "$tmp/expected" >&2; then
        echo "make.sh: expected/ matches the committed objects"
    else
        echo "make.sh: expected/ differs from what the committed objects give" >&2
        status=1
    fi
    exit $status
fi

rm -rf $dirs expected
for d in $dirs expected; do mv "$out/$d" "$d"; done
printf '%s\n' "$sums" > SHA256SUMS
echo "make.sh: wrote $dirs expected/ SHA256SUMS"
