# The commands of README.md. Every target bootstraps first, so a fresh machine
# needs nothing but `make run` or `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
JOBS       ?= 2

.PHONY: all bootstrap build run test test-native test-sanitize test-windows bench sweep python format clean

# The envelope sweep: N generated feeds from SEED, every envelope checked
# independently; the report goes to sweep-SEED-N.md. SPECIAL=1 adds the
# special-point sweep (critical points, cricondenbars, cricondentherms of 60
# mixtures) and the chord check of three fluids.
SEED ?= 1
N    ?= 1000

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@$(BUILD)/bin/phase-envelope

test: test-native test-sanitize test-windows

test-native: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize: bootstrap
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPE_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j$(JOBS)

test-windows: bootstrap
	@if [ -x scripts/windows-test ]; then scripts/windows-test; else echo "windows: no cross-build yet"; fi

# The Python module phase_envelope, into $(BUILD)/python (PYTHONPATH=$(BUILD)/python).
python: build
	@cmake --build $(BUILD) -j$(JOBS) --target phase_envelope_core

bench: bootstrap
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DPE_BUILD_BENCH=ON -DPE_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(BENCH_BUILD) -j$(JOBS)
	@for b in $(BENCH_BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

sweep: build
	@$(BUILD)/bin/envelope_sweep --seed $(SEED) --n $(N) --jobs $(JOBS) --report sweep-$(SEED)-$(N).md
	@echo "report: sweep-$(SEED)-$(N).md"
	@if [ "$(SPECIAL)" = 1 ]; then $(BUILD)/bin/envelope_sweep --special && $(BUILD)/bin/envelope_sweep --chords; fi

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) build-win
