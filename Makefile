# The two commands that do everything on a fresh Debian machine:
#   make run    builds Quillon and starts it
#   make test   builds Quillon and runs every test
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= $(shell cat tests/fuzz/targets.txt)
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Every warning is an error in the builds made here; a plain `cmake` build only warns.
WARNINGS := -DQUILLON_WARNINGS_AS_ERRORS=ON

.PHONY: all deps configure build run test test-plain test-sanitize bench fuzz package clean format

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) $(WARNINGS) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

run: build
	$(BUILD_DIR)/app/quillon

# Every test, in the normal build and again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-plain test-sanitize

test-plain: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel $(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON $(WARNINGS) $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) --parallel $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel $(JOBS)

bench: build
	scripts/run-benchmarks $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/quillon_VERSION_ARCH.deb.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

# Each fuzz target (tests/fuzz/targets.txt, or those FUZZ_TARGETS names) for FUZZ_SECONDS, starting
# from the committed seeds; what it finds stays in $(FUZZ_DIR)/corpus, and a crashing input is
# written to $(FUZZ_DIR).
fuzz:
	scripts/install-deps --fuzz
	rm -f $(FUZZ_DIR)/CMakeCache.txt # always configured afresh for clang and libFuzzer
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON $(WARNINGS)
	cmake --build $(FUZZ_DIR) --parallel $(JOBS)
	for target in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_DIR)/corpus/$$target && \
		(cd $(FUZZ_DIR) && ./tests/fuzz/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			corpus/$$target ../tests/fuzz/corpus/$$target) || exit 1; \
	done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)
