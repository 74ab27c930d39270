#!/bin/sh
# Rebuilds the example's binaries from src/:
#   obj/<name>.obj     one i686 COFF object per source file
#   lib/pboxphys.lib   Microsoft-format library (both linker members) over
#                      the physics routines diag, force, verlet, walls
# Tools (Debian 12): gfortran-mingw-w64-i686 and llvm-19; scripts/bootstrap.sh
# examples installs them.  Run from anywhere:  sh examples/build.sh
#
# Determinism: GNU as writes TimeDateStamp 0 and llvm-lib writes member dates,
# uid and gid 0.  The compiler runs on bare file names inside src/, so the
# .file symbols hold no path, and llvm-lib writes its output inside obj/, so
# the member names hold none either.  Two runs give identical bytes; build.sh --check
# verifies that against SHA256SUMS.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

FC=i686-w64-mingw32-gfortran
FFLAGS="-c -O1"
LIB=llvm-lib-19

for tool in "$FC" "$LIB"; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build.sh: $tool not found; run scripts/bootstrap.sh examples" >&2; exit 1; }
done

sources="pbox.f pbdata.f init.f verlet.f force.f walls.f diag.f report.f90"
# Stored order of the library: diag, force, verlet, walls.  llvm-lib writes
# members in the reverse of the command-line order, so they go in reversed.
libmembers_reversed="walls.obj verlet.obj force.obj diag.obj"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# Build into a scratch folder first so that a failed build leaves the
# committed binaries as they were.
mkdir "$tmp/obj" "$tmp/lib"
for s in $sources; do
    o=${s%.*}.obj
    (cd src && $FC $FFLAGS -J "$tmp" "$s" -o "$tmp/obj/$o")
done
# llvm-lib names members by their path relative to the output file, so the
# library is written beside the objects and then moved.
(cd "$tmp/obj" && $LIB /out:pboxphys.lib $libmembers_reversed && mv pboxphys.lib ../lib/)

sums=$(cd "$tmp" && sha256sum obj/*.obj lib/*.lib)
if [ "${1:-}" = "--check" ]; then
    # Rebuild only; compare with the committed checksums, and the committed
    # binaries' symbols with the module part of expected.txt (the lines
    # before the first "set").
    status=0
    if [ "$sums" = "$(cat SHA256SUMS)" ]; then
        echo "build.sh: rebuilt binaries match SHA256SUMS"
    else
        echo "build.sh: rebuilt binaries differ from SHA256SUMS:" >&2
        printf '%s\n' "$sums" | diff SHA256SUMS - >&2 || true
        status=1
    fi
    sh symbols.sh obj/*.obj lib/*.lib > "$tmp/modules.txt"
    awk '/^set /{exit} /^(module |  )/' expected.txt > "$tmp/expected_modules.txt"
    if cmp -s "$tmp/modules.txt" "$tmp/expected_modules.txt"; then
        echo "build.sh: symbols match the module part of expected.txt"
    else
        echo "build.sh: symbols differ from the module part of expected.txt:" >&2
        diff "$tmp/expected_modules.txt" "$tmp/modules.txt" >&2 || true
        status=1
    fi
    exit $status
fi

rm -rf obj lib
mv "$tmp/obj" obj
mv "$tmp/lib" lib
printf '%s\n' "$sums" > SHA256SUMS
echo "build.sh: wrote obj/ lib/ SHA256SUMS"
