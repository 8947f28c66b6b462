# The front door: make build, make play, make test, make bench.
BUILD_DIR := build/cmake
ASAN_DIR  := build/asan
GAME_DIR  := $(CURDIR)/build/game
JOBS      ?= 2

.PHONY: all deps build play test test-all test-normal test-asan test-fuzz test-soak asan fuzz soak bench clean

all: build

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANIX_GAME_DIR=$(GAME_DIR) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

play: build
	@bash scripts/play

# Every test. The phases run side by side, each phase's output shown whole once it ends: most of an end-to-end
# test is waiting for the game, and the other phases use the processors meanwhile, at a lower priority, so that
# the normal build and its tests, the longest road, go first.
TEST_JOBS ?= 4
LATER ?=
test:
	@start=$$(date +%s); \
	$(MAKE) --no-print-directory -k -j 4 --output-sync=target test-all LATER="nice -n 10"; status=$$?; \
	elapsed=$$(($$(date +%s) - start)); \
	echo "make test: $$([ $$status -eq 0 ] && echo passed || echo FAILED) in $$((elapsed / 60)) min $$((elapsed % 60)) s" \
		"(load average now $$(cut -d' ' -f1-3 /proc/loadavg))"; \
	exit $$status

test-all: test-normal test-asan test-package test-fuzz test-soak

test-normal: build
	cd $(BUILD_DIR) && ctest --output-on-failure --no-tests=error -j $(TEST_JOBS)

# The sanitizer build, for its tests and the soak.
asan: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKORVANIX_SANITIZE=ON -DKORVANIX_E2E=OFF >/dev/null
	@$(LATER) cmake --build $(ASAN_DIR) -j $(JOBS)

test-asan: asan
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		$(LATER) ctest --output-on-failure --no-tests=error -j $(TEST_JOBS)

bench: deps
	@bash bench/run-bench

# The Debian package, build/korvanix_2.0.0_amd64.deb, from its own hardened Release build in build/package.
package: deps
	@$(LATER) bash packaging/build-package

test-package: package
	$(LATER) bash tests/package/test_package.sh build/korvanix_2.0.0_amd64.deb build/package/game

.PHONY: package test-package

# The settings fuzzers, FUZZ_SECONDS each; make test gives each 30 seconds.
FUZZ_SECONDS ?= 600
fuzz: deps
	@bash tests/fuzz/run.sh $(FUZZ_SECONDS)

test-fuzz: deps
	@$(LATER) bash tests/fuzz/run.sh 30

# Random play in the real window: the sanitizer game of the test-asan tree under Xvfb for SOAK_SECONDS, its
# memory measured from the end of the first minute. make test plays 60 seconds, so it measures from the 20th.
SOAK_SECONDS ?= 1800
soak-game: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKORVANIX_SANITIZE=ON -DKORVANIX_E2E=OFF >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS) --target korvanix korvanix_data

soak: soak-game
	@bash scripts/soak $(SOAK_SECONDS) 60 $(ASAN_DIR)/game

test-soak: asan
	@$(LATER) bash scripts/soak 60 20 $(ASAN_DIR)/game

.PHONY: soak-game

clean:
	rm -rf build
