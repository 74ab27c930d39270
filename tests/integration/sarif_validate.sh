#!/usr/bin/env bash
# quorv-check's SARIF validated by the SARIF multitool with the SARIF and GitHub rule sets:
# no error and no warning but SARIF2005 (no informationUri while the project has no public
# page). The multitool exits 0 even on errors and skips files it cannot read without a word,
# so its log is read and each file must show as scanned.
#   tests/integration/sarif_validate.sh QUORV_CHECK WORK_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
quorv=$1
work=$2
tool=$work/tool/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool
mkdir -p "$work/tool"

if [ ! -x "$tool" ]; then
    if ! (cd "$work/tool" && npm install --no-audit --no-fund --silent @microsoft/sarif-multitool@5.7.0 >npm.log 2>&1); then
        echo "sarif-validate: SKIPPED: the SARIF multitool could not be installed from the npm registry (see $work/tool/npm.log)"
        exit 0
    fi
    chmod u+x "$tool" 2>/dev/null
fi
if ! "$tool" --version >/dev/null 2>&1; then
    echo "sarif-validate: SKIPPED: the SARIF multitool does not run on this machine"
    exit 0
fi

scenarios=$root/tests/data/findings
corpus=$root/../shared/corpus
# Relative paths, a baseline (suppressions), a stopped run, COFF and ELF, members.
(cd "$root" && "$quorv" --format=findings --write-baseline="$work/scenarios.baseline" \
    tests/data/findings/elf/s07_sizes_a.o tests/data/findings/elf/s07_sizes_b.o >/dev/null)
declare -A runs=(
    [scenarios]="--baseline=$work/scenarios.baseline tests/data/findings/elf/s0[3-8]*.o tests/data/findings/coff/s09_bbig.obj tests/data/findings/coff/s09_users.obj"
    [stopped]="tests/data/findings/elf/damaged.a"
    [examples]="examples/obj/pbox.obj examples/obj/init.obj examples/obj/pbdata.obj examples/obj/report.obj examples/lib/pboxphys.lib"
    [corpus]="$corpus/obj/b_setup.obj $corpus/obj/b_solve.obj $corpus/obj/c_bdata.obj $corpus/obj/c_user1.obj $corpus/obj/d_model.obj $corpus/obj/d_procs.obj $corpus/obj/f_mach_x64.obj $corpus/lib/h_heat.lib $corpus/lib/i_dupnames.lib $corpus/exe/j_heat.exe"
)
failed=0
for name in "${!runs[@]}"; do
    sarif=$work/$name.sarif
    # shellcheck disable=SC2086
    (cd "$root" && "$quorv" --format=sarif ${runs[$name]} >"$sarif")
    log=$("$tool" validate "$sarif" --output "$work/$name.validation.sarif" --log ForceOverwrite --rule-kind "Gh;Sarif" 2>&1)
    problems=$(grep -E '(error|warning) (SARIF|GH)[0-9]+' <<<"$log" | grep -v 'warning SARIF2005:')
    if ! grep -q '1 files scanned' <<<"$log"; then
        echo "FAIL $name: the multitool did not scan the file"; echo "$log"; failed=$((failed + 1))
    elif [ -n "$problems" ]; then
        echo "FAIL $name:"; echo "$problems"; failed=$((failed + 1))
    else
        results=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))["runs"][0]["results"]))' "$sarif")
        echo "ok $name: $results results, no error and no warning but SARIF2005"
    fi
done
echo "$(( ${#runs[@]} - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
