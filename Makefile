# The README's two commands: `make demo` and `make test`. Every target that needs a package
# the machine may lack calls the bootstrap script first.
SHELL := /bin/bash
JOBS ?= 2
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release
BOOTSTRAP := scripts/bootstrap.sh

.PHONY: all build asan demo test test-native test-asan clean

all: build

build:
	@$(BOOTSTRAP) native
	@cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j$(JOBS)

asan:
	@$(BOOTSTRAP) native
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORV_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j$(JOBS)

test-native: build
	cd build && ctest --output-on-failure -j$(JOBS)

test-asan: asan
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

test: test-native test-asan

clean:
	rm -rf build build-asan build-win32
