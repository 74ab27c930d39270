# The Windows program: cross-built with MinGW, run and tested under Wine on Xvfb.
.PHONY: gui-build gui gui-test

gui-build:
	@$(BOOTSTRAP) win32
	@cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-win32 -j$(JOBS)

gui: gui-build
	scripts/gui-run.sh build-win32

gui-test: gui-build
	tests/gui/run.sh build-win32

TEST_TARGETS += gui-test
