#!/usr/bin/env bash
# Runs the Wine end-to-end scenarios of quorv.exe:
#   tests/gui/run.sh [BUILD_DIR [SCENARIO_NUMBER...]]     (BUILD_DIR defaults to build-win32)
# The Wine loader is the one for the build's processor (scripts/wine-loaders.sh) unless $WINE
# names another.
# Starts its own Xvfb on a free display and its own WINEPREFIX under BUILD_DIR/gui-test, and
# ends both. The screenshot of the main window lands in BUILD_DIR/gui-test/screenshot.png.
# The last line of the output reads "N passed, M failed"; the exit code is nonzero on any failure.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-win32}" && pwd) || { echo "0 passed, 1 failed"; exit 1; }
shift || true
corpus=$(cd "$root/../shared/corpus" && pwd) || { echo "no corpus at ../shared/corpus"; echo "0 passed, 1 failed"; exit 1; }
quorv_exe=${QUORV_EXE:-$build/ui/win32/quorv.exe}
driver_exe=${QUORV_GUI_DRIVER:-$build/tests/gui/quorv_gui_driver.exe}
work=$build/gui-test
suite_limit=170

. "$root/scripts/wine-loaders.sh"
select_wine "$quorv_exe"

fail_setup() { echo "gui-test: $1" >&2; echo "0 passed, 1 failed"; exit 1; }
for f in "$quorv_exe" "$driver_exe"; do [ -f "$f" ] || fail_setup "missing $f (build it first)"; done

# Linux paths as the Windows side sees them, under drive Z:.
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# Polls a condition every tenth of a second up to a limit in seconds.
wait_for() { local limit=$1; shift; local i; for ((i = 0; i < limit * 10; i++)); do "$@" && return 0; sleep 0.1; done; return 1; }

rm -rf "$work"
mkdir -p "$work"
python3 "$root/tests/gui/make_inputs.py" "$corpus" "$work" || fail_setup "cannot make the inputs"

xvfb_pid="" watcher_pid=""
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() {
    [ -n "$watcher_pid" ] && kill "$watcher_pid" 2>/dev/null
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

display=""
for n in $(seq 90 190); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || fail_setup "no free X display"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 10 test -S "/tmp/.X11-unix/X$display" || fail_setup "Xvfb did not start on :$display"
export DISPLAY=":$display"

start=$SECONDS
. "$root/scripts/gui-prefix.sh"
prepare_wine_prefix || fail_setup "cannot make the Wine prefix $WINEPREFIX"
# Every program of the prefix in one virtual desktop, as a window manager would give them
# captions; the driver and quorv.exe then share that desktop.
cat >"$work/desktop.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
EOF
"$WINE" regedit /S "$(winpath "$work/desktop.reg")" >/dev/null 2>&1
timeout 60 wineserver -w
echo "gui-test: Wine prefix ready in $((SECONDS - start)) s, display :$display, loader $WINE"

# The driver asks for a screenshot by creating NAME.request, which holds the part of the
# display to keep (WIDTHxHEIGHT+X+Y); the picture is NAME.png.
(
    while true; do
        for request in "$work"/*.request; do
            [ -e "$request" ] || continue
            geometry=$(tr -d '\r\n' <"$request")
            import -window root ${geometry:+-crop "$geometry" +repage} "${request%.request}.png" \
                2>>"$work/import.log"
            rm -f "$request"
        done
        sleep 0.1
    done
) &
watcher_pid=$!

timeout --kill-after=5 "$suite_limit" \
    "$WINE" "$driver_exe" "$(winpath "$quorv_exe")" "$(winpath "$corpus")" "$(winpath "$work")" "$@" \
    2>"$work/driver.stderr" | tr -d '\r' | tee "$work/gui-test.log"
status=${PIPESTATUS[0]}
echo "gui-test: suite took $((SECONDS - start)) s"

result=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/gui-test.log" | tail -n 1)
if [ -z "$result" ]; then
    echo "gui-test: the driver ended without a result (exit $status)"
    echo "0 passed, 1 failed"
    exit 1
fi
echo "$result"
[ "$status" -eq 0 ] && [[ $result == *" 0 failed" ]]
