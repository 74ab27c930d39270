# Fuzzing and the hostile-input checks of the engine and quorv-check.
#   make fuzz            each fuzz target for FUZZ_SECONDS (60) on its work corpus
#   make fuzz-merge      minimises the work corpora into the committed fuzz/corpus/<target>
#   make fuzz-smoke      FUZZ_SMOKE_SECONDS (20) of each target from the seeds
#   make fuzz-replay     the committed corpus and every regression input, once each
#   make valgrind-corpus quorv-check under valgrind memcheck over the corpus and the examples
#   make fuzz-coverage   line coverage of engine/ by the tests and the corpora (llvm-cov)
# The fuzzers are libFuzzer binaries (clang-14) with AddressSanitizer and UBSan; one worker
# each, so that a campaign leaves the other core free.
FUZZ_BUILD := build-fuzz
COV_BUILD := build-cov
FUZZ_TARGETS ?= object input run dwarf
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20
FUZZ_OPTIONS := -malloc_limit_mb=256 -timeout=5
FUZZ_CXXFLAGS := -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g
FUZZ_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QUORV_CORPUS ?= $(abspath ../shared/corpus)
FUZZ_REGRESSIONS = $(wildcard fuzz/regressions/*)

.PHONY: fuzz-build fuzz fuzz-merge fuzz-smoke fuzz-replay valgrind-corpus fuzz-coverage

fuzz-build:
	@$(BOOTSTRAP) native
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DCMAKE_CXX_FLAGS="$(FUZZ_CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DQUORV_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(addprefix quorv_fuzz_,$(FUZZ_TARGETS))
	@rm -rf $(FUZZ_BUILD)/seeds && QUORV_CORPUS_DIR=$(QUORV_CORPUS) fuzz/seeds.sh $(FUZZ_BUILD)/seeds

# New inputs go to $(FUZZ_BUILD)/work/<target>, crashes to $(FUZZ_BUILD)/findings/<target>.
fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/work/$$t $(FUZZ_BUILD)/findings/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_ENV) nice $(FUZZ_BUILD)/fuzz/quorv_fuzz_$$t $(FUZZ_OPTIONS) \
	    -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$t/ \
	    $(FUZZ_BUILD)/work/$$t fuzz/corpus/$$t $(FUZZ_BUILD)/seeds/$$t \
	    >$(FUZZ_BUILD)/fuzz-$$t.log 2>&1 || { tail -60 $(FUZZ_BUILD)/fuzz-$$t.log; exit 1; }; \
	  grep -E '^stat::(number_of_executed_units|new_units_added)' $(FUZZ_BUILD)/fuzz-$$t.log; \
	done

fuzz-merge: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  rm -rf fuzz/corpus/$$t.merged && mkdir -p fuzz/corpus/$$t.merged $(FUZZ_BUILD)/work/$$t; \
	  $(FUZZ_ENV) $(FUZZ_BUILD)/fuzz/quorv_fuzz_$$t $(FUZZ_OPTIONS) -merge=1 \
	    fuzz/corpus/$$t.merged fuzz/corpus/$$t $(FUZZ_BUILD)/work/$$t $(FUZZ_BUILD)/seeds/$$t \
	    >$(FUZZ_BUILD)/merge-$$t.log 2>&1 || { tail -40 $(FUZZ_BUILD)/merge-$$t.log; exit 1; }; \
	  rm -rf fuzz/corpus/$$t && mv fuzz/corpus/$$t.merged fuzz/corpus/$$t; \
	  echo "fuzz-merge: $$t: $$(ls fuzz/corpus/$$t | wc -l) inputs"; \
	done

# A short run from the seeds (fuzz-replay runs the committed corpus); its new inputs are
# thrown away.
fuzz-smoke: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  rm -rf $(FUZZ_BUILD)/smoke/$$t && mkdir -p $(FUZZ_BUILD)/smoke/$$t $(FUZZ_BUILD)/findings/$$t; \
	  $(FUZZ_ENV) $(FUZZ_BUILD)/fuzz/quorv_fuzz_$$t $(FUZZ_OPTIONS) \
	    -max_total_time=$(FUZZ_SMOKE_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$t/ \
	    $(FUZZ_BUILD)/smoke/$$t $(FUZZ_BUILD)/seeds/$$t \
	    >$(FUZZ_BUILD)/smoke-$$t.log 2>&1 || { tail -60 $(FUZZ_BUILD)/smoke-$$t.log; exit 1; }; \
	  echo "fuzz-smoke: $$t: $$(grep -m1 '^stat::number_of_executed_units' $(FUZZ_BUILD)/smoke-$$t.log)"; \
	done

fuzz-replay: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  $(FUZZ_ENV) $(FUZZ_BUILD)/fuzz/quorv_fuzz_$$t $(FUZZ_OPTIONS) \
	    fuzz/corpus/$$t/* $(FUZZ_REGRESSIONS) >$(FUZZ_BUILD)/replay-$$t.log 2>&1 \
	    || { tail -60 $(FUZZ_BUILD)/replay-$$t.log; exit 1; }; \
	  echo "fuzz-replay: $$t: $$(grep -c '^Executed' $(FUZZ_BUILD)/replay-$$t.log) inputs"; \
	done

# Each file alone (a file may stop the run) and all of them together, plus the regression
# inputs; exit statuses 0 to 2 are the checker's own, 99 is a memcheck finding. Leaks are
# left to the sanitizer build: the release quorv-check leaves its model to the exit on purpose.
VALGRIND_CHECK ?= ./build/cli/quorv-check
VALGRIND := valgrind -q --error-exitcode=99 --leak-check=no --track-origins=yes
valgrind-corpus: $(if $(filter ./build/cli/quorv-check,$(VALGRIND_CHECK)),build)
	@files="$$(ls $(QUORV_CORPUS)/obj/* $(QUORV_CORPUS)/lib/* $(QUORV_CORPUS)/exe/* examples/obj/* examples/lib/* $(FUZZ_REGRESSIONS))"; \
	log=$$(mktemp); status=0; \
	for f in $$files; do \
	  $(VALGRIND) $(VALGRIND_CHECK) --details $$f >/dev/null 2>$$log; rc=$$?; \
	  if [ $$rc -gt 2 ]; then echo "valgrind-corpus: $$f: status $$rc"; cat $$log; status=1; fi; \
	done; \
	$(VALGRIND) $(VALGRIND_CHECK) --json $$files >/dev/null 2>$$log; rc=$$?; \
	if [ $$rc -gt 2 ]; then echo "valgrind-corpus: all files: status $$rc"; cat $$log; status=1; fi; \
	rm -f $$log; \
	echo "valgrind-corpus: $$(echo $$files | wc -w) files, each alone and all together"; exit $$status

# Source-based coverage: the engine and hostile tests, then the committed corpora and the
# regression inputs through the replay programs. The report is $(COV_BUILD)/engine-coverage.txt.
COV_FLAGS := -fprofile-instr-generate -fcoverage-mapping
fuzz-coverage:
	@$(BOOTSTRAP) native
	@cmake -S . -B $(COV_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DCMAKE_CXX_FLAGS="$(COV_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(COV_FLAGS)" >/dev/null
	@nice cmake --build $(COV_BUILD) -j$(JOBS) --target quorv_engine_tests quorv_engine_alloc_tests \
	  quorv_hostile_tests $(addsuffix _replay,$(addprefix quorv_fuzz_,$(FUZZ_TARGETS)))
	@rm -rf $(COV_BUILD)/profiles && mkdir -p $(COV_BUILD)/profiles
	@cd $(COV_BUILD) && export LLVM_PROFILE_FILE=$(abspath $(COV_BUILD))/profiles/%p.profraw && \
	  tests/engine/quorv_engine_tests >/dev/null && tests/engine/quorv_engine_alloc_tests >/dev/null && \
	  tests/hostile/quorv_hostile_tests >/dev/null && \
	  for t in $(FUZZ_TARGETS); do \
	    fuzz/quorv_fuzz_$${t}_replay $(abspath fuzz/corpus)/$$t $(abspath fuzz/regressions) >/dev/null || exit 1; \
	  done
	@llvm-profdata-14 merge -sparse $(COV_BUILD)/profiles/*.profraw -o $(COV_BUILD)/engine.profdata
	@llvm-cov-14 report $(COV_BUILD)/tests/hostile/quorv_hostile_tests \
	  $(foreach o,tests/engine/quorv_engine_tests tests/engine/quorv_engine_alloc_tests $(addsuffix _replay,$(addprefix fuzz/quorv_fuzz_,$(FUZZ_TARGETS))),-object $(COV_BUILD)/$(o)) \
	  -instr-profile=$(COV_BUILD)/engine.profdata $(abspath engine) >$(COV_BUILD)/engine-coverage.txt
	@cat $(COV_BUILD)/engine-coverage.txt

TEST_TARGETS += fuzz-smoke fuzz-replay valgrind-corpus
