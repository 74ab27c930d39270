# Sourced by the Wine runners: prepare_wine_prefix makes the Wine prefix named by
# $WINEPREFIX ready for quorv.exe (a new prefix takes about 12 s; an existing one is kept),
# with the loader named by $WINE (default: wine).
prepare_wine_prefix() {
    export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "${WINE:-wine}" wineboot --init >/dev/null 2>&1 || return 1
        timeout 60 wineserver -w
    fi
    # The Wine build here looks for its own fonts beside the system's, not in its data folder:
    # without them MS Sans Serif falls back to a wider face and the caption buttons, drawn
    # with Marlett, show as letters.
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    return 0
}
