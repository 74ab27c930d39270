#!/bin/sh
# Rebuilds the library and object-variant test files from src/:
#   obj/     i686 gfortran objects, and two thin archives over them
#   gnu/     GNU archives (mingw ar with and without "//", llvm-ar gnu)
#   bsd/     llvm-ar bsd and darwin archives
#   import/  import libraries (GNU dlltool, llvm-dlltool, llvm-lib /def)
#   bigobj/  -mbig-obj objects (i686, x86-64) and libraries holding one
#   bitcode/ a clang -flto bitcode object and libraries holding it
# then SHA256SUMS and expected/ (expect.py, after test_expect.py).
# Tools (Debian 12): gfortran-mingw-w64-i686, gfortran-mingw-w64-x86-64,
# clang-19, llvm-19, python3.  Run from anywhere:  sh make.sh
#
# Determinism: GNU as writes TimeDateStamp 0, ar gets D, clang gets
# -mno-incremental-linker-compatible, llvm-ar/llvm-lib/llvm-dlltool and
# dlltool write zero dates and ids by themselves.  Every tool runs on bare
# file names in the folder it works in, so no path reaches a .file symbol
# or a member name (dlltool even names its members after the output file).
# make.sh --check rebuilds into a temporary folder and compares the bytes
# with SHA256SUMS and the committed binaries' expectations with expected/.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

FC32=i686-w64-mingw32-gfortran
FC64=x86_64-w64-mingw32-gfortran
FFLAGS="-c -O1"
AR=i686-w64-mingw32-ar
DLLTOOL=i686-w64-mingw32-dlltool
CC=clang-19
CFLAGS="--target=i686-pc-windows-msvc -c -O1 -fcommon"
LLAR=llvm-ar-19
LLLIB=llvm-lib-19
LLDLLTOOL=llvm-dlltool-19

for tool in $FC32 $FC64 $AR $DLLTOOL $CC $LLAR $LLLIB $LLDLLTOOL llvm-readobj-19 python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make.sh: $tool not found (Debian 12: gfortran-mingw-w64-i686," \
             "gfortran-mingw-w64-x86-64, clang-19, llvm-19)" >&2; exit 1; }
done

dirs="obj gnu bsd import bigobj bitcode"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
out=$tmp/out

# expect.py's reading of tool output is checked before it is trusted.
python3 -B test_expect.py 2>"$tmp/unittest" || { cat "$tmp/unittest" >&2; exit 1; }
for d in $dirs; do mkdir -p "$out/$d"; done

# work DIR/FILE... : an empty work folder $tmp/w holding copies of these
# built files, so that librarians see bare names (llvm-lib would keep a
# directory in the member name).
work() {
    rm -rf "$tmp/w"; mkdir "$tmp/w"
    for f in "$@"; do cp "$out/$f" "$tmp/w/"; done
}

# --- objects -----------------------------------------------------------
for s in heat.f step.f ctrlbd.f pool.f; do
    (cd src && $FC32 $FFLAGS "$s" -o "$out/obj/${s%.f}.obj")
done
(cd src && $FC32 $FFLAGS longname.f90 -o "$out/obj/a_really_long_member_name.obj")
(cd src && $FC32 $FFLAGS -Wa,-mbig-obj wide.f90 -o "$out/bigobj/wide_big32.obj")
(cd src && $FC64 $FFLAGS -Wa,-mbig-obj wide.f90 -o "$out/bigobj/wide_big64.obj")
(cd src && $CC $CFLAGS -flto lto.c -o "$out/bitcode/lto_bc.obj")
(cd src && $CC $CFLAGS -mno-incremental-linker-compatible lto.c -o "$out/bitcode/lto_coff.obj")

# --- thin archives: they stay beside their members ---------------------
(cd "$out/obj" &&
    $AR rcsDT heat_thin.a heat.obj step.obj a_really_long_member_name.obj ctrlbd.obj &&
    $LLAR rcs --thin heat_llvm_thin.a heat.obj pool.obj ../bigobj/wide_big32.obj)

# --- GNU and BSD archives ------------------------------------------------
heat5="heat.obj step.obj a_really_long_member_name.obj ctrlbd.obj pool.obj"
work $(for f in $heat5; do echo obj/$f; done)
(cd "$tmp/w" &&
    $AR rcsD heat_gnu.a $heat5 &&
    $AR rcsD heat_gnu_short.a heat.obj step.obj ctrlbd.obj pool.obj &&
    $LLAR rcs --format=gnu heat_llvm_gnu.a $heat5 &&
    $LLAR rcs --format=bsd heat_bsd.a $heat5 &&
    $LLAR rcs --format=darwin heat_darwin.a $heat5)
mv "$tmp/w/heat_gnu.a" "$tmp/w/heat_gnu_short.a" "$tmp/w/heat_llvm_gnu.a" "$out/gnu/"
mv "$tmp/w/heat_bsd.a" "$tmp/w/heat_darwin.a" "$out/bsd/"

# --- import libraries ----------------------------------------------------
rm -rf "$tmp/w"; mkdir "$tmp/w"; cp src/x.def "$tmp/w/"
(cd "$tmp/w" &&
    $DLLTOOL -d x.def -l libx.dll.a &&
    $LLDLLTOOL -m i386 -d x.def -l x_dlltool.lib &&
    $LLLIB /machine:x86 /def:x.def /out:x_lib.lib)
mv "$tmp/w/libx.dll.a" "$tmp/w/x_dlltool.lib" "$tmp/w/x_lib.lib" "$out/import/"

# --- libraries holding a big object or bitcode ---------------------------
# llvm-lib stores members in the reverse of the command-line order.
work obj/heat.obj bigobj/wide_big32.obj
(cd "$tmp/w" &&
    $AR rcsD big_gnu.a heat.obj wide_big32.obj &&
    $LLLIB /out:big.lib wide_big32.obj heat.obj)
mv "$tmp/w/big_gnu.a" "$tmp/w/big.lib" "$out/bigobj/"

work obj/heat.obj bitcode/lto_bc.obj bitcode/lto_coff.obj
(cd "$tmp/w" &&
    $LLAR rcs --format=gnu lto_gnu.a heat.obj lto_bc.obj lto_coff.obj &&
    $LLLIB /out:lto.lib lto_coff.obj lto_bc.obj heat.obj)
mv "$tmp/w/lto_gnu.a" "$tmp/w/lto.lib" "$out/bitcode/"
rm -rf "$tmp/w"

# A build path in a binary would make the bytes depend on where this ran.
if grep -rlF -e "$tmp" -e "$here" "$out" >&2; then
    echo "make.sh: the files above hold a build path" >&2; exit 1
fi

sums=$(cd "$out" && find $dirs -type f | LC_ALL=C sort | xargs sha256sum)

if [ "${1:-}" = "--check" ]; then
    status=0
    if [ "$sums" = "$(cat SHA256SUMS)" ]; then
        echo "make.sh: rebuilt binaries match SHA256SUMS"
    else
        echo "make.sh: rebuilt binaries differ from SHA256SUMS:" >&2
        printf '%s\n' "$sums" | diff SHA256SUMS - >&2 || true
        status=1
    fi
    if ! python3 -B expect.py --out "$tmp/expected" .; then
        status=1
    elif diff -r expected "$tmp/expected" >&2; then
        echo "make.sh: committed binaries match expected/"
    else
        echo "make.sh: committed binaries differ from expected/ (above)" >&2
        status=1
    fi
    exit $status
fi

for d in $dirs; do rm -rf "$d"; mv "$out/$d" "$d"; done
printf '%s\n' "$sums" > SHA256SUMS
rm -rf expected
python3 -B expect.py --out expected .
echo "make.sh: wrote $dirs, SHA256SUMS and expected/"
