# Debian's own Fortran static libraries read whole by quorv-check and held against nm's
# COMMON symbols. The packages are installed for this test alone.
.PHONY: system-libraries

SYSTEM_LIBRARIES := /usr/lib/x86_64-linux-gnu/libarpack.a /usr/lib/x86_64-linux-gnu/lapack/liblapack.a \
  /usr/lib/x86_64-linux-gnu/blas/libblas.a

system-libraries: build
	@$(BOOTSTRAP) system-libraries
	tests/integration/system_libraries.py build/cli/quorv-check $(SYSTEM_LIBRARIES)

TEST_TARGETS += system-libraries

# quorv-check's SARIF through the SARIF multitool (installed from npm for this test alone).
.PHONY: sarif-validate
sarif-validate: build
	@$(BOOTSTRAP) sarif
	tests/integration/sarif_validate.sh build/cli/quorv-check build/sarif

TEST_TARGETS += sarif-validate
