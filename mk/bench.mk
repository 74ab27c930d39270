# make bench: generates corpora A to D under build-bench/, times quorv-check (text and
# --json) against cat, objdump -t and llvm-nm-19 in one run, prints the ratios, and runs the
# record-scaling micro-benchmark. Not part of `make test`; `make test` builds the
# micro-benchmarks and runs each once, briefly (ctest quorv_bench_smoke).
.PHONY: bench bench-build

bench-build:
	@$(BOOTSTRAP) native bench
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j$(JOBS) --target quorv-check quorv-corpus quorv-interleave quorv_bench

bench: bench-build
	@bench/run_bench.sh build-bench
