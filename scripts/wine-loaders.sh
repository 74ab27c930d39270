# Sourced by the Wine runners: which Wine loader runs which build, and whether this machine
# runs 32-bit Windows programs at all.
#   select_wine EXE             exports WINE, the loader for a Windows program (unless set),
#                               and WINEARCH=win32 for a 32-bit one (unless set)
#   wine32_runs                 true when the 32-bit loader starts; else sets wine32_reason
# Debian's /usr/bin/wine goes through the 32-bit loader whenever wine32 is installed, so the
# 64-bit build is run with the 64-bit loader by its own path.
WINE32_LOADER=${WINE32_LOADER:-/usr/lib/wine/wine}
WINE64_LOADER=${WINE64_LOADER:-/usr/lib/wine/wine64}

# By the program's own machine field (PE header at the offset stored at 0x3C): x86-64 (0x8664)
# gets the 64-bit loader; anything else the default one in a 32-bit prefix, the kind of
# prefix the 32-bit program has always been tested in.
select_wine() {
    local pe machine
    pe=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
    machine=$(od -An -t x2 -j $((${pe:-0} + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
    if [ "$machine" = 8664 ]; then
        export WINE=${WINE:-$WINE64_LOADER}
    else
        export WINE=${WINE:-wine} WINEARCH=${WINEARCH:-win32}
    fi
}

# Tried, not guessed: some kernels run no 32-bit code, and there the loader itself fails
# with "Exec format error".
wine32_runs() {
    wine32_reason=""
    if [ ! -e "$WINE32_LOADER" ]; then
        wine32_reason="wine32 is not installed ($WINE32_LOADER is missing)"
        return 1
    fi
    local out
    if ! out=$("$WINE32_LOADER" --version 2>&1); then
        wine32_reason="this machine runs no 32-bit programs ($WINE32_LOADER: ${out##*: })"
        return 1
    fi
    return 0
}
