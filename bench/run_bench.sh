#!/usr/bin/env bash
# The side-by-side timings of `make bench`: corpora A to D generated under BUILD/corpus (kept
# while their parameters and the generator stay the same), every tool timed on the same
# corpus in one run with hyperfine (median of the runs, page cache warm), the peak RSS of
# quorv-check on C, and the micro-benchmarks that stand in for the pairwise overlap loop
# and show the per-record time of the model. bench/summarize.py prints the table.
#   bench/run_bench.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/corpus" "$build/results"
corpus=$(cd "$build/corpus" && pwd)
out=$(cd "$build/results" && pwd)
gen=$build/bench/quorv-corpus
quorv=$(cd "$build" && pwd)/cli/quorv-check
interleave=$(cd "$build" && pwd)/bench/quorv-interleave

# name|generator arguments; B is A as one Microsoft library and BG as one GNU archive; EA and
# EC are A and C as ELF objects, EB is EA as one GNU archive.
corpora=(
    "a|--objects 2000 --symbols 200 --blocks 20000 --mismatch 0.05 --seed 1 --library $corpus/b.lib --gnu-library $corpus/bg.a"
    "c|--objects 20000 --symbols 50 --blocks 50000 --mismatch 0.05 --seed 3"
    "d|--objects 1 --symbols 200 --sections 60000 --seed 4"
    "ea|--format elf --objects 2000 --symbols 200 --blocks 20000 --mismatch 0.05 --seed 1 --gnu-library $corpus/eb.a"
    "ec|--format elf --objects 20000 --symbols 50 --blocks 50000 --mismatch 0.05 --seed 3"
)
stamp=$(sha256sum "$here/corpus_gen.cpp" | cut -c1-16)
for plan in "${corpora[@]}"; do
    name=${plan%%|*}
    args=${plan#*|}
    want="$stamp $args"
    if [ "$(cat "$corpus/$name.params" 2>/dev/null)" != "$want" ]; then
        rm -rf "${corpus:?}/$name"
        echo "generating corpus $name: $args"
        # shellcheck disable=SC2086
        "$gen" --out "$corpus/$name" $args >/dev/null
        echo "$want" >"$corpus/$name.params"
    fi
done

# The -g corpus: Fortran sources from bench/debug_corpus.py compiled by gfortran with DWARF
# (G), with its sections compressed (GZ), and by mingw gfortran as COFF (GW).
want="$(sha256sum "$here/debug_corpus.py" | cut -c1-16) $(gfortran-12 --version | head -1)"
if [ "$(cat "$corpus/g.params" 2>/dev/null)" != "$want" ]; then
    rm -rf "${corpus:?}/g" "$corpus/gz" "$corpus/gw" "$corpus/gsrc"
    echo "generating corpus G, GZ and GW (gfortran -g)"
    python3 "$here/debug_corpus.py" "$corpus/gsrc"
    mkdir -p "$corpus/g" "$corpus/gz" "$corpus/gw"
    for f in "$corpus"/gsrc/*.f; do
        b=$(basename "$f" .f)
        gfortran-12 -g -w -c "$f" -o "$corpus/g/$b.o"
        gfortran-12 -g -gz=zlib -w -c "$f" -o "$corpus/gz/$b.o"
        x86_64-w64-mingw32-gfortran -g -w -c "$f" -o "$corpus/gw/$b.obj"
    done
    echo "$want" >"$corpus/g.params"
fi

objdump=i686-w64-mingw32-objdump
nm=llvm-nm-19
cd "$corpus"
# time_tools NAME FILES WARMUP RUNS TOOL...: every TOOL (one tool_command knows) on the
# same files in one hyperfine run, with quorv-check's three reports beside them.
time_tools() {
    local name=$1 files=$2 warmup=$3 runs=$4 tool
    shift 4
    echo "timing corpus $name ($runs runs each)" >&2
    local commands=(-n cat "cat $files")
    for tool in "$@"; do commands+=(-n "$tool" "$(tool_command "$tool" "$files")"); done
    hyperfine --ignore-failure --style none --warmup "$warmup" --runs "$runs" \
        --export-json "$out/$name.json" "${commands[@]}" \
        -n quorv "$quorv $files" \
        -n quorv-json "$quorv --json $files" \
        -n quorv-findings "$quorv --format=findings $files" >/dev/null 2>>"$out/hyperfine.log"
}
# The peers: COFF against objdump and llvm-nm; ELF against the tools a Unix user has (nm with
# a size check in awk, readelf, the linker's own COMMON warnings); debug information against
# llvm-dwarfdump, which prints the DWARF the layouts come from (the text report reads the
# symbols only, the findings the layouts too).
tool_command() { # tool_command TOOL FILES
    case $1 in
    objdump) echo "$objdump -t $2" ;;
    llvm-nm) echo "$nm $2" ;;
    nm-awk) echo "nm -P $2 | awk '\$2 == \"C\" { if ((\$1 in s) && s[\$1] != \$4) print \$1; s[\$1] = \$4 }'" ;;
    readelf) echo "readelf -sW $2" ;;
    ld-r) echo "ld -r --warn-common -o $out/ld-r.o $2" ;;
    dwarfdump) echo "llvm-dwarfdump-19 --debug-info $2" ;;
    esac
}
coff_peers=(objdump llvm-nm)
elf_peers=(nm-awk readelf ld-r)
rm -f "$out/hyperfine.log"
time_tools A 'a/*.obj' 2 10 "${coff_peers[@]}"
time_tools B 'b.lib' 2 10 "${coff_peers[@]}"
time_tools BG 'bg.a' 2 10 "${coff_peers[@]}"
time_tools C 'c/*.obj' 2 10 "${coff_peers[@]}"
time_tools D 'd/*.obj' 1 3 "${coff_peers[@]}"
time_tools EA 'ea/*.o' 2 10 "${elf_peers[@]}"
time_tools EB 'eb.a' 2 10 "${elf_peers[@]}"
time_tools EC 'ec/*.o' 1 5 "${elf_peers[@]}"
time_tools G 'g/*.o' 2 10 dwarfdump
time_tools GZ 'gz/*.o' 2 10 dwarfdump
time_tools GW 'gw/*.obj' 2 10 dwarfdump
# The findings against the text report on the -g corpora in turns, 100 runs each: the bound
# the layouts are held to, steadier than the separate runs above.
echo "timing the findings against the text report in turns (G, GZ, GW)" >&2
: >"$out/interleaved.txt"
for name in g gz gw; do
    # shellcheck disable=SC2046
    "$interleave" 100 -- "$quorv" $(ls "$name"/*) -- "$quorv" --format=findings $(ls "$name"/*) |
        sed "s|^|$name |" >>"$out/interleaved.txt"
done
# The three findings formats against the text report on C, whose 79,000 findings make the
# largest reports (SARIF's is about 100 MB).
echo "timing the findings formats on C (10 runs each)" >&2
hyperfine --ignore-failure --style none --warmup 2 --runs 10 --export-json "$out/formats.json" \
    -n quorv "$quorv c/*.obj" -n quorv-findings "$quorv --format=findings c/*.obj" \
    -n quorv-sarif "$quorv --format=sarif c/*.obj" -n quorv-github "$quorv --format=github c/*.obj" \
    >/dev/null 2>>"$out/hyperfine.log"

# Peak resident set size on C, in KB: three runs each, the median kept.
rss() { for _ in 1 2 3; do /usr/bin/time -f %M "$@" >/dev/null 2>>"$out/rss.tmp" || true; tail -1 "$out/rss.tmp"; done | sort -n | sed -n 2p; }
rm -f "$out/rss.tmp"
# shellcheck disable=SC2046
echo "{\"quorv\": $(rss "$quorv" c/*.obj), \"llvm-nm\": $(rss "$nm" c/*.obj)}" >"$out/rss.json"
rm -f "$out/rss.tmp"

# Objects and records per corpus, for the per-record figures.
python3 - "$out/sizes.json" <<'EOF'
import glob, json, os, struct, sys

def coff_records(f):
    with open(f, "rb") as h:
        return struct.unpack_from("<I", h.read(20), 12)[0]

def elf_records(f):
    # The symbol table's size over its entry size, from the section headers (ELF64, LSB).
    with open(f, "rb") as h:
        data = h.read()
    shoff, = struct.unpack_from("<Q", data, 40)
    shnum, = struct.unpack_from("<H", data, 60)
    for i in range(shnum):
        at = shoff + 64 * i
        if struct.unpack_from("<I", data, at + 4)[0] == 2:
            return struct.unpack_from("<Q", data, at + 32)[0] // 24
    return 0

sizes = {}
for name, pattern, count in (("A", "a/*.obj", coff_records), ("B", "b.lib", None), ("BG", "bg.a", None),
                             ("C", "c/*.obj", coff_records), ("D", "d/*.obj", coff_records),
                             ("EA", "ea/*.o", elf_records), ("EB", "eb.a", None), ("EC", "ec/*.o", elf_records),
                             ("G", "g/*.o", elf_records), ("GZ", "gz/*.o", elf_records),
                             ("GW", "gw/*.obj", coff_records)):
    files = glob.glob(pattern)
    records = sum(count(f) for f in files) if count else 0
    sizes[name] = {"files": len(files), "bytes": sum(os.path.getsize(f) for f in files), "records": records}
sizes["B"]["records"] = sizes["BG"]["records"] = sizes["A"]["records"]
sizes["EB"]["records"] = sizes["EA"]["records"]
json.dump(sizes, open(sys.argv[1], "w"))
EOF

cd - >/dev/null
echo "micro-benchmarks" >&2
"$build/bench/quorv_bench" --benchmark_filter='BM_RecordDistinctNames|BM_OverlapSweep/60000|BM_OverlapEveryPair/6000' \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/micro.json" >/dev/null 2>&1

python3 "$here/summarize.py" "$out"
echo
echo "In turns (median wall ms; the last column against the text report):"
sed "s|$quorv|quorv-check|" "$out/interleaved.txt"
