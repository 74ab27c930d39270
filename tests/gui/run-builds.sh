#!/usr/bin/env bash
# The Wine suite over every Windows build this machine can run:
#   tests/gui/run-builds.sh WIN32_BUILD_DIR WIN64_BUILD_DIR
# The 32-bit build (the shipped program) runs where the 32-bit Wine loader starts; the 64-bit
# build always runs, under the 64-bit loader. One line says which builds ran and why one was
# left out; the last line reads "N passed, M failed" over everything that ran. A suite that
# ran nothing has not passed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-loaders.sh"

win32_build=$1 win64_build=$2
builds=() labels=()
if wine32_runs; then
    builds+=("$win32_build") labels+=("32-bit")
    left_out=""
else
    left_out="; the 32-bit build left out: $wine32_reason"
fi
builds+=("$win64_build") labels+=("64-bit")
if [ ${#builds[@]} -eq 2 ]; then
    echo "gui-test: running the 32-bit and the 64-bit build"
else
    echo "gui-test: running the 64-bit build$left_out"
fi

passed=0 failed=0 status=0
for i in "${!builds[@]}"; do
    echo "gui-test: ${labels[$i]} build (${builds[$i]})"
    log=$(mktemp)
    "$root/tests/gui/run.sh" "${builds[$i]}" | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    result=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
    rm -f "$log"
    passed=$((passed + ${result%% passed*}))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$result")))
done
[ $((passed + failed)) -gt 0 ] || { failed=1; status=1; }
echo "$passed passed, $failed failed"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
