# The C++ sources kept in the layout of .clang-format.
#   make format        rewrites every tracked .cpp and .h in place
#   make format-check  fails, naming the files, when one is not in that layout (part of make test)
CLANG_FORMAT := clang-format-14
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

.PHONY: format format-check

format:
	@$(BOOTSTRAP) native
	@$(CLANG_FORMAT) -i $(FORMAT_FILES)

format-check:
	@$(BOOTSTRAP) native
	@$(CLANG_FORMAT) --dry-run --Werror $(FORMAT_FILES) 2>&1 | grep -E '^[^ ].*: error' | cut -d: -f1 | sort -u | \
	  { out=$$(cat); if [ -n "$$out" ]; then echo "not in the .clang-format layout (make format):"; echo "$$out"; exit 1; fi; }

TEST_TARGETS += format-check
