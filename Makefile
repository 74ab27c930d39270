# The README's two commands: `make demo` and `make test`. Every target that needs a package
# the machine may lack calls the bootstrap script first. Parts of the build with tools of
# their own (the Windows program, fuzzing, benchmarks) add their targets in mk/*.mk and
# append what `make test` must also run to TEST_TARGETS.
SHELL := /bin/bash
JOBS ?= 2
BOOTSTRAP := scripts/bootstrap.sh
TEST_TARGETS :=

.PHONY: all build asan demo test test-native test-asan clean

all: build

build:
	@$(BOOTSTRAP) native
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build -j$(JOBS)

asan:
	@$(BOOTSTRAP) native
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORV_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j$(JOBS)

# The main job on the project's own example program: a size mismatch and a block named
# like a subroutine.
demo: build
	./build/cli/quorv-check --details examples/obj/pbox.obj examples/obj/init.obj \
	  examples/obj/pbdata.obj examples/obj/report.obj examples/lib/pboxphys.lib; \
	  status=$$?; echo; echo "quorv-check exit status: $$status (1: problem blocks found)"; \
	  [ $$status -le 1 ]

test-native: build
	cd build && ctest --output-on-failure -j$(JOBS)

test-asan: asan
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS)

-include mk/*.mk

test: test-native test-asan $(TEST_TARGETS)

clean:
	rm -rf build build-asan build-win32 build-win64
