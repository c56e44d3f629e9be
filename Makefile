# Thin wrapper over CMake: `make demo` and `make test` are all a new machine needs.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all build test demo bench fuzz clean

all: build

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	tools/demo.sh $(BUILD_DIR)

bench: build
	bench/run.sh $(BUILD_DIR)

# libFuzzer targets, built with clang into build-fuzz; each runs FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKESTRANE_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target fuzz_intel_hex_line fuzz_assembly fuzz_version_reply fuzz_base64
	fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR)
