# The Windows program: cross-built with MinGW, run and tested under Wine on Xvfb. The 32-bit
# build is the program that ships; the 64-bit build of the same sources runs and is tested on
# machines that run no 32-bit code.
.PHONY: gui-build gui-build64 gui gui-test

gui-build:
	@$(BOOTSTRAP) win32
	@cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-win32 -j$(JOBS)

gui-build64:
	@$(BOOTSTRAP) win64
	@cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-win64 -j$(JOBS)

gui: gui-build gui-build64
	@. scripts/wine-loaders.sh; \
	if wine32_runs; then echo "gui: the 32-bit build"; scripts/gui-run.sh build-win32; \
	else echo "gui: the 64-bit build ($$wine32_reason)"; scripts/gui-run.sh build-win64; fi

gui-test: gui-build gui-build64
	tests/gui/run-builds.sh build-win32 build-win64

TEST_TARGETS += gui-test
