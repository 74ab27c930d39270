#!/usr/bin/env bash
# Installs the Debian packages a build needs and a new machine lacks.
# Idempotent: when everything is there it only checks and returns.
#   scripts/bootstrap.sh native   compilers, CMake, GoogleTest, Benchmark, valgrind, clang-format
#   scripts/bootstrap.sh win32    the i686 MinGW cross compiler, Wine, Xvfb; 32-bit Wine if it installs
#   scripts/bootstrap.sh win64    the x86-64 MinGW cross compiler, 64-bit Wine, Xvfb
#   scripts/bootstrap.sh examples the cross gfortran and llvm-lib that rebuild examples/
#   scripts/bootstrap.sh bench    objdump, llvm-nm, hyperfine and the gfortrans of the -g corpus
#                                 for the side-by-side timings
#   scripts/bootstrap.sh system-libraries  Debian's Fortran static libraries (ARPACK, LAPACK, BLAS)
#   scripts/bootstrap.sh sarif    Node.js and npm, which install the SARIF multitool for its test
set -euo pipefail

need=() optional=()
have() { # have PACKAGE [COMMAND-OR-FILE]
    local pkg=$1 probe=${2:-}
    if [ -n "$probe" ]; then
        if [[ $probe == /* ]]; then [ -e "$probe" ]; else command -v "$probe" >/dev/null 2>&1; fi
    else
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'
    fi
}
want() { have "$@" || need+=("$1"); }
# Packages a build can do without: their absence never fails the set-up.
could_use() { have "$@" || optional+=("$1"); }

for group in "${@:-native}"; do
    case $group in
    native)
        want cmake cmake; want ninja-build ninja; want g++ g++; want make make
        want libgtest-dev /usr/include/gtest/gtest.h; want libgmock-dev /usr/include/gmock/gmock.h
        want libbenchmark-dev /usr/include/benchmark/benchmark.h
        want clang-14 clang++-14; want libclang-rt-14-dev /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
        want valgrind valgrind; want python3 python3; want nlohmann-json3-dev /usr/include/nlohmann/json.hpp
        want clang-format-14 clang-format-14
        ;;
    win32)
        want g++-mingw-w64-i686 i686-w64-mingw32-g++
        want binutils-mingw-w64-i686 i686-w64-mingw32-windres
        want xvfb Xvfb; want fonts-wine /usr/share/wine/fonts/marlett.ttf
        want imagemagick import; want wine wine
        # 32-bit Wine runs the shipped program where the kernel runs 32-bit code; the 64-bit
        # build is tested everywhere, so a machine without it still passes.
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            dpkg --add-architecture i386 2>/dev/null || echo "bootstrap: cannot add the i386 architecture" >&2
        fi
        could_use wine32 /usr/lib/wine/wineserver32
        could_use libwine:i386 /usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll
        ;;
    win64)
        want g++-mingw-w64-x86-64 x86_64-w64-mingw32-g++
        want binutils-mingw-w64-x86-64 x86_64-w64-mingw32-windres
        want xvfb Xvfb; want fonts-wine /usr/share/wine/fonts/marlett.ttf
        want imagemagick import; want wine64 /usr/lib/wine/wine64
        ;;
    examples)
        want gfortran-mingw-w64-i686 i686-w64-mingw32-gfortran; want llvm-19 llvm-lib-19
        ;;
    bench)
        want binutils-mingw-w64-i686 i686-w64-mingw32-objdump; want llvm-19 llvm-nm-19
        want hyperfine hyperfine
        want gfortran-12 gfortran-12; want gfortran-mingw-w64-x86-64 x86_64-w64-mingw32-gfortran
        ;;
    sarif)
        want nodejs node; want npm npm; want python3 python3
        ;;
    system-libraries)
        want libarpack2-dev /usr/lib/x86_64-linux-gnu/libarpack.a
        want liblapack-dev /usr/lib/x86_64-linux-gnu/lapack/liblapack.a
        want libblas-dev /usr/lib/x86_64-linux-gnu/blas/libblas.a
        want binutils nm
        ;;
    *) echo "bootstrap: unknown group '$group'" >&2; exit 2 ;;
    esac
done

[ ${#need[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# Retried: a lock held by another apt run, or a stale index, are the usual passing faults.
# A failed update (one index of many, while a mirror syncs) leaves the indexes at hand, which
# mostly hold every package wanted: the install is tried all the same.
install() {
    local attempt
    for attempt in 1 2 3; do
        $SUDO apt-get update -qq || echo "bootstrap: apt-get update failed; installing from the indexes at hand" >&2
        if $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null; then
            return 0
        fi
        sleep $((attempt * 10))
    done
    return 1
}
if [ ${#need[@]} -gt 0 ]; then
    echo "bootstrap: installing ${need[*]}" >&2
    install "${need[@]}" || { echo "bootstrap: could not install ${need[*]}" >&2; exit 1; }
fi
if [ ${#optional[@]} -gt 0 ]; then
    echo "bootstrap: installing, if it can, ${optional[*]}" >&2
    install "${optional[@]}" || echo "bootstrap: went on without ${optional[*]}" >&2
fi
exit 0
