#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets into OUT/<target>: the project's example objects
# and library, the shared corpus and the project's own real files of every format and layout
# (tests/data) for the object and input targets; for the run target pairs and triples of them
# behind control bytes that choose the path shapes (see fuzz_run.cpp); the objects with debug
# information for the dwarf target, and for the input and run targets too, so that the layouts
# are read through the whole run. Usage: fuzz/seeds.sh OUT
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
corpus=${QUORV_CORPUS_DIR:-$root/../shared/corpus}
mkdir -p "$out/object" "$out/input" "$out/run" "$out/dwarf"
data=$root/tests/data

files=()
for f in "$root"/examples/obj/*.obj "$root"/examples/lib/*.lib "$corpus"/obj/* "$corpus"/lib/* "$corpus"/exe/* \
         "$data"/libraries/*/*.a "$data"/libraries/*/*.lib "$data"/libraries/*/*.obj "$data"/elf/*/*.o "$data"/elf/*/*.a \
         "$data"/findings/*/*; do
    [ -f "$f" ] && files+=("$f")
done
for f in "${files[@]}"; do
    # Folder and name: the data folders repeat file names.
    name=$(basename "$(dirname "$f")")_$(basename "$f")
    install -m 644 "$f" "$out/input/$name"
    case $name in *.obj) install -m 644 "$f" "$out/object/$name" ;; esac
done
for f in "$data"/dwarf/*/*.o "$data"/dwarf/*/*.obj; do
    name=$(basename "$(dirname "$f")")_$(basename "$f")
    install -m 644 "$f" "$out/dwarf/$name"
    install -m 644 "$f" "$out/input/dwarf_$name"
done

cut=$'\n#quorv-cut#\n'
run_seed() {  # run_seed NAME CONTROL FILE...
    local name=$1 control=$2; shift 2
    {
        printf "\\x$(printf %02x "$control")"
        local first=1
        for f in "$@"; do
            [ $first -eq 1 ] || printf '%s' "$cut"
            first=0
            cat "$f"
        done
    } >"$out/run/$name"
}
o=$corpus/obj l=$corpus/lib e=$corpus/exe
run_seed d_collide 0 "$o/d_model.obj" "$o/d_procs.obj"
run_seed b_sizes 1 "$o/b_solve.obj" "$o/b_setup.obj" "$o/b_tune.obj"
run_seed c_plus_def 33 "$o/c_bdata.obj" "$o/c_user1.obj" "$o/c_user2_plus_def.obj"
run_seed h_lib_main 2 "$l/h_heat.lib" "$o/a_main.obj"
run_seed i_dupnames 4 "$l/i_dupnames.lib" "$l/i_dupnames.lib"
run_seed same_name_caps 6 "$o/a_grid.obj" "$o/a_step.obj"
run_seed j_exe_folder 9 "$e/j_heat.exe" "$o/a_main.obj" "$o/a_grid.obj"
run_seed j_pe_missing 17 "$o/a_main.obj" "$e/j_pe_signature.obj" "$o/k_msvc.obj"
run_seed examples 1 "$root/examples/obj/pbox.obj" "$root/examples/lib/pboxphys.lib" "$root/examples/obj/force.obj"
# Layouts across modules: an overlay of one size, shorter views, padding, compressed against
# plain sections, and two views in one file against a third.
d=$data/dwarf
run_seed g_overlay 0 "$d/gf64/overlay_a.o" "$d/gf64/overlay_b.o"
run_seed g_prefix_coff 1 "$d/mingw64/prefix_a.obj" "$d/mingw64/prefix_b.obj" "$d/mingw64/big_a.obj"
run_seed g_pad_m32 32 "$d/gf32/pad.o" "$d/gf32/pad_noalign.o"
run_seed g_compressed 0 "$d/gf64/chars_gz.o" "$d/gf64/chars_dwarf2.o"
run_seed g_twoviews_big_endian 1 "$d/gf64/twoviews.o" "$d/s390x/twoviews.o" "$d/ppc32/equiv.o"
