#!/bin/sh
# Rebuilds the ELF test inputs from src/ and their expectations:
#   gf64/ gf32/    gfortran-12 x86-64 and -m32 objects
#   flang/         flang-new-16 objects
#   s390x/ ppc32/  gfortran-12 cross compilers (64-bit and 32-bit big-endian)
#   c/             gcc and clang-19 with -fcommon, one g++ object
#   lto/           gfortran -flto objects (slim and fat)
#   lib/           GNU-format archives (binutils ar, llvm-ar-19), one without
#                  an index, one thin archive whose members live in gf64/
#   thin/          a thin archive and the objects beside it
#   linked/        a shared object and an executable, both stripped
#   expected/      one JSON per binary, from expect.py
#   SHA256SUMS     checksums of the binaries
# Debian 12 packages: gfortran-12, gfortran-12-multilib, flang-16, clang-19,
# llvm-19, g++, binutils, gfortran-s390x-linux-gnu, gfortran-powerpc-linux-gnu
# (they bring the cross binutils), python3.
# Run from anywhere:  sh tests/data/elf/make.sh [--check]   (about 20 s)
#
# Determinism: every compiler runs inside src/ on a bare file name, so the
# FILE symbols hold no path; -fno-ident drops the compiler version from
# .comment; -frandom-seed fixes the hash that gcc puts into LTO section
# names (without it each run differs); ar runs with D (dates, uids 0) and
# llvm-ar writes zeros by default; nothing is compiled with -g, so no
# directory reaches an object and no -ffile-prefix-map is needed (gcc would
# record that option, with the scratch path in it, in the LTO objects).
# Module files go to the scratch folder, never into src/.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

GF=gfortran-12
FLANG=flang-new-16
CC=gcc
CLANG=clang-19
CXX=g++
S390=s390x-linux-gnu-gfortran
PPC=powerpc-linux-gnu-gfortran
LLVMAR=llvm-ar-19
FFLAGS="-c -O1 -fno-ident"

for tool in $GF $FLANG $CC $CLANG $CXX $S390 $PPC ar s390x-linux-gnu-ar $LLVMAR \
            readelf llvm-readobj-19 python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make.sh: $tool not found (see the package list at the top)" >&2; exit 1; }
done

# Fortran sources, object name = source name with .o.  big.f is 64-bit only
# (the block is larger than a 32-bit address space).
fsources="sizes_a.f sizes_b.f bdata.f datainit.f blkuse.f procs.f chars.f equiv.f
          modvars.f90 bindc.f90 main.f"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
out="$tmp/out"
mkdir -p "$out" "$tmp/mod"
for d in gf64 gf32 flang s390x ppc32 c lto lib thin linked; do mkdir "$out/$d"; done

fortran() { # fortran DIR COMPILER-AND-FLAGS... ; compiles $fsources into DIR
    dir=$1; shift
    for s in $fsources; do
        (cd src && "$@" "$s" -o "$out/$dir/${s%.*}.o")
    done
}

fortran gf64 $GF $FFLAGS -J "$tmp/mod"
(cd src && $GF $FFLAGS -mcmodel=medium big.f -o "$out/gf64/big.o")
fortran gf32 $GF -m32 $FFLAGS -J "$tmp/mod"
# flang-new-16 takes neither -fno-ident nor -mcmodel (it warns that they are
# unused); it writes no .comment section anyway.  No flang big.o: flang-new-16
# builds the block's 2.4 GB of zeros in memory (19 GB resident, two minutes)
# only to write a plain COMMON symbol.
fortran flang $FLANG -c -O1 -module-dir "$tmp/mod"
fortran s390x $S390 $FFLAGS -J "$tmp/mod"
(cd src && $S390 $FFLAGS big.f -o "$out/s390x/big.o")
fortran ppc32 $PPC $FFLAGS -J "$tmp/mod"

(cd src && $CC -c -O1 -fno-ident -fcommon tentative.c -o "$out/c/gcc_tentative.o")
(cd src && $CLANG -c -O1 -fno-ident -fcommon tentative.c -o "$out/c/clang_tentative.o")
(cd src && $CXX -c -O1 -fno-ident unique.cpp -o "$out/c/gxx_unique.o")

(cd src && $GF $FFLAGS -flto -frandom-seed=slim sizes_a.f -o "$out/lto/slim.o")
(cd src && $GF $FFLAGS -flto -ffat-lto-objects -frandom-seed=fat sizes_b.f -o "$out/lto/fat.o")

# Archives.  The member names come from the file names ar is given, so the
# objects are copied under the names the archive should hold: 15 characters
# is the longest name a GNU header holds itself ("character_blk.o/"), 16 and
# more go to the "//" member.
mkdir "$tmp/m"
cp "$out/gf64/sizes_a.o" "$out/gf64/sizes_b.o" "$out/gf64/blkuse.o" "$tmp/m/"
cp "$out/gf64/chars.o" "$tmp/m/character_blk.o"
cp "$out/gf64/datainit.o" "$tmp/m/datainit_table.o"
cp "$out/gf64/procs.o" "$tmp/m/collide_procedures.o"
members="sizes_a.o sizes_b.o character_blk.o datainit_table.o collide_procedures.o blkuse.o"
(cd "$tmp/m" && ar rcsD gnu_long.a $members && mv gnu_long.a "$out/lib/")
(cd "$tmp/m" && $LLVMAR rcs --format=gnu llvm_gnu.a $members && mv llvm_gnu.a "$out/lib/")
# llvm-ar switches to the 64-bit symbol table "/SYM64/" once offsets pass
# SYM64_THRESHOLD (2^32 unless set); 0 forces it on a small archive.
(cd "$tmp/m" && SYM64_THRESHOLD=0 $LLVMAR rcs --format=gnu llvm_sym64.a sizes_a.o collide_procedures.o \
    && mv llvm_sym64.a "$out/lib/")
# Without the "/" index (ar S): the "//" member comes first.
(cd "$tmp/m" && ar rcSD no_index.a collide_procedures.o sizes_a.o && mv no_index.a "$out/lib/")
(cd "$out/s390x" && s390x-linux-gnu-ar rcsD ../lib/s390x.a sizes_a.o sizes_b.o bindc.o)
cp "$out/lto/slim.o" "$tmp/m/lto_slim.o"
(cd "$tmp/m" && ar rcsD lto_mixed.a lto_slim.o sizes_b.o && mv lto_mixed.a "$out/lib/")
# Thin archives hold paths relative to the archive: "../gf64/x.o" here,
# bare names in thin/.
(cd "$out/lib" && ar rcsDT gf64_thin.a ../gf64/sizes_b.o ../gf64/bindc.o)
cp "$tmp/m/sizes_a.o" "$tmp/m/collide_procedures.o" "$out/thin/"
(cd "$out/thin" && ar rcsDT thin.a sizes_a.o collide_procedures.o)

# Not object files: the reader refuses both.  -no-pie, since Debian's
# default PIE would make the program an ET_DYN like the shared object;
# -z noseparate-code drops the page padding (14 KB -> 6 KB each).
LDSMALL="-s -Wl,-z,noseparate-code"
(cd src && $CC -shared -fPIC -O1 -fno-ident $LDSMALL shlib.c -o "$out/linked/libshared.so")
(cd src && $GF -O1 -fno-ident -no-pie $LDSMALL -J "$tmp/mod" main.f sizes_a.f -o "$out/linked/heat")

binaries=$(cd "$out" && find gf64 gf32 flang s390x ppc32 c lto lib thin linked -type f | LC_ALL=C sort)
sums=$(cd "$out" && sha256sum $binaries)
(cd "$out" && python3 "$here/expect.py" --out expected $binaries)

if [ "${1:-}" = "--check" ]; then
    # Rebuild only; compare the binaries with SHA256SUMS, the expectations
    # derived from the committed binaries with expected/, and the facts each
    # file is here to show.
    status=0
    if [ "$sums" = "$(cat SHA256SUMS)" ]; then
        echo "make.sh: rebuilt binaries match SHA256SUMS"
    else
        echo "make.sh: rebuilt binaries differ from SHA256SUMS:" >&2
        printf '%s\n' "$sums" | diff SHA256SUMS - >&2 || true
        status=1
    fi
    committed=$(find gf64 gf32 flang s390x ppc32 c lto lib thin linked -type f | LC_ALL=C sort)
    python3 expect.py --out "$tmp/expected" $committed
    if diff -r expected "$tmp/expected" >&2; then
        echo "make.sh: expected/ matches the committed binaries"
    else
        echo "make.sh: expected/ differs from what the committed binaries give" >&2
        status=1
    fi
    python3 expect.py --selftest || status=1
    python3 expect.py --facts expected || status=1
    exit $status
fi

rm -rf gf64 gf32 flang s390x ppc32 c lto lib thin linked expected
(cd "$out" && mv gf64 gf32 flang s390x ppc32 c lto lib thin linked expected "$here/")
printf '%s\n' "$sums" > SHA256SUMS
python3 expect.py --facts expected
echo "make.sh: wrote $(printf '%s\n' "$binaries" | wc -l) binaries, expected/, SHA256SUMS"
